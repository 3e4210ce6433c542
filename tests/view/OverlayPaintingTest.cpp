// What the block overlay paints, read back with grab(): an unchanged page in
// edit mode looks like the page, an edited or moved block shows its new text
// over a cleaned background, lifted ink never takes the page's other text
// with it, outlines and group frames, and the per-pixel work is done once per
// block and zoom. Also the road back into the file: an edit in the view,
// written with overlayOcrText and saved, reads back with pdftotext.
#include "BlockTestData.h"
#include "TestSupport.h"
#include "ViewTestAccess.h"
#include "ViewTestHelpers.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

using namespace testsupport;
using viewtest::waitUntil;

namespace {

using A = PdfViewTestAccess;

const QString kPageText = QStringLiteral("Первая строка страницы\nВторая строка страницы\nТретья строка страницы");

bool isDark(QRgb p) { return qGray(p) < 110; }
bool isRed(QRgb p) { return qRed(p) > 150 && qGreen(p) < 90 && qBlue(p) < 90; }

int countPixels(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& test) {
  int n = 0;
  const QRect r = area.intersected(image.rect());
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) n += test(image.pixel(x, y)) ? 1 : 0;
  return n;
}

class OverlayPaintingTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    path = dir.filePath(QStringLiteral("page.pdf"));
    ASSERT_TRUE(writePdf(path, {PageSpec{kPageText, false, {595, 842}}}));
    ASSERT_TRUE(doc.open(path));
    view = std::make_unique<PdfView>();
    view->setFrameShape(QFrame::NoFrame);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->resize(800, 1000);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    view->setDocument(&doc);
    view->setZoom(1.0);
    blocks = doc.extractText(0);
    ASSERT_GE(blocks.size(), 1u);
  }

  QImage grab() {
    EXPECT_TRUE(waitUntil([&] { return !view->cachedPage(0).isNull(); }));
    return view->grab().toImage().convertToFormat(QImage::Format_RGB32);
  }

  QRect screen(const QRectF& pdf) const { return view->pdfRectToScreenRect(0, pdf).toAlignedRect(); }

  // The block whose text starts with prefix.
  int blockStarting(const QString& prefix) const {
    const auto& list = A::blocks(*view);
    for (std::size_t i = 0; i < list.size(); ++i)
      if (list[i].text.startsWith(prefix)) return static_cast<int>(i);
    return -1;
  }

  static TextBlock stamp(const QRectF& where) {
    QImage ink(200, 120, QImage::Format_ARGB32);
    ink.fill(Qt::transparent);
    QPainter p(&ink);
    p.setPen(QPen(QColor(220, 20, 20), 10));
    p.drawEllipse(QRect(10, 10, 180, 100));
    p.end();
    TextBlock b;
    b.isImage = true;
    b.inkLayer = true;
    b.image = ink;
    b.rect = b.originalRect = where;
    return b;
  }

  QTemporaryDir dir;
  QString path;
  PdfDocument doc;
  std::unique_ptr<PdfView> view;
  std::vector<TextBlock> blocks;
};

TEST_F(OverlayPaintingTest, UnchangedPageInEditModeLooksLikeThePageOutsideTheOutlines) {
  const QImage plain = grab();
  view->setOcrBlocks(blocks, 0, false);
  view->setEditMode(true);
  const QImage edit = grab();
  int differing = 0;
  for (int y = 0; y < plain.height(); ++y) {
    for (int x = 0; x < plain.width(); ++x) {
      bool nearOutline = false;
      for (const TextBlock& b : blocks) nearOutline = nearOutline || screen(b.rect).adjusted(-4, -4, 4, 4).contains(x, y);
      if (!nearOutline && plain.pixel(x, y) != edit.pixel(x, y)) ++differing;
    }
  }
  EXPECT_EQ(differing, 0);
  // The text inside the outlines is the page's own, untouched.
  for (const TextBlock& b : blocks) {
    const QRect inner = screen(b.rect).adjusted(3, 3, -3, -3);
    EXPECT_EQ(countPixels(edit, inner, isDark), countPixels(plain, inner, isDark));
  }
}

TEST_F(OverlayPaintingTest, ChangedBlockShowsItsNewTextOverACleanedBackground) {
  const struct {
    const char* name;
    bool move;
  } cases[] = {{"retyped", false}, {"moved", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    view->setOcrBlocks(blocks, 0, false);
    view->setEditMode(true);
    const int index = blockStarting(QStringLiteral("Вторая"));
    ASSERT_GE(index, 0);
    const QRectF old = A::blocks(*view)[std::size_t(index)].originalRect;
    if (c.move) {
      TextBlock& b = A::mutableBlocks(*view)[std::size_t(index)];
      b.rect.translate(0, -300);
      for (auto& line : b.lines) line.rect.translate(0, -300);
    } else {
      view->activateOcrBlock(index);
      RotatedTextEdit* editor = A::frame(*view)->textEditor();
      editor->selectAll();
      QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, QStringLiteral("Да"), Qt::NoModifier);
      view->deactivateOcrBlock();
      ASSERT_EQ(A::blocks(*view)[std::size_t(index)].text, QStringLiteral("Да"));
    }
    const QImage image = grab();
    const QRect was = screen(old);
    // Where the old glyphs stood (past the new short word) nothing dark remains.
    const QRect oldGlyphs = c.move ? was.adjusted(2, 2, -2, -2) : was.adjusted(45, 2, -2, -2);
    EXPECT_EQ(countPixels(image, oldGlyphs, isDark), 0);
    const QRect now = screen(A::blocks(*view)[std::size_t(index)].rect).adjusted(2, 2, -2, -2);
    EXPECT_GT(countPixels(image, now, isDark), 20);
    view->clearOcrBlocks();
  }
}

