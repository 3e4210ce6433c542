// The editing road as a user walks it with keys and the mouse: edit mode
// survives a save, formatting steps undo one by one, a selection inside a
// block is visible and reported, the view keeps the reader's place and the
// page counter speaks proper Russian.
#include "EditorWindowFixture.h"
#include "PageCountText.h"
#include "core/RawPdf.h"
#include "view/PageThumbnailPanel.h"

#include <QApplication>
#include <QLabel>
#include <QScrollBar>
#include <QSpinBox>
#include <QTextBlock>
#include <QToolButton>
#include <QWheelEvent>

using namespace apptest;
using namespace testsupport;

namespace {

class PlaceWindow : public RibbonWindow {
 public:
  using RibbonWindow::RibbonWindow;
  using MainWindow::confirmSave;
  using MainWindow::pageCountLabel;
  using MainWindow::pageSpin;
  using MainWindow::redoButton;
  using MainWindow::undoButton;
};

class EditViewPlaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    useCleanSettings();
    ASSERT_TRUE(dir.isValid());
  }

  void open(const QList<PageSpec>& pages) {
    const QString path = dir.filePath(QStringLiteral("doc%1.pdf").arg(++files));
    ASSERT_TRUE(writePdf(path, pages));
    if (!window) {
      window = std::make_unique<PlaceWindow>(AppProduct::Editor);
      ASSERT_TRUE(showActive(window.get(), {1300, 900}));
    }
    window->openFile(path);
    ASSERT_TRUE(window->currentDocument->isOpen());
  }

  static QList<PageSpec> pages(int count) {
    QList<PageSpec> list;
    for (int i = 0; i < count; ++i) list.append(PageSpec{QStringLiteral("Page %1 text line").arg(i + 1), false, {595, 842}});
    return list;
  }

  // Keys as the user types them: to whatever has the focus.
  void press(const QKeySequence& keys) {
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window.get();
    QTest::keySequence(target, keys);
  }

  PdfView* view() const { return window->view; }
  QPoint viewportCentre() const { return view()->viewport()->rect().center(); }

  // The page and the point on it (points from its top-left) under a viewport point.
  std::pair<int, QPointF> placeAt(const QPoint& p) const {
    const int page = view()->pageAtPoint(p);
    return {page, view()->viewToPage(page, p).topLeft()};
  }

  // Viewport pixels between the top of the viewport and the top of a page.
  int pageTopInViewport(int page) const { return view()->viewportPointForPageTopPoint(page, QPointF(0, 0)).y(); }

  QTemporaryDir dir;
  int files = 0;
  std::unique_ptr<PlaceWindow> window;
};

// ---- edit mode survives Ctrl+S ---------------------------------------------

TEST_F(EditViewPlaceTest, EditModeKeepsWorkingAfterSavingInPlace) {
  // Few words: a page edit mode frames however little text it holds.
  open({PageSpec{QStringLiteral("Fig. 1\nTo do"), false, {595, 842}}});
  QTest::keyClick(window.get(), Qt::Key_F2);
  ASSERT_TRUE(window->editMode);
  ASSERT_TRUE(pageBlocksRead(view()));
  ASSERT_EQ(view()->currentOcrBlocks().size(), 2u);
  view()->activateOcrBlock(0);
  QTextEdit* editor = view()->activeTextEditor();
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClicks(editor, QStringLiteral("Fig. 2"));
  press(QKeySequence::Save);
  EXPECT_EQ(window->statusLabel->text(), "Сохранено");
  EXPECT_FALSE(window->currentDocument->isModified());

  // The saved page's blocks are back, and a click opens one in the editor.
  ASSERT_TRUE(window->editMode);
  ASSERT_TRUE(pageBlocksRead(view()));
  ASSERT_EQ(view()->currentOcrBlocks().size(), 2u);
  EXPECT_TRUE(view()->currentOcrBlocks()[0].text.contains("Fig. 2"));
  const QRect second = view()->ocrBlockScreenRect(1);
  ASSERT_TRUE(second.isValid());
  QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, second.center());
  EXPECT_EQ(view()->activeOcrBlockIndex(), 1);
  EXPECT_NE(view()->activeTextEditor(), nullptr);
}

// ---- undo back to the saved state ---------------------------------------

