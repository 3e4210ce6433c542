// Copying a page or a marked region as an image, pasting a clipboard image
// onto the page as an image block.
#include "EditorWindowFixture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>

#include <cmath>

using namespace apptest;

namespace {

QImage solidImage(int width, int height, QColor colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

}  // namespace

TEST_F(EditorWindowTest, CopyPutsThePageOrTheMarkedRegionOnTheClipboard) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  window->onEditCopy();
  const QImage page = clipboard->image();
  // A4 at 1.5 pixels per point.
  EXPECT_NEAR(page.width(), 595 * 1.5, 1.0);
  EXPECT_NEAR(page.height(), 842 * 1.5, 1.0);
  EXPECT_EQ(window->statusLabel->text(), "Страница 1 скопирована в буфер");

  window->view->markArea(0, QRectF(10.7, 20.2, 100, 50));
  window->onEditCopy();
  EXPECT_EQ(clipboard->image().size(), QSize(200, 100));
  int markedPage = -1;
  QRectF marked;
  EXPECT_TRUE(window->view->markedArea(&markedPage, &marked));  // a copy keeps the marked region

  // A rectangle drawn from beside the page, left of its lines: Ctrl+C takes
  // its part on the page (200 x 50 pt at 2 px a point); one beside the page only, the page.
  window->view->setZoom(1.0);
  const QPoint from = window->view->viewportPointForPageTopPoint(0, {0, 80}) - QPoint(30, 0);
  ASSERT_EQ(window->view->pageAtPoint(from), -1);
  const struct { QPoint to; QSize size; const char* said; } drags[] = {
      {window->view->viewportPointForPageTopPoint(0, {200, 130}), {400, 100}, "Область стр. 1 скопирована в буфер"},
      {from + QPoint(-10, 60), {893, 1263}, "Страница 1 скопирована в буфер"}};
  for (const auto& drag : drags) {
    QTest::mousePress(window->view->viewport(), Qt::LeftButton, {}, from);
    QTest::mouseMove(window->view->viewport(), drag.to);
    QTest::mouseRelease(window->view->viewport(), Qt::LeftButton, {}, drag.to);
    ASSERT_TRUE(showActive(window.get(), QSize(1300, 900)));
    QTest::keySequence(window.get(), QKeySequence::Copy);
    EXPECT_NEAR(clipboard->image().width(), drag.size.width(), 3);
    EXPECT_NEAR(clipboard->image().height(), drag.size.height(), 3);
    EXPECT_EQ(window->statusLabel->text(), drag.said);
  }

  // What Copy takes is what is drawn: the area marked stays drawn on its
  // page, named in the status; a click elsewhere drops it, and Ctrl+C then
  // takes the page. In edit mode a drag over no block marks an area too.
  const auto at = [this](double x, double y) { return window->view->viewportPointForPageTopPoint(0, {x, y}); };
  const QRect area(at(300, 300), at(450, 400));
  const auto drawnEdge = [&] {  // the area's dashed blue frame
    const QImage shot = window->view->viewport()->grab().toImage().copy(area.adjusted(-2, -2, 2, 2));
    int count = 0;
    for (int y = 0; y < shot.height(); ++y)
      for (int x = 0; x < shot.width(); ++x) count += qBlue(shot.pixel(x, y)) > 180 && qRed(shot.pixel(x, y)) < 120;
    return count;
  };
  for (const bool edit : {false, true}) {
    SCOPED_TRACE(edit ? "edit mode" : "reading");
    if (edit) {
      window->view->setOcrBlocks({blocktest::nativeBlock(QStringLiteral("Alpha"), QRectF(60, 700, 300, 24), 14.0f)}, 0,
                                 false);
      window->view->setEditMode(true);
    }
    QTest::mousePress(window->view->viewport(), Qt::LeftButton, {}, area.topLeft());
    QTest::mouseMove(window->view->viewport(), area.center());
    QTest::mouseRelease(window->view->viewport(), Qt::LeftButton, {}, area.bottomRight());
    EXPECT_EQ(window->statusLabel->text(), "Отмечена область стр. 1: её возьмут копирование и вставка");
    EXPECT_GT(drawnEdge(), 200);
    QTest::keySequence(window.get(), QKeySequence::Copy);
    EXPECT_EQ(window->statusLabel->text(), "Область стр. 1 скопирована в буфер");
    EXPECT_NEAR(clipboard->image().width(), 300, 4);
    EXPECT_NEAR(clipboard->image().height(), 200, 4);
    QTest::mouseClick(window->view->viewport(), Qt::LeftButton, {}, at(500, 250));
    EXPECT_EQ(drawnEdge(), 0);
    QTest::keySequence(window.get(), QKeySequence::Copy);
    EXPECT_EQ(window->statusLabel->text(), "Страница 1 скопирована в буфер");
  }
}

TEST_F(EditorWindowTest, PastedClipboardImageBecomesAnImageBlock) {
  struct Case {
    const char* name;
    QSize pixels;
    QRectF region;       // top-left origin; empty: none marked
    QRectF expected;     // page space, y upwards
  };
  // 300 x 100 px: the width limits, at 0.7 x 595 / 300 x 96 / 72 points per pixel.
  const double scale = std::min(0.7 * 595 / 300, 0.7 * 842 / 100) * 96.0 / 72.0;
  const QSizeF size(300 * scale, 100 * scale);
  const std::vector<Case> cases = {
      {"centred", {300, 100}, {}, QRectF(QPointF((595 - size.width()) / 2, (842 - size.height()) / 2), size)},
      {"stretched into the region", {100, 100}, QRectF(50, 100, 200, 40), QRectF(50, 842 - 140, 200, 40)},
  };
  QClipboard* clipboard = QGuiApplication::clipboard();
  std::size_t before = window->currentDocument->extractImages(0).size();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clipboard->setImage(solidImage(c.pixels.width(), c.pixels.height(), QColor(20, 90, 200)));
    if (!c.region.isEmpty()) window->view->markArea(0, c.region);
    window->onEditPaste();
    EXPECT_EQ(window->statusLabel->text(), "Изображение вставлено на стр. 1");
    int markedPage = -1;
    QRectF marked;
    EXPECT_FALSE(window->view->markedArea(&markedPage, &marked));  // taken by the paste
    const std::vector<TextBlock> images = window->currentDocument->extractImages(0);
    ASSERT_EQ(images.size(), before + 1);
    before = images.size();
    bool found = false;
    for (const TextBlock& block : images) {
      EXPECT_TRUE(block.isImage);
      const QRectF r = block.rect;
      if (std::abs(r.x() - c.expected.x()) < 1.5 && std::abs(r.y() - c.expected.y()) < 1.5 &&
          std::abs(r.width() - c.expected.width()) < 1.5 && std::abs(r.height() - c.expected.height()) < 1.5)
        found = true;
    }
    EXPECT_TRUE(found);
  }
  EXPECT_TRUE(window->currentDocument->isModified());
  EXPECT_TRUE(window->windowTitle().contains(" *"));

  clipboard->setText(QStringLiteral("just text"));
  window->onEditPaste();
  EXPECT_EQ(window->statusLabel->text(), "Буфер обмена не содержит изображения");
  EXPECT_EQ(window->currentDocument->extractImages(0).size(), before);
}