// A line of an invisible layer (the words a scan shows) stays faint once
// retyped and its editor closed: the paper under it gets no dark ink.
TEST_F(OverlayPaintingTest, RetypedInvisibleLineStaysFaintOnceItsEditorCloses) {
  TextBlock line;
  line.text = QStringLiteral("Невидимый слой");
  line.rect = line.originalRect = QRectF(300, 400, 220, 30);
  line.fontSize = 20;
  line.transparentText = true;
  view->setOcrBlocks({line}, 0, false);
  view->setEditMode(true);
  view->activateOcrBlock(0);
  RotatedTextEdit* editor = A::frame(*view)->textEditor();
  editor->selectAll();
  QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, QStringLiteral("Зебра квант"), Qt::NoModifier);
  view->deactivateOcrBlock();
  ASSERT_EQ(A::blocks(*view)[0].text, QStringLiteral("Зебра квант"));
  const QImage image = grab();
  const QRect inner = screen(line.rect).adjusted(3, 3, -3, -3);
  // Black at 30 % leaves the paper no darker than grey 178.
  EXPECT_GT(countPixels(image, inner, [](QRgb p) { return qGray(p) < 235; }), 20) << "the new words are shown";
  EXPECT_EQ(countPixels(image, inner, [](QRgb p) { return qGray(p) < 150; }), 0) << "drawn as ink";
}

// Lifting a stamp off the page must not lift the page's other text with it.
TEST_F(OverlayPaintingTest, InkModeKeepsEveryUnchangedLineAndDrawsTheInk) {
  const QImage plain = grab();
  std::vector<TextBlock> withInk = blocks;
  withInk.push_back(stamp(QRectF(300, 730, 120, 60)));
  view->setOcrBlocks(withInk, 0, false);
  view->setEditMode(true);
  const QImage image = grab();
  for (const TextBlock& b : blocks) {
    const QRect inner = screen(b.rect).adjusted(3, 3, -3, -3).intersected(QRect(0, 0, screen(QRectF(300, 0, 1, 1)).left(), 2000));
    SCOPED_TRACE(b.text.toStdString());
    EXPECT_NEAR(countPixels(image, inner, isDark), countPixels(plain, inner, isDark), 3);
    EXPECT_GT(countPixels(image, inner, isDark), 20);
  }
  EXPECT_GT(countPixels(image, screen(QRectF(300, 730, 120, 60)), isRed), 100);
}

TEST_F(OverlayPaintingTest, PerPixelWorkIsRedoneOnlyWhenItsBlockOrTheZoomChanges) {
  std::vector<TextBlock> list = blocks;
  for (TextBlock& b : list) b.text += QStringLiteral(" правка");
  list.push_back(stamp(QRectF(60, 730, 120, 60)));
  view->setOcrBlocks(list, 0, true);
  view->setEditMode(true);
  grab();
  const int first = A::overlayPatchBuilds(*view);
  ASSERT_GT(first, 0);

  const struct {
    const char* name;
    std::function<void()> change;
    bool rebuilds;
  } steps[] = {
      {"repaint", [&] { view->viewport()->repaint(); }, false},
      {"scroll", [&] { view->verticalScrollBar()->setValue(5); view->viewport()->repaint(); }, false},
      {"selection", [&] { A::selection(*view) = {0}; view->viewport()->repaint(); }, false},
      {"block moved elsewhere",
       [&] {
         A::mutableBlocks(*view)[0].originalRect.translate(0, -40);
         view->viewport()->repaint();
       },
       true},
      {"text under the ink",
       [&] {
         A::mutableBlocks(*view)[0].text = QStringLiteral("Иной текст под печатью");
         view->viewport()->repaint();
       },
       true},
      {"zoom", [&] { view->setZoom(1.5); grab(); }, true},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.name);
    const int before = A::overlayPatchBuilds(*view);
    s.change();
    if (s.rebuilds)
      EXPECT_GT(A::overlayPatchBuilds(*view), before);
    else
      EXPECT_EQ(A::overlayPatchBuilds(*view), before);
  }
}