TEST_F(EditViewPlaceTest, UndoBackToTheSavedStateClearsTheChangeMarkAndCloseAsksNothing) {
  open({PageSpec{QStringLiteral("First line of text\nSecond line of text"), false, {595, 842}}});
  const QString name = window->documentTabs->tabText(0);
  QTest::keyClick(window.get(), Qt::Key_F2);
  ASSERT_TRUE(pageBlocksRead(view()));
  ASSERT_EQ(view()->currentOcrBlocks().size(), 2u);
  QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, view()->ocrBlockScreenRect(0).center());
  ASSERT_NE(view()->activeTextEditor(), nullptr);
  press(QKeySequence(Qt::Key_End));
  QTest::keyClicks(QApplication::focusWidget(), QStringLiteral(" and more"));
  press(QKeySequence(Qt::Key_Escape));
  ASSERT_TRUE(view()->hasOcrEdits());
  ASSERT_EQ(window->documentTabs->tabText(0), name + " *");

  for (int step = 0; step < 20 && view()->canUndo(); ++step) press(QKeySequence::Undo);
  EXPECT_FALSE(view()->hasOcrEdits());
  EXPECT_FALSE(window->currentDocument->isModified());
  EXPECT_EQ(window->documentTabs->tabText(0), name);
  EXPECT_FALSE(window->windowTitle().contains(" *"));
  std::shared_ptr<DialogSeen> asked = answerNextDialog("", "");
  EXPECT_TRUE(window->confirmSave());
  asked->stopWaiting = true;
  EXPECT_FALSE(asked->shown);

  // Redo makes it changed again.
  press(QKeySequence(QStringLiteral("Ctrl+Y")));
  EXPECT_TRUE(view()->hasOcrEdits());
  EXPECT_EQ(window->documentTabs->tabText(0), name + " *");
}

// ---- one undo step per formatting command --------------------------------

class BlockUndoTest : public EditorWindowTest {
 protected:
  QTextCharFormat formatAt(int position) {
    QTextEdit* editor = window->view->activeTextEditor();
    if (!editor) return {};
    QTextCursor c(editor->document());
    c.setPosition(position);
    return c.charFormat();
  }
  bool bold() { return formatAt(2).fontWeight() >= QFont::Bold; }
  bool italic() { return formatAt(2).fontItalic(); }
  void format() {
    window->boldButton->click();
    window->italicButton->click();
    window->growFontButton->click();
  }
  void press(const QKeySequence& keys) {
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window.get();
    QTest::keySequence(target, keys);
  }
  int size() { return window->fontSizeSpin->value(); }
};

TEST_F(BlockUndoTest, EachFormattingCommandIsOneStepForKeysAndToolbar) {
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  ASSERT_NE(openEditor(), nullptr);
  const int plainSize = size();
  format();
  ASSERT_TRUE(bold());
  ASSERT_TRUE(italic());
  ASSERT_GT(size(), plainSize);

  // Ctrl+Z: the size step, then italic, then bold.
  press(QKeySequence(QStringLiteral("Ctrl+Z")));
  EXPECT_EQ(size(), plainSize);
  EXPECT_TRUE(bold());
  EXPECT_TRUE(italic());
  press(QKeySequence(QStringLiteral("Ctrl+Z")));
  EXPECT_TRUE(bold());
  EXPECT_FALSE(italic());
  // The toolbar undoes the next step alone.
  auto* undo = static_cast<PlaceWindow*>(static_cast<MainWindow*>(window.get()))->undoButton;
  auto* redo = static_cast<PlaceWindow*>(static_cast<MainWindow*>(window.get()))->redoButton;
  ASSERT_NE(undo, nullptr);
  ASSERT_TRUE(undo->isEnabled());
  undo->click();
  EXPECT_FALSE(bold());
  EXPECT_FALSE(undo->isEnabled());

  // Redo answers Ctrl+Y and Ctrl+Shift+Z, one step each, and the toolbar.
  press(QKeySequence(QStringLiteral("Ctrl+Y")));
  EXPECT_TRUE(bold());
  EXPECT_FALSE(italic());
  press(QKeySequence(QStringLiteral("Ctrl+Shift+Z")));
  EXPECT_TRUE(italic());
  EXPECT_EQ(size(), plainSize);
  ASSERT_TRUE(redo->isEnabled());
  redo->click();
  EXPECT_GT(size(), plainSize);
  EXPECT_FALSE(redo->isEnabled());
}

TEST_F(BlockUndoTest, UndoKeysStayLiveAfterLeavingABlockWithEscape) {
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  ASSERT_NE(openEditor(), nullptr);
  window->boldButton->click();
  ASSERT_TRUE(window->view->currentOcrBlocks()[0].textEdited);
  window->view->activeTextEditor()->setFocus();
  press(QKeySequence(Qt::Key_Escape));
  ASSERT_EQ(window->view->activeTextEditor(), nullptr);
  ASSERT_TRUE(window->view->canUndo());
  press(QKeySequence(QStringLiteral("Ctrl+Z")));
  EXPECT_FALSE(window->view->canUndo());
  EXPECT_FALSE(window->view->currentOcrBlocks()[0].textEdited);
}

