// Editing an image block of a page in the image editor: the stroke added in
// the dialog reaches the saved file; cancelling or a picture too large to
// edit leaves the block as it was. A word drawn as a clip is text, no picture.
#include "../paint/PaintTestRig.h"
#include "EditorWindowFixture.h"
#include "core/RawPdf.h"
#include "core/PopplerOracles.h"
#include "paint/FacsimileEditorDialog.h"
#include "paint/PaletteDock.h"
#include "paint/ToolsDock.h"
#include "view/BlockEditorFrame.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFont>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

using namespace apptest;
using namespace testsupport;

namespace {

class ImageBlockEditTest : public EditorWindowTest {
 protected:
  void placeRedBlock() {
    red = QImage(64, 48, QImage::Format_ARGB32_Premultiplied);
    red.fill(QColor(200, 30, 30));
    window->view->setEditMode(true);
    ASSERT_TRUE(window->view->appendEditableImageBlock(0, {80, 400, 120, 90}, red));
    ASSERT_EQ(window->view->selectedOcrBlockIndices().size(), 1);
  }

  QImage blockImage() const { return window->view->currentOcrBlocks().front().image; }

  // Answers the editor: a blue stroke across the picture (or, with another
  // tool, its shape over most of it), then the button.
  // With no tool nothing is drawn, and the button is left to the dialog watch.
  void answerEditor(const QString& button, const QString& tool = QStringLiteral("brush"),
                    const std::function<void()>& meanwhile = {}) {
    painttest::whenModalShows([this, button, tool, meanwhile](QWidget* modal) {
      auto* dialog = qobject_cast<FacsimileEditorDialog*>(modal);
      if (!dialog) return false;
      dialogTitle = dialog->windowTitle();
      editorPicture = dialog->image();
      editorPictureSize = editorPicture.size();
      CanvasWidget* canvas = dialog->host->canvas;
      canvas->zoom = 2.0;
      canvas->offset = QPointF();
      for (QPushButton* swatch : dialog->host->paletteDock->findChildren<QPushButton*>())
        if (swatch->toolTip() == "#0000ff") QTest::mouseClick(swatch, Qt::LeftButton);
      const bool stroke = tool == QStringLiteral("brush");
      for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (tool.isEmpty() && b->text() == button) QMetaObject::invokeMethod(b, "click", Qt::QueuedConnection);
      if (tool.isEmpty()) return true;
      if (!stroke)
        for (QToolButton* b : dialog->host->toolsDock->findChildren<QToolButton*>())
          if (b->property("toolId").toString() == tool) QTest::mouseClick(b, Qt::LeftButton);
      QTest::mousePress(canvas, Qt::LeftButton, {}, canvas->imageToWidget(stroke ? QPoint(4, 24) : QPoint(6, 6)));
      QTest::mouseMove(canvas, canvas->imageToWidget({30, 24}));
      QTest::mouseRelease(canvas, Qt::LeftButton, {}, canvas->imageToWidget(stroke ? QPoint(60, 24) : QPoint(58, 42)));
      if (meanwhile) meanwhile();
      for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->text() == button) QTest::mouseClick(b, Qt::LeftButton);
      return true;
    });
  }

  // Right-clicks the picture and picks the menu's first item, "Редактировать".
  void editFromMenu(const QPoint& at) {
    QTimer::singleShot(50, [] {
      for (Qt::Key key : {Qt::Key_Down, Qt::Key_Return}) QTest::keyClick(QApplication::activePopupWidget(), key);
    });
    QTest::mouseClick(window->view->viewport(), Qt::RightButton, {}, at);
    window->activateWindow();  // back from the menu and the editor
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }

  void editAndTurnPicture(int turn);

  QImage red;
  QString dialogTitle;
  QImage editorPicture;
  QSize editorPictureSize;
};

// The page at 144 dpi as poppler shows it, and the box of the picture's colours there.
QImage renderedPage(const QString& path) { return oracles::renderWithPoppler(path, 0, 144); }
QRect pictureBox(const QImage& page) {
  QRect box;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x)
      if (const QRgb p = page.pixel(x, y); std::abs(qRed(p) - qGreen(p)) > 120) box |= QRect(x, y, 1, 1);
  return box;
}

int bluePixels(const QImage& image) {
  return painttest::countPixels(image, [](QRgb p) { return qBlue(p) > 200 && qRed(p) < 60 && qGreen(p) < 60; });
}