TEST_F(OverlayPaintingTest, OutlinesAndGroupFrames) {
  const struct {
    const char* name;
    bool selected;
    bool table;
    bool grouped;
  } cases[] = {
      {"plain", false, false, false},
      {"selected", true, false, false},
      {"table", false, true, false},
      {"grouped", false, false, true},
  };
  // Summed tint of one colour channel over the other two, across the left edge.
  const auto tint = [](const QImage& image, const QRect& s, int channel) {
    int sum = 0;
    for (int x = s.left() - 4; x <= s.left() + 1; ++x) {
      const QColor c = image.pixelColor(x, s.center().y());
      const int rgb[] = {c.red(), c.green(), c.blue()};
      sum += std::max(0, rgb[channel] - (rgb[0] + rgb[1] + rgb[2] - rgb[channel]) / 2);
    }
    return sum;
  };
  int plainBlue = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TextBlock block = blocks.front();
    block.isTable = c.table;
    view->setOcrBlocks({block}, 0, false);
    view->setEditMode(true);
    if (c.selected) A::selection(*view) = {0};
    if (c.grouped) A::mutableGroupIds(*view) = {3};
    const QImage image = grab();
    const QRect s = view->ocrBlockScreenRect(0);
    const int blue = tint(image, s, 2);
    const int green = tint(image, s, 1);
    if (c.table) {
      EXPECT_GT(green, 60);
      EXPECT_LT(blue, green);
    } else if (c.grouped) {
      // No outline on the block's edge; the dashed group frame lies 2 px out.
      EXPECT_LT(image.pixelColor(s.left(), s.center().y()).blue() - image.pixelColor(s.left(), s.center().y()).red(), 40);
      int frame = 0;
      for (int y = s.top(); y <= s.bottom(); ++y) {
        const QColor p = image.pixelColor(s.left() - 2, y);
        frame += p.blue() > p.red() + 40 ? 1 : 0;
      }
      EXPECT_GT(frame, 0);
    } else {
      EXPECT_GT(blue, 60);
      if (c.selected) EXPECT_GT(blue, plainBlue + 60);
      else plainBlue = blue;
    }
    view->clearOcrBlocks();
  }
}

TEST_F(OverlayPaintingTest, EditedTextReachesTheSavedFile) {
  if (!hasTool(QStringLiteral("pdftotext"))) GTEST_SKIP() << "pdftotext missing";
  view->setOcrBlocks(blocks, 0, false);
  view->setEditMode(true);
  const int index = blockStarting(QStringLiteral("Вторая"));
  ASSERT_GE(index, 0);
  view->activateOcrBlock(index);
  RotatedTextEdit* editor = A::frame(*view)->textEditor();
  QTest::keyClick(editor, Qt::Key_End);
  QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, QStringLiteral(" исправлена"), Qt::NoModifier);
  // Written while the editor is still open, as a save does.
  ASSERT_TRUE(doc.overlayOcrText(0, view->ocrBlocksWithEdits(), false));
  const QString saved = dir.filePath(QStringLiteral("saved.pdf"));
  ASSERT_TRUE(doc.saveCopy(saved));
  QByteArray text;
  ASSERT_EQ(runTool(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), saved, QStringLiteral("-")}, &text), 0);
  const QString out = QString::fromUtf8(text).simplified();
  EXPECT_TRUE(out.contains(QStringLiteral("Вторая строка страницы исправлена"))) << out.toStdString();
  EXPECT_TRUE(out.contains(QStringLiteral("Третья строка страницы"))) << out.toStdString();
}

}  // namespace

namespace {

// Text recognised from the ink itself is not put back under lifted ink.
TEST_F(OverlayPaintingTest, InkRestorationSkipsTextReadFromTheInk) {
  const struct {
    QString text;
    bool restored;
  } cases[] = {
      {QStringLiteral("Печать"), true},   {QStringLiteral("М.П."), true},     {QStringLiteral("Печать AB"), false},
      {QStringLiteral("ко1д2"), false},   {QStringLiteral("пе/ча"), false},   {QStringLiteral("-.-.,.ок"), false},
      {QStringLiteral("Договор 15"), true},
  };
  const QRectF place(300, 400, 160, 40);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    TextBlock under;
    under.text = c.text;
    under.rect = under.originalRect = place.adjusted(5, 5, -5, -5);
    under.fontSize = 20;
    TextBlock ink = stamp(place);
    QImage solid(160, 40, QImage::Format_ARGB32);
    solid.fill(QColor(220, 20, 20));
    ink.image = solid;
    ink.rect.translate(0, -200);  // the ink is drawn elsewhere; its old place shows what lies under it
    view->setOcrBlocks({under, ink}, 0, false);
    view->setEditMode(true);
    const QImage image = grab();
    const int dark = countPixels(image, screen(place).adjusted(2, 2, -2, -2), isDark);
    if (c.restored)
      EXPECT_GT(dark, 10);
    else
      EXPECT_EQ(dark, 0);
    view->clearOcrBlocks();
  }
}

}  // namespace