// ---- the selection inside a block ----------------------------------------

// Pixels inside the block clearly tinted blue (no text or page is blue).
int bluePixels(PdfView* view, int block) {
  const QRect area = view->ocrBlockScreenRect(block).adjusted(4, 4, -4, -4);
  const QImage shot = view->viewport()->grab(area).toImage();
  int count = 0;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x) {
      const QColor c = shot.pixelColor(x, y);
      if (c.blue() > c.red() + 40 && c.blue() > c.green() + 20) ++count;
    }
  return count;
}

TEST_F(EditorWindowTest, SelectedTextInsideABlockIsHighlightedAndItsSizeReported) {
  QTextEdit* editor = openEditor();
  ASSERT_NE(editor, nullptr);
  QTextCursor start(editor->document());
  editor->setTextCursor(start);
  editor->setFocus();
  QApplication::processEvents();
  EXPECT_LT(bluePixels(window->view, 0), 20);
  const int restSize = window->fontSizeSpin->value();
  ASSERT_NE(restSize, 13);

  // Keyboard selection: the first word.
  QTest::keyClick(editor, Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_TRUE(editor->textCursor().hasSelection());
  QApplication::processEvents();
  EXPECT_GT(bluePixels(window->view, 0), 150);

  // Its size is 13 while the rest stays as it was; selected backwards, the
  // size box still shows the selected text's size.
  window->fontSizeSpin->setValue(13);
  ASSERT_NE(window->view->currentOcrBlocks()[0].richTextHtml, QString());
  QTextCursor word(editor->document());
  word.setPosition(5);
  word.setPosition(0, QTextCursor::KeepAnchor);
  editor->setTextCursor(word);
  // Home and End keep working in the restyled line.
  QTest::keyClick(editor, Qt::Key_End);
  ASSERT_EQ(editor->textCursor().position(), 16);
  QTest::keyClick(editor, Qt::Key_Home);
  QTest::keyClick(editor, Qt::Key_Right, Qt::ControlModifier);
  QTest::keyClick(editor, Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_EQ(editor->textCursor().selectedText(), QStringLiteral("Alpha "));
  EXPECT_EQ(window->fontSizeSpin->value(), 13);
  QTest::keyClick(editor, Qt::Key_End);
  EXPECT_EQ(window->fontSizeSpin->value(), restSize);

  // Mouse selection: a drag across the block's middle.
  const QRect r = window->view->ocrBlockScreenRect(0);
  QWidget* surface = editor->viewport();
  const QPoint from = surface->mapFrom(window->view->viewport(), QPoint(r.left() + 8, r.center().y()));
  const QPoint to = surface->mapFrom(window->view->viewport(), QPoint(r.center().x(), r.center().y()));
  QTest::mousePress(surface, Qt::LeftButton, {}, from);
  QTest::mouseMove(surface, to);
  QTest::mouseRelease(surface, Qt::LeftButton, {}, to);
  ASSERT_TRUE(editor->textCursor().hasSelection());
  QApplication::processEvents();
  EXPECT_GT(bluePixels(window->view, 0), 150);
}

// ---- the view keeps the reader's place ------------------------------------

TEST_F(EditViewPlaceTest, ZoomKeepsThePointUnderTheCentreAndFitWidthShowsTheWholeWidth) {
  open(pages(60));
  view()->setZoom(1.0);
  window->pageSpin->setValue(50);
  ASSERT_EQ(view()->currentPageIndex(), 49);
  // A jump shows the top of the page, not its bottom.
  EXPECT_NEAR(pageTopInViewport(49), 10, 2);

  // Scroll into the page a little so the centre lies on it away from edges.
  view()->verticalScrollBar()->setValue(view()->verticalScrollBar()->value() + 150);
  for (const QKeySequence& keys : {QKeySequence(QKeySequence::ZoomIn), QKeySequence(QKeySequence::ZoomOut),
                                   QKeySequence(QStringLiteral("Ctrl+2"))}) {
    SCOPED_TRACE(keys.toString().toStdString());
    const auto [page, point] = placeAt(viewportCentre());
    ASSERT_EQ(page, 49);
    QTest::keySequence(window.get(), keys);
    const auto [pageAfter, pointAfter] = placeAt(viewportCentre());
    EXPECT_EQ(pageAfter, 49);
    EXPECT_EQ(view()->currentPageIndex(), 49);
    EXPECT_NEAR(pointAfter.y(), point.y(), 2.0);
  }

  // Fit width from a large zoom: no horizontal scrolling, the page whole.
  view()->setZoom(2.02);
  QTest::keySequence(window.get(), QKeySequence(QStringLiteral("Ctrl+2")));
  QApplication::processEvents();
  EXPECT_EQ(view()->horizontalScrollBar()->maximum(), 0);
  const QRect page = view()->viewportRectForPageTopRect(49, QRectF(0, 0, 595, 842));
  EXPECT_GE(page.left(), 0);
  EXPECT_LE(page.right(), view()->viewport()->width());
}

TEST_F(EditViewPlaceTest, CtrlWheelKeepsThePointUnderThePointer) {
  open(pages(60));
  // Wider than the viewport, so that sideways too there is a place to keep.
  view()->setZoom(2.0);
  window->pageSpin->setValue(50);
  const QPoint pointer(view()->viewport()->width() / 3, view()->viewport()->height() / 3);
  const auto [page, point] = placeAt(pointer);
  ASSERT_EQ(page, 49);
  for (int step = 0; step < 3; ++step) {
    QWheelEvent wheel(QPointF(pointer), QPointF(view()->viewport()->mapToGlobal(pointer)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view()->viewport(), &wheel);
  }
  ASSERT_GT(view()->zoomFactor(), 2.5);
  const auto [pageAfter, pointAfter] = placeAt(pointer);
  EXPECT_EQ(pageAfter, 49);
  EXPECT_NEAR(pointAfter.x(), point.x(), 2.0);
  EXPECT_NEAR(pointAfter.y(), point.y(), 2.0);
}

TEST_F(EditViewPlaceTest, JumpsShowTheTopOfTheTargetPage) {
  open(pages(60));
  view()->setZoom(1.0);
  emit window->thumbnails->pageSelected(30);
  EXPECT_EQ(view()->currentPageIndex(), 30);
  EXPECT_NEAR(pageTopInViewport(30), 10, 2);

  window->pageSpin->setFocus();
  window->pageSpin->selectAll();
  QTest::keyClicks(window->pageSpin, QStringLiteral("45"));
  EXPECT_EQ(view()->currentPageIndex(), 44);
  EXPECT_NEAR(pageTopInViewport(44), 10, 2);

  // Back up the document as well.
  emit window->thumbnails->pageSelected(12);
  EXPECT_NEAR(pageTopInViewport(12), 10, 2);
}

// ---- the page counter -----------------------------------------------------

TEST(PageCountText, RussianPluralForms) {
  const struct {
    int count;
    const char* text;
  } cases[] = {{0, "0 страниц"},    {1, "1 страница"},   {2, "2 страницы"},   {4, "4 страницы"},
               {5, "5 страниц"},    {11, "11 страниц"},  {12, "12 страниц"},  {14, "14 страниц"},
               {21, "21 страница"}, {22, "22 страницы"}, {25, "25 страниц"},  {101, "101 страница"},
               {111, "111 страниц"}, {1002, "1002 страницы"}};
  for (const auto& c : cases) EXPECT_EQ(pageCountText(c.count, QStringLiteral("ru")), QString::fromUtf8(c.text));
  // Other languages have one form for one and another for the rest; each is
  // looked up by a Russian source text of the table.
  EXPECT_EQ(pageCountSourceText(1, QStringLiteral("en")), QStringLiteral("%1 страница"));
  EXPECT_EQ(pageCountSourceText(21, QStringLiteral("en")), QStringLiteral("%1 страниц"));
  EXPECT_EQ(pageCountSourceText(3, QStringLiteral("en")), QStringLiteral("%1 страниц"));
}

TEST_F(EditViewPlaceTest, PageCounterUsesThePluralForm) {
  open(pages(1));
  EXPECT_EQ(window->pageCountLabel->text(), "1 страница");
  open(pages(2));
  EXPECT_EQ(window->pageCountLabel->text(), "2 страницы");
  open(pages(5));
  EXPECT_EQ(window->pageCountLabel->text(), "5 страниц");
}

TEST_F(EditViewPlaceTest, F2FramesTheShortLabelsOfAFormPageInsteadOfRecognisingIt) {
  const QString path = dir.filePath(QStringLiteral("form.pdf"));
  const QByteArray text = textLine("F1", 12, 72, 720, "Name:") + textLine("F1", 12, 72, 690, "Date:");
  ASSERT_TRUE(writeRawPdf(path, {RawPage(text, {612, 792}, 0, "/Annots [<</Subtype/Widget/Rect[150 715 300 735]>>]")}));
  window = std::make_unique<PlaceWindow>(AppProduct::Editor);
  ASSERT_TRUE(showActive(window.get(), {1300, 900}));
  window->openFile(path);
  QTest::keyClick(window.get(), Qt::Key_F2);
  ASSERT_TRUE(pageBlocksRead(view()));
  EXPECT_EQ(view()->currentOcrBlocks().size(), 2u);
}

}  // namespace