TEST_F(ImageBlockEditTest, StrokeAddedInTheEditorIsSavedIntoThePage) {
  if (!hasTool("pdfimages")) GTEST_SKIP() << "poppler-utils missing";
  placeRedBlock();
  answerEditor("Сохранить", "brush", [this] { window->autoSaveIfNeeded(); });  // a tick waits for the editor
  emit window->view->imageBlockEditRequested(red);

  EXPECT_EQ(dialogTitle, "Редактировать изображение");
  EXPECT_EQ(window->statusLabel->text(), "Изображение обновлено. Сохраните изменения.");
  EXPECT_GT(bluePixels(blockImage()), 200);
  EXPECT_TRUE(window->currentDocument->isModified());

  window->onSave();
  ASSERT_EQ(window->statusLabel->text(), "Сохранено");
  ASSERT_EQ(runTool("pdfimages", {"-png", path, dir.filePath("out")}), 0);
  bool found = false;
  for (const QString& name : QDir(dir.path()).entryList({"out*.png"})) {
    const QImage extracted(dir.filePath(name));
    if (extracted.size() != QSize(64, 48) || extracted.isGrayscale()) continue;  // not its soft mask
    found = true;
    EXPECT_GT(bluePixels(extracted), 200) << "the stroke is in the saved picture";
    EXPECT_GT(painttest::countPixels(extracted, [](QRgb p) { return qRed(p) > 180 && qBlue(p) < 60; }), 1000)
        << "and the picture around it stayed";
  }
  EXPECT_TRUE(found);
}

// Saved while the rectangle is still being placed: the saved picture holds it.
TEST_F(ImageBlockEditTest, ShapeStillBeingPlacedIsInTheSavedPicture) {
  if (!hasTool("pdfimages")) GTEST_SKIP() << "poppler-utils missing";
  placeRedBlock();
  answerEditor("Сохранить", "rect");
  emit window->view->imageBlockEditRequested(red);
  window->onSave();
  ASSERT_EQ(window->statusLabel->text(), "Сохранено");
  ASSERT_EQ(runTool("pdfimages", {"-png", path, dir.filePath("out")}), 0);
  int pictures = 0;
  for (const QString& name : QDir(dir.path()).entryList({"out*.png"})) {
    const QImage extracted(dir.filePath(name));
    if (extracted.size() != QSize(64, 48) || extracted.isGrayscale()) continue;
    ++pictures;
    EXPECT_GT(bluePixels(extracted), 300) << "the rectangle's outline";
    const QColor inside = extracted.pixelColor(32, 24);
    EXPECT_TRUE(inside.red() > 180 && inside.blue() < 60) << "inside it the picture stayed";
  }
  EXPECT_EQ(pictures, 1);
}

// A picture the page already had, on a page turned each quarter: the editor
// shows it as the page does, the edit shows at once and is written over its
// old place on saving, at the picture's own 400 x 300 pixels in their order.
// Turned a quarter by its round handle, it is then saved turned.
TEST_F(ImageBlockEditTest, EditedPictureOfThePageItselfIsSaved) {
  if (!hasTool("pdfimages") || !hasTool("qpdf")) GTEST_SKIP() << "poppler-utils or qpdf missing";
  for (const int turn : {0, 90, 180, 270}) editAndTurnPicture(turn);
}

void ImageBlockEditTest::editAndTurnPicture(int turn) {
  SCOPED_TRACE(turn);
  red = QImage(400, 300, QImage::Format_RGB32);
  red.fill(QColor(200, 30, 30));
  QPainter(&red).fillRect(200, 150, 200, 150, QColor(30, 200, 30));  // its lower right quarter
  {
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setPageSize(QPageSize(QSizeF(595, 842), QPageSize::Point));
    QPainter painter(&writer);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 12));
    painter.drawText(QPointF(60, 100), QStringLiteral("Signed by the director of the company"));
    painter.drawImage(QRectF(100, 300, 200, 150), red);
  }
  window->closeDocumentAt(0);
  ASSERT_EQ(runTool("qpdf", {path, "--replace-input", "--rotate=+" + QString::number(turn)}), 0);
  window->openFile(path);
  QTest::keyClick(window.get(), Qt::Key_F2);
  ASSERT_TRUE(pageBlocksRead(window->view));
  const std::vector<TextBlock>& blocks = window->view->currentOcrBlocks();
  const auto image = std::find_if(blocks.begin(), blocks.end(), [](const TextBlock& b) { return b.isImage; });
  ASSERT_NE(image, blocks.end());
  const QPoint at = window->view->pdfRectToScreenRect(0, image->rect).center().toPoint();
  const QImage before = renderedPage(path);
  const QRect box = pictureBox(before);

  for (const char* button : {"Отмена", "Сохранить"}) {
    answerEditor(button, "");
    editFromMenu(at);
    EXPECT_FALSE(window->currentDocument->isModified()) << button;
  }
  EXPECT_LT(meanChannelDifference(editorPicture, before.copy(box).scaled(editorPicture.size())), 3.0) << "as shown";
  answerEditor("Сохранить");
  editFromMenu(at);
  EXPECT_EQ(editorPictureSize, turn % 180 ? QSize(300, 400) : QSize(400, 300));
  window->view->clearOcrBlockSelection();
  window->view->deactivateOcrBlock();
  const QImage shown = window->view->grab().toImage();
  EXPECT_GT(bluePixels(shown), 50) << "the view draws the edited picture in place";

  QTest::keySequence(window.get(), QKeySequence::Save);
  ASSERT_EQ(window->statusLabel->text(), "Сохранено");
  ASSERT_EQ(runTool("pdfimages", {"-png", path, dir.filePath("out")}), 0);
  int withStroke = 0;
  for (const QString& name : QDir(dir.path()).entryList({"out*.png"}))
    if (const QImage out(dir.filePath(name)); out.size() == QSize(400, 300) && bluePixels(out) > 200)
      withStroke += out.pixelColor(350, 280).green() > 150;  // its green quarter where the file had it
  EXPECT_EQ(withStroke, 1);
  const QImage after = renderedPage(path);
  EXPECT_LT(meanChannelDifference(after.copy(box), before.copy(box)), 3.0) << "the picture but for its stroke";

  // The round handle dragged a quarter round the picture's centre, clockwise.
  ASSERT_TRUE(pageBlocksRead(window->view));
  QWidget* vp = window->view->viewport();
  QTest::mouseClick(vp, Qt::LeftButton, {}, at);
  auto* frame = vp->findChild<BlockEditorFrame*>();
  ASSERT_TRUE(frame && frame->isVisible());
  const QRect c = frame->contentRect();
  const QPoint centre = frame->mapTo(vp, QPoint((c.left() + c.right()) / 2, (c.top() + c.bottom()) / 2));
  const QPoint handle = frame->mapTo(vp, QPoint((c.left() + c.right()) / 2, c.top() - 18));
  QWidget* held = vp->childAt(handle);
  ASSERT_TRUE(held);
  QTest::mousePress(held, Qt::LeftButton, {}, held->mapFrom(vp, handle));
  for (const QPoint& to : {centre + QPoint(60, -60), centre + QPoint(100, 0)})
    QTest::mouseMove(held, held->mapFrom(vp, to));
  QTest::mouseRelease(held, Qt::LeftButton, {}, held->mapFrom(vp, centre + QPoint(100, 0)));
  QTest::keySequence(window.get(), QKeySequence::Save);
  QStringList listed;  // the same 400 x 300 pixels at 144 ppi, turned: nothing resampled, no mask added
  for (const PdfImageInfo& i : listPdfImages(path))
    listed << QStringLiteral("%1 %2x%3 %4").arg(i.type).arg(i.size.width()).arg(i.size.height()).arg(i.xPpi);
  EXPECT_EQ(listed, QStringList{"image 400x300 144"});
  const QImage turned = after.copy(box).transformed(QTransform().rotate(90));
  const QImage saved = renderedPage(path);
  EXPECT_LT(meanChannelDifference(saved.copy(pictureBox(saved)).scaled(turned.size()), turned), 3.0) << "saved turned";
  QTest::keyClick(window.get(), Qt::Key_F2);  // reading: the page as saved
  QImage screen;  // once the page is drawn anew
  EXPECT_TRUE(QTest::qWaitFor([&] { return !pictureBox(screen = vp->grab().toImage()).isEmpty(); }, 5000));
  EXPECT_LT(meanChannelDifference(screen.copy(pictureBox(screen)).scaled(turned.size()), turned), 3.0) << "on screen";
}

TEST_F(ImageBlockEditTest, CancelLeavesBlockTitleAndStatusAsTheyWere) {
  placeRedBlock();
  const QString status = window->statusLabel->text();
  const QString title = window->windowTitle();
  painttest::whenModalShows([](QWidget* modal) {  // the stroke is thrown away when the editor asks
    for (QPushButton* button : modal->findChildren<QPushButton*>())
      if (button->text() == "Не сохранять") return QTest::mouseClick(button, Qt::LeftButton), true;
    return false;
  });
  answerEditor("Отмена");
  emit window->view->imageBlockEditRequested(red);
  EXPECT_EQ(blockImage(), red);
  EXPECT_EQ(window->statusLabel->text(), status);
  EXPECT_EQ(window->windowTitle(), title);
}

TEST_F(ImageBlockEditTest, PictureTooLargeForTheEditorIsRefusedWithAMessage) {
  placeRedBlock();
  std::shared_ptr<DialogSeen> seen = answerNextDialog("OK");
  QImage huge(20001, 2, QImage::Format_ARGB32_Premultiplied);
  huge.fill(Qt::white);
  window->onImageBlockEditRequested(huge);
  EXPECT_TRUE(seen->shown);
  EXPECT_TRUE(seen->texts.contains("слишком большое")) << seen->texts.toStdString();
  EXPECT_EQ(blockImage(), red);
}

// A word drawn as a clip (7 Tr) with colour painted through it: a text block,
// whose menu offers no picture's editor; typing into it or inserting a
// symbol is refused with the reason as the user types, deleting it on
// saving; it is never covered with a picture.
TEST_F(ImageBlockEditTest, AWordDrawnAsAClipIsTextNotAPicture) {
  window->closeDocumentAt(0);
  ASSERT_TRUE(writeRawPdf(path, {{textLine("F1", 14, 72, 760, "Kept line stays") +
                                  "q 0.8 0.1 0.5 rg BT 7 Tr /F1 40 Tf 300 590 Td (Clip) Tj ET 300 590 150 100 re f Q\n"}}));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray original = file.readAll();
  file.close();
  window->openFile(path);
  QTest::keyClick(window.get(), Qt::Key_F2);
  ASSERT_TRUE(pageBlocksRead(window->view));
  for (const bool typed : {true, false}) {
    SCOPED_TRACE(typed ? "typed into" : "deleted");
    const std::vector<TextBlock>& blocks = window->view->currentOcrBlocks();
    EXPECT_TRUE(std::none_of(blocks.begin(), blocks.end(), [](const TextBlock& b) { return b.isImage; }));
    const auto word = std::find_if(blocks.begin(), blocks.end(), [](const TextBlock& b) { return b.text == "Clip"; });
    ASSERT_NE(word, blocks.end());
    const QPoint at = window->view->pdfRectToScreenRect(0, word->rect).center().toPoint();
    // Its menu opens no picture's editor and says where text is edited.
    QString tip = "no menu";
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      const QAction* edit = menu->actions().value(0);
      tip = edit && !edit->isEnabled() ? edit->toolTip() : "enabled";
      menu->close();
    });
    poll.start(10);
    QTest::mouseClick(window->view->viewport(), Qt::RightButton, {}, at);
    poll.stop();
    EXPECT_EQ(tip, "Текст правится прямо в блоке: щёлкните по нему");
    window->statusLabel->clear();
    QTest::mouseClick(window->view->viewport(), Qt::LeftButton, {}, at);
    ASSERT_TRUE(window->view->activeTextEditor());
    if (typed) {
      // Typing, or a symbol inserted, is refused at once with the reason.
      QTest::keyClicks(window->view->activeTextEditor(), QStringLiteral("Cut"));
      EXPECT_TRUE(window->statusLabel->text().contains("контур обрезки")) << window->statusLabel->text().toStdString();
      EXPECT_FALSE(window->view->insertTextIntoActiveEditor(QStringLiteral("§")));
      ASSERT_TRUE(window->view->activeTextEditor());
      EXPECT_EQ(window->view->activeTextEditor()->toPlainText(), QStringLiteral("Clip"));
      window->view->deactivateOcrBlock();
      EXPECT_FALSE(window->view->hasOcrEdits());
      continue;
    }
    QTest::keyClick(window->view->activeTextEditor(), Qt::Key_Delete);
    ASSERT_TRUE(window->view->hasOcrEdits());
    std::shared_ptr<DialogSeen> seen = answerNextDialog("", "Ошибка");
    window->onSave();
    seen->stopWaiting = true;
    EXPECT_TRUE(seen->texts.contains("контур обрезки")) << seen->texts.toStdString();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), original);  // no picture over the word, the word still there
    file.close();
    window->view->deactivateOcrBlock();
    window->activateWindow();  // back from the dialog
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    for (int undo = 0; undo < 4 && window->view->hasOcrEdits(); ++undo)
      QTest::keySequence(window.get(), QKeySequence::Undo);  // the edit given up
    ASSERT_FALSE(window->view->hasOcrEdits());
  }
}

}  // namespace
