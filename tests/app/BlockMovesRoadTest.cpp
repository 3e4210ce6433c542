// Blocks leaving their place, walked with the mouse and keys on two pages of
// the gnuplot manual (pdfTeX, Computer Modern): a line dragged onto the next
// page or beside it, a line dragged by its body, Delete, the menu's "Удалить"
// and "Вырезать" with a paste and its undo, Ctrl+X on clicked and
// rubber-banded lines, the caret a click into a line puts where the typed
// text goes, and the word a double click selects; and a line cut on one page,
// pasted on another and dragged onto the top of a third. Every case that
// changes the page saves with Ctrl+S and reads the file back with pdftotext
// and qpdf (and pdftoppm where it matters what shows).
#include "EditedPageFixture.h"
#include "RibbonTestWindow.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"
#include "core/PopplerOracles.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSemaphore>
#include <QThreadPool>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QWindow>

#include <memory>

using namespace apptest;
using namespace testsupport;

namespace {

const QString kManual = QStringLiteral("/usr/share/doc/gnuplot/gnuplot.pdf");
constexpr double kPageHeight = 792;

// The baseline of a word without descenders, in points from the page's top:
// the lowest row of ink under its box in poppler's rendering at 288 dpi. It
// does not depend on the font's ascent and descent, which differ between the
// page's face and the one edited text is written in.
double inkBaseline(const QString& file, int page, const QRectF& word) {
  constexpr double kScale = 4.0;  // pixels per point
  const QImage image = oracles::renderWithPoppler(file, page, 288);
  if (image.isNull()) return -1;
  const double top = kPageHeight - word.bottom();
  const int x0 = int((word.left() + 1) * kScale), x1 = int((word.right() - 1) * kScale);
  const int y0 = int((top - 2) * kScale), y1 = int((top + word.height() + 2) * kScale);
  int lowest = -1;
  for (int y = std::max(y0, 0); y <= y1 && y < image.height(); ++y)
    for (int x = std::max(x0, 0); x <= x1 && x < image.width(); ++x)
      if (qGray(image.pixel(x, y)) < 128) {
        lowest = y;
        break;
      }
  return lowest < 0 ? -1 : (lowest + 1) / kScale;
}

// Viewport columns holding a run of at least `length` pixels of the caret's colour.
QList<int> caretColumns(const QImage& shot, int length) {
  const QRgb caret = qRgb(15, 23, 42);
  QList<int> columns;
  for (int x = 0; x < shot.width(); ++x) {
    int run = 0, best = 0;
    for (int y = 0; y < shot.height(); ++y) {
      run = (shot.pixel(x, y) & 0xFFFFFF) == (caret & 0xFFFFFF) ? run + 1 : 0;
      best = std::max(best, run);
    }
    if (best >= length) columns << x;
  }
  return columns;
}

class BlockMovesRoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!QFile::exists(kManual) || !hasTool("qpdf") || !hasTool("pdftotext"))
      GTEST_SKIP() << "gnuplot-doc, qpdf or poppler-utils missing";
    useCleanSettings();
    ASSERT_TRUE(dir.isValid());
    path = dir.filePath(QStringLiteral("manual.pdf"));
    // Pages of running text: the introduction of the command language.
    ASSERT_EQ(runTool("qpdf", {kManual, "--pages", kManual, pages, "--", path}), 0);
    original = dir.filePath(QStringLiteral("original.pdf"));
    ASSERT_TRUE(QFile::copy(path, original));
    window = std::make_unique<RibbonWindow>();
    ASSERT_TRUE(showActive(window.get(), {1300, 950}));
    window->openFile(path);
    ASSERT_TRUE(window->currentDocument->isOpen());
  }

  void TearDown() override { window.reset(); }

  PdfView* view() const { return window->view; }
  QWidget* vp() const { return window->view->viewport(); }

  void editMode(double zoom) {
    view()->setZoom(zoom);
    view()->showPageTop(0);
    QTest::keyClick(window.get(), Qt::Key_F2);
    ASSERT_TRUE(window->editMode);
    ASSERT_TRUE(pageBlocksRead(view()));
  }

  int blockWith(const QString& text) const {
    const std::vector<TextBlock>& blocks = view()->currentOcrBlocks();
    for (size_t i = 0; i < blocks.size(); ++i)
      if (blocks[i].text.contains(text)) return int(i);
    return -1;
  }

  // A point on the block's first word: its body, away from the frame's edge.
  QPoint bodyOf(int block) const {
    const QRectF r =
        view()->pdfRectToScreenRect(view()->ocrBlocksPageIndex(), view()->currentOcrBlocks()[size_t(block)].rect);
    return QPoint(int(r.left()) + 12, int(r.center().y()));
  }

  void press(const QKeySequence& keys) {
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window.get();
    QTest::keySequence(target, keys);
  }

  // What the screen would hand a click at this point of the page view: the
  // widget under it (the open block's editor lies over the page).
  QWidget* under(const QPoint& at) const {
    QWidget* child = vp()->childAt(at);
    return child ? child : vp();
  }

  // A left drag as a hand makes it: press, a few steps, release, all to the
  // widget pressed, which holds the mouse; it may move meanwhile.
  void drag(const QPoint& from, const QPoint& to) {
    QWidget* grabber = under(from);
    QTest::mousePress(grabber, Qt::LeftButton, {}, grabber->mapFrom(vp(), from));
    for (int step = 1; step <= 6; ++step)
      QTest::mouseMove(grabber, grabber->mapFrom(vp(), from + (to - from) * step / 6));
    QTest::mouseRelease(grabber, Qt::LeftButton, {}, grabber->mapFrom(vp(), to));
  }

  void click(const QPoint& at) {
    QWidget* target = under(at);
    QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(vp(), at));
  }

  // The viewport point between two words of a line of the first page, as
  // poppler boxes them.
  QPoint between(const QRectF& left, const QRectF& right) const {
    return view()->viewportPointForPageTopPoint(
        0, QPointF((left.right() + right.left()) / 2, kPageHeight - right.center().y()));
  }

  // A click into the selected line opens it for typing and draws one caret,
  // where the click was; its column.
  void clickOpensCaretAt(const QPoint& at, int* column) {
    click(at);
    ASSERT_TRUE(view()->activeBlockOpenedForTyping());
    const QList<int> columns = caretColumns(vp()->grab().toImage(), 8);
    ASSERT_EQ(columns.size(), 1);
    EXPECT_LE(std::abs(columns.first() - at.x()), 2) << columns.first() << " " << at.x();
    *column = columns.first();
  }

  // Right-clicks where a user would and chooses `item` in the menu that opens;
  // returns the item texts of every menu that opened meanwhile.
  QList<QStringList> chooseFromMenu(const QPoint& at, const QString& item) {
    auto menus = std::make_shared<QList<QStringList>>();
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [menus, item] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      QStringList texts;
      QAction* chosen = nullptr;
      for (QAction* action : menu->actions()) {
        if (action->isSeparator()) continue;
        texts << action->text();
        if (action->text() == item && menus->isEmpty()) chosen = action;
      }
      menus->append(texts);
      if (chosen) {
        // As a user picks it: the item highlighted, then Enter.
        menu->setActiveAction(chosen);
        QTest::keyClick(menu, Qt::Key_Return);
      } else {
        menu->close();
      }
    });
    poll.start();
    // As the X11 platform does it: the press, then a context-menu event to
    // the widget under the pointer, then the release.
    QWidget* target = under(at);
    const QPoint local = target->mapFrom(vp(), at);
    QPointer<QWidget> guarded(target);
    QTest::mousePress(target, Qt::RightButton, {}, local);
    if (guarded) {
      QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, local, target->mapToGlobal(local));
      QApplication::sendEvent(target, &menuEvent);
    }
    if (guarded) QTest::mouseRelease(target, Qt::RightButton, {}, local);
    // Let a second menu, if one follows the first, open and be seen.
    for (int i = 0; i < 10; ++i) {
      QTest::qWait(20);
      QApplication::processEvents();
    }
    poll.stop();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    return *menus;
  }

  // A double click as the screen hands it over: every press to the window,
  // which gives it to whatever widget lies under the pointer at that moment.
  void doubleClick(const QPoint& at) {
    QWindow* handle = window->windowHandle();
    QTest::mouseDClick(handle, Qt::LeftButton, {}, handle->mapFromGlobal(vp()->mapToGlobal(at)));
  }

  void save() {
    press(QKeySequence::Save);
    ASSERT_EQ(window->statusLabel->text(), "Сохранено");
    ASSERT_TRUE(oracles::qpdfCheckPasses(path));
    if (view()->isEditMode()) {
      ASSERT_TRUE(pageBlocksRead(view()));
    }
  }

  static int occurrences(const QStringList& pages, const QString& text) {
    int count = 0;
    for (const QString& page : pages) count += int(page.count(text));
    return count;
  }

  QString pages = QStringLiteral("22-23");
  QTemporaryDir dir;
  QString path;
  QString original;
  std::unique_ptr<RibbonWindow> window;
};

// Three pages, the third of them a list of what is new.
class DroppedLineRoadTest : public BlockMovesRoadTest {
 protected:
  DroppedLineRoadTest() { pages = QStringLiteral("22-24"); }
};

// Dark pixels of a rendering inside a top-origin box (points) at `scale` pixels a point.
int inkIn(const QImage& image, const QRectF& box, double scale) {
  const QRect r = QRectF(box.topLeft() * scale, box.size() * scale).toAlignedRect().intersected(image.rect());
  int ink = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if (qGray(image.pixel(x, y)) < 128) ++ink;
  return ink;
}

// ---- a line dropped on the next page --------------------------------------

TEST_F(BlockMovesRoadTest, ALineDraggedOntoTheNextPageIsWrittenWhereItWasDroppedAndNowhereElse) {
  window->resize(1300, 1150);
  editMode(1.0);
  // The last lines of the first page and the top of the second in sight,
  // the first still the page being edited.
  view()->showPageAt(0, 300);
  ASSERT_EQ(view()->ocrBlocksPageIndex(), 0);
  const int line = blockWith("Another resource for help");
  ASSERT_GE(line, 0);
  // Its first word places it; its second, without descenders, gives the baseline.
  const QRectF wasFirst = oracles::wordBoxes(original, 0, "Another", kPageHeight).value(0);
  const QRectF was = oracles::wordBoxes(original, 0, "resource", kPageHeight).value(0);
  ASSERT_FALSE(was.isEmpty() || wasFirst.isEmpty());

  // From the line's body to a free place near the top of the next page.
  const QPoint from = bodyOf(line);
  const QPoint to = view()->viewportPointForPageTopPoint(1, QPointF(150, 290));
  ASSERT_EQ(view()->pageAtPoint(to), 1);
  ASSERT_TRUE(vp()->rect().contains(from) && vp()->rect().contains(to));
  // The drag's pixels are the page's points at this zoom.
  const QPointF expected = QPointF(wasFirst.x(), kPageHeight - wasFirst.bottom()) +
                           (view()->viewToPage(1, to).topLeft() - view()->viewToPage(0, from).topLeft());
  drag(from, to);
  EXPECT_EQ(view()->ocrBlocksPageIndex(), 1);
  save();

  const QStringList pages = oracles::pageTexts(path);
  ASSERT_EQ(pages.size(), 2);
  EXPECT_FALSE(pages[0].contains("Another resource for help")) << pages[0].toStdString();
  EXPECT_TRUE(pages[1].contains("Another resource for help with specific plotting problems")) << pages[1].toStdString();
  EXPECT_EQ(occurrences(pages, "Another resource"), 1);
  // The rest of both pages stays.
  EXPECT_TRUE(pages[0].contains("Before seeking help, please check file FAQ.pdf"));
  EXPECT_TRUE(pages[1].contains("Bug reports and feature requests"));

  const QList<QRectF> first = oracles::wordBoxes(path, 1, "Another", kPageHeight);
  const QList<QRectF> now = oracles::wordBoxes(path, 1, "resource", kPageHeight);
  ASSERT_EQ(first.size(), 1);
  ASSERT_EQ(now.size(), 1);
  // Where it was dropped: its left edge, and its baseline as far below the
  // drop point as it was below the line's top on its own page.
  EXPECT_NEAR(first[0].x(), expected.x(), 0.5);
  const double oldBaseline = inkBaseline(original, 0, was);
  const double newBaseline = inkBaseline(path, 1, now[0]);
  ASSERT_GT(oldBaseline, 0);
  ASSERT_GT(newBaseline, 0);
  // Within a pixel of the drag at this zoom: the pointer places it to the pixel.
  EXPECT_NEAR(newBaseline - expected.y(), oldBaseline - (kPageHeight - wasFirst.bottom()), 1.01);
}

// ---- a line moved by its body ---------------------------------------------

TEST_F(BlockMovesRoadTest, ALineDraggedByItsBodyLandsWhereItWasDropped) {
  editMode(1.0);
  view()->showPageAt(0, 250);
  const int line = blockWith("available topics.");
  ASSERT_GE(line, 0);
  const QRectF was = oracles::wordBoxes(original, 0, "available", kPageHeight).value(0);
  ASSERT_FALSE(was.isEmpty());

  // Dropped in the grey beside the page, where no page would take it, it
  // goes back where it was.
  const QRectF place = view()->currentOcrBlocks()[size_t(line)].rect;
  const QRectF paper = view()->pdfRectToScreenRect(0, QRectF(QPointF(0, 0), window->currentDocument->pageSize(0)));
  const QPointF centre = view()->pdfRectToScreenRect(0, place).center();
  const QPoint grey(int(paper.left()) - 40, int(centre.y()));
  ASSERT_LT(view()->pageAtPoint(grey), 0);
  const QPoint start = bodyOf(line);
  const QPoint beside = start + QPoint(grey.x() - int(centre.x()), 0);
  ASSERT_TRUE(vp()->rect().contains(beside));
  drag(start, beside);
  EXPECT_EQ(view()->ocrBlocksPageIndex(), 0);
  ASSERT_EQ(blockWith("available topics."), line);
  EXPECT_EQ(view()->currentOcrBlocks()[size_t(line)].rect, place);
  press(QKeySequence(Qt::Key_Escape));

  // Selected by a click, the block is not open for typing: its body moves it,
  // here along its row into the free paper beside it, a little lower.
  click(bodyOf(line));
  ASSERT_EQ(view()->activeOcrBlockIndex(), line);
  ASSERT_FALSE(view()->activeBlockOpenedForTyping());
  const QPoint from = bodyOf(line);
  drag(from, from + QPoint(300, 4));
  save();

  const QStringList pages = oracles::pageTexts(path);
  EXPECT_EQ(occurrences(pages, "available topics."), 1) << pages[0].toStdString();
  const QList<QRectF> now = oracles::wordBoxes(path, 0, "topics.", kPageHeight);
  ASSERT_EQ(now.size(), 1);
  QRectF first;  // "available" of the moved line: the one right of the column's start
  for (const QRectF& box : oracles::wordBoxes(path, 0, "available", kPageHeight))
    if (box.x() > 300) first = box;
  ASSERT_FALSE(first.isEmpty());
  EXPECT_NEAR(now[0].x() - oracles::wordBoxes(original, 0, "topics.", kPageHeight).value(0).x(), 300.0, 0.5);
  const double oldBaseline = inkBaseline(original, 0, was);
  const double newBaseline = inkBaseline(path, 0, first);
  ASSERT_GT(oldBaseline, 0);
  ASSERT_GT(newBaseline, 0);
  EXPECT_NEAR(newBaseline - oldBaseline, 4.0, 0.5);
}

// ---- Delete, the menu's "Удалить", "Вырезать" and a paste -----------------

TEST_F(BlockMovesRoadTest, DeleteAndTheMenuRemoveBlocksAndACutBlockIsPastedWhereClicked) {
  editMode(1.0);
  const int first = blockWith("embedded in web pages");
  ASSERT_GE(first, 0);
  const QString firstText = view()->currentOcrBlocks()[size_t(first)].text;

  // Delete on a selected block removes it; Ctrl+Z brings it back; Delete again.
  click(bodyOf(first));
  ASSERT_EQ(view()->activeOcrBlockIndex(), first);
  press(QKeySequence(Qt::Key_Delete));
  EXPECT_LT(blockWith(firstText), 0);
  press(QKeySequence::Undo);
  EXPECT_GE(blockWith(firstText), 0);
  click(bodyOf(blockWith(firstText)));
  press(QKeySequence(Qt::Key_Delete));
  ASSERT_LT(blockWith(firstText), 0);

  // The menu's "Удалить": one menu, in the interface language.
  const int second = blockWith("ambiguous");
  ASSERT_GE(second, 0);
  const QString secondText = view()->currentOcrBlocks()[size_t(second)].text;
  const QList<QStringList> menus = chooseFromMenu(bodyOf(second), "Удалить");
  ASSERT_EQ(menus.size(), 1) << menus.value(1).join(", ").toStdString();
  EXPECT_TRUE(menus[0].contains("Вырезать"));
  EXPECT_TRUE(menus[0].contains("Копировать"));
  EXPECT_LT(blockWith(secondText), 0);

  // "Вырезать", a click on free paper, Ctrl+V: the block goes there.
  const int third = blockWith("Strings may be set off");
  ASSERT_GE(third, 0);
  const QString thirdText = view()->currentOcrBlocks()[size_t(third)].text;
  const QRectF thirdRect = view()->currentOcrBlocks()[size_t(third)].rect;
  const double thirdTop = kPageHeight - thirdRect.bottom();  // the block's top, from the page's top
  // Selected first: the right click lands on its editor, which brings the
  // block menu too, and no editor menu after it.
  click(bodyOf(third));
  ASSERT_EQ(view()->activeOcrBlockIndex(), third);
  const QList<QStringList> onEditor = chooseFromMenu(bodyOf(third), "Вырезать");
  ASSERT_EQ(onEditor.size(), 1) << onEditor.value(1).join(", ").toStdString();
  EXPECT_TRUE(onEditor[0].contains("Удалить"));
  EXPECT_LT(blockWith(thirdText), 0);
  // The text of the page scrolled to is held back, as a busy machine holds
  // it: its one reader is kept busy until the paste is done.
  QSemaphore readerHeld;
  bool held = true;
  const auto letGo = qScopeGuard([&] { if (held) readerHeld.release(); });  // a failed check must not hang the window
  ASSERT_NE(window->pageTextPool, nullptr);
  window->pageTextPool->start([&readerHeld] { readerHeld.acquire(); });
  view()->showPageAt(0, 600);
  ASSERT_EQ(view()->currentPageIndex(), 1);
  // Below the last line, where the line fits as wide as it is.
  const QPoint free = view()->viewportPointForPageTopPoint(0, QPointF(100, 745));
  ASSERT_TRUE(vp()->rect().contains(free));
  click(free);
  const std::vector<TextBlock> beforePaste = view()->currentOcrBlocks();
  press(QKeySequence::Paste);
  EXPECT_GE(blockWith(thirdText), 0);
  EXPECT_EQ(window->statusLabel->text(), "Блоки вставлены на стр. 1");
  // The read let go ends late: the paste stays.
  readerHeld.release();
  held = false;
  window->pageTextPool->waitForDone();
  QCoreApplication::processEvents();
  EXPECT_GE(blockWith(thirdText), 0);
  EXPECT_EQ(view()->ocrBlocksPageIndex(), 0);
  // Ctrl+Z takes the paste back, and nothing else.
  press(QKeySequence::Undo);
  EXPECT_LT(blockWith(thirdText), 0);
  const std::vector<TextBlock> undone = view()->currentOcrBlocks();
  ASSERT_EQ(undone.size(), beforePaste.size());
  for (size_t i = 0; i < undone.size(); ++i) {
    EXPECT_EQ(undone[i].text, beforePaste[i].text);
    EXPECT_EQ(undone[i].rect, beforePaste[i].rect);
  }
  click(free);
  const QPointF dropped = view()->viewToPage(0, free).topLeft();
  press(QKeySequence::Paste);
  EXPECT_GE(blockWith(thirdText), 0);
  save();

  const QStringList pages = oracles::pageTexts(path);
  ASSERT_EQ(pages.size(), 2);
  EXPECT_EQ(occurrences(pages, "embedded in web pages"), 0) << pages[0].toStdString();
  EXPECT_EQ(occurrences(pages, "ambiguous"), 0) << pages[0].toStdString();
  EXPECT_EQ(occurrences(pages, "Strings may be set off"), 1) << pages[0].toStdString();
  const QList<QRectF> pasted = oracles::wordBoxes(path, 0, "Strings", kPageHeight);
  ASSERT_EQ(pasted.size(), 1);
  // Its baseline (read on a word without descenders) as far below the click
  // as it stood below the top of its block.
  const QList<QRectF> wasWord = oracles::wordBoxes(original, 0, "either", kPageHeight);
  const QList<QRectF> nowWord = oracles::wordBoxes(path, 0, "either", kPageHeight);
  ASSERT_EQ(wasWord.size(), 1);
  ASSERT_EQ(nowWord.size(), 1);
  const double oldBaseline = inkBaseline(original, 0, wasWord[0]);
  const double newBaseline = inkBaseline(path, 0, nowWord[0]);
  ASSERT_GT(oldBaseline, 0);
  ASSERT_GT(newBaseline, 0);
  EXPECT_NEAR(newBaseline - dropped.y(), oldBaseline - thirdTop, 0.5);
  // Neighbours stay.
  EXPECT_TRUE(pages[0].contains("The command language of gnuplot is case sensitive"));
}

// ---- the caret of a click into a line --------------------------------------

TEST_F(BlockMovesRoadTest, AClickIntoALineDrawsTheCaretWhereTheTypedTextGoes) {
  editMode(1.0);
  view()->showPageAt(0, 250);
  const int line = blockWith("available topics.");
  ASSERT_GE(line, 0);
  const QRectF first = oracles::wordBoxes(original, 0, "available", kPageHeight).value(0);
  const QRectF second = oracles::wordBoxes(original, 0, "topics.", kPageHeight).value(0);
  ASSERT_FALSE(first.isEmpty() || second.isEmpty());
  const QPoint at = between(first, second);

  // The first click selects the line (no caret), the second opens it there.
  click(bodyOf(line));
  ASSERT_FALSE(view()->activeBlockOpenedForTyping());
  EXPECT_TRUE(caretColumns(vp()->grab().toImage(), 8).isEmpty());
  int column = -1;
  ASSERT_NO_FATAL_FAILURE(clickOpensCaretAt(at, &column));

  // What is typed goes in there, and the caret moves on past it.
  QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("QZ"));
  const QList<int> moved = caretColumns(vp()->grab().toImage(), 8);
  ASSERT_EQ(moved.size(), 1);
  EXPECT_GT(moved.first(), column + 4);
  const QString typed = view()->ocrBlocksToWrite()[size_t(line)].text;
  EXPECT_TRUE(typed == "availableQZ topics." || typed == "available QZtopics.") << typed.toStdString();
  save();
  EXPECT_TRUE(oracles::pageTexts(path).value(0).contains(typed));

  // After the save the line is the page's own again: a click into it puts the
  // caret there too, and what is typed goes there.
  const int again = blockWith(typed);
  ASSERT_GE(again, 0);
  const QRectF left = oracles::wordBoxes(path, 0, typed.section(' ', 0, 0), kPageHeight).value(0);
  const QRectF right = oracles::wordBoxes(path, 0, typed.section(' ', 1), kPageHeight).value(0);
  ASSERT_FALSE(left.isEmpty() || right.isEmpty());
  click(bodyOf(again));
  ASSERT_NO_FATAL_FAILURE(clickOpensCaretAt(between(left, right), &column));
  QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("!"));
  const QString retyped = view()->ocrBlocksToWrite()[size_t(again)].text;
  EXPECT_TRUE(retyped == QString(typed).replace(" ", "! ") || retyped == QString(typed).replace(" ", " !"))
      << retyped.toStdString();
}

// ---- a line cut, pasted and dropped on the top of another page -----------

TEST_F(DroppedLineRoadTest, ALineDroppedOverAPageNumberHidesAndRemovesNothingThere) {
  window->resize(1300, 1150);
  editMode(1.0);
  // Cut on the third page, with the block menu: one line.
  view()->showPageTop(2);
  ASSERT_EQ(view()->ocrBlocksPageIndex(), 2);
  const int cut = blockWith(QStringLiteral("Customized contour line types."));
  ASSERT_GE(cut, 0);
  const QString moved = view()->currentOcrBlocks()[size_t(cut)].text;
  ASSERT_FALSE(moved.contains('\n'));
  click(bodyOf(cut));
  ASSERT_EQ(view()->activeOcrBlockIndex(), cut);
  chooseFromMenu(bodyOf(cut), "Вырезать");
  ASSERT_LT(blockWith(moved), 0);

  // Pasted on the free paper below the first page's text.
  view()->showPageAt(0, 500);
  const QPoint free = view()->viewportPointForPageTopPoint(0, QPointF(72, 752));
  ASSERT_TRUE(vp()->rect().contains(free));
  click(free);
  press(QKeySequence::Paste);
  const int pasted = blockWith(moved);
  ASSERT_GE(pasted, 0);
  ASSERT_EQ(view()->ocrBlocksPageIndex(), 0);

  // Dragged by its body onto the second page's header, its end over the page number.
  const QRectF target = [&] {
    for (const Word& w : bboxWords(original, 2))
      if (w.text == "23") return w.box;
    return QRectF();
  }();
  ASSERT_FALSE(target.isEmpty());
  const QRectF block = view()->pdfRectToScreenRect(0, view()->currentOcrBlocks()[size_t(pasted)].rect);
  const QPoint from = bodyOf(pasted);
  const QPoint corner = view()->viewportPointForPageTopPoint(1, QPointF(target.right() + 4 - block.width(), 56));
  const QPoint to = from + (corner - block.topLeft().toPoint());
  ASSERT_TRUE(vp()->rect().contains(from) && vp()->rect().contains(to));
  ASSERT_EQ(view()->pageAtPoint(to), 1);
  drag(from, to);
  ASSERT_EQ(view()->ocrBlocksPageIndex(), 1);
  ASSERT_GE(blockWith(moved), 0);

  // The editor still shows the page number under the dropped line.
  for (int i = 0; i < 20; ++i) QTest::qWait(25);
  const QImage shown = vp()->grab().toImage();
  const QPoint number = view()->viewportPointForPageTopPoint(1, target.topLeft());
  const QRectF numberOnScreen(QPointF(number), target.size());
  EXPECT_GT(inkIn(shown, numberOnScreen, 1.0), 10);
  save();

  // Every word of the second page is still its text, the moved line with them.
  QStringList texts = oracles::pageTexts(path);
  ASSERT_EQ(texts.size(), 3);
  for (QString& text : texts) text = text.simplified();
  EXPECT_EQ(occurrences(texts, moved.simplified()), 1);
  EXPECT_TRUE(texts[1].contains(moved.simplified())) << texts[1].toStdString();
  const QList<Word> before = bboxWords(original, 2);
  const QList<Word> after = bboxWords(path, 2);
  QStringList now;
  for (const Word& w : after) now << w.text;
  for (const Word& w : before) {
    const qsizetype at = now.indexOf(w.text);
    EXPECT_GE(at, 0) << w.text.toStdString();
    if (at >= 0) now.removeAt(at);
  }
  QStringList added = moved.simplified().split(' ');
  now.sort();
  added.sort();
  EXPECT_EQ(now, added);

  // Where the line was dropped, as poppler reads it.
  QRectF dropped;
  for (const Word& w : after)
    if (w.box.top() < 80 && added.contains(w.text)) dropped = dropped.united(w.box);
  ASSERT_FALSE(dropped.isEmpty());
  EXPECT_LT(dropped.top(), target.bottom());
  EXPECT_NEAR(dropped.right(), target.right() + 4, 6);
  // Every word outside the line's own box shows in the rendering as before.
  constexpr double kScale = 2.0;
  const QImage was = oracles::renderWithPoppler(original, 1, 144);
  const QImage is = oracles::renderWithPoppler(path, 1, 144);
  ASSERT_FALSE(was.isNull() || is.isNull());
  const QRectF own = dropped.adjusted(-1.5, -1.5, 1.5, 1.5);
  ASSERT_TRUE(own.intersects(target));
  int compared = 0;
  for (const Word& w : before) {
    if (w.box.intersects(own)) continue;
    ++compared;
    EXPECT_GE(inkIn(is, w.box, kScale), inkIn(was, w.box, kScale) * 9 / 10) << w.text.toStdString();
  }
  EXPECT_GT(compared, 40);
  // The page number under the line is drawn there too, not painted over.
  EXPECT_GE(inkIn(is, target, kScale), inkIn(was, target, kScale));
}

// ---- Ctrl+X, a paste at the page's corner, a short line moved by its body -

TEST_F(BlockMovesRoadTest, CtrlXCutsWhatIsSelectedAndAPasteStaysOnThePage) {
  editMode(1.0);
  // A line selected by a click: Ctrl+X cuts it, as the menu's "Вырезать" does.
  const int first = blockWith("embedded in web pages");
  ASSERT_GE(first, 0);
  const QString firstText = view()->currentOcrBlocks()[size_t(first)].text;
  click(bodyOf(first));
  ASSERT_EQ(view()->activeOcrBlockIndex(), first);
  press(QKeySequence::Cut);
  EXPECT_LT(blockWith(firstText), 0);
  EXPECT_EQ(window->statusLabel->text(), "Вырезано: 1 блок");

  // Two lines taken by a rubber band drawn from the margin: Ctrl+X cuts both.
  const int a = blockWith("The command language of gnuplot");
  const int b = blockWith("are not the same as those");
  const int c = blockWith("abbreviation is not ambiguous");
  ASSERT_TRUE(a >= 0 && b >= 0 && c >= 0);
  const QString aText = view()->currentOcrBlocks()[size_t(a)].text;
  const QString bText = view()->currentOcrBlocks()[size_t(b)].text;
  // The band encloses the two blocks as the view frames them, and not the next.
  const QRect ra = view()->ocrBlockScreenRect(a);
  const QRect rb = view()->ocrBlockScreenRect(b);
  const QRect rc = view()->ocrBlockScreenRect(c);
  const QPoint from(std::min(ra.left(), rb.left()) - 20, ra.top() - 3);
  const QPoint to(std::max(ra.right(), rb.right()) + 8, rb.bottom() + 2);
  ASSERT_LT(to.y(), rc.bottom());
  ASSERT_LT(view()->hoveredOcrBlock(from), 0);
  drag(from, to);
  ASSERT_EQ(view()->selectedOcrBlockIndices(), QSet<int>({a, b}));
  press(QKeySequence::Cut);
  EXPECT_LT(blockWith(aText), 0);
  EXPECT_LT(blockWith(bText), 0);
  EXPECT_EQ(window->statusLabel->text(), "Вырезано: 2 блока");

  // A press on the body of a selected one-line block moves it, also on the
  // upper half of its words, where a taller block has its top handle.
  view()->showPageAt(0, 250);
  const int line = blockWith("available topics.");
  ASSERT_GE(line, 0);
  const QRectF place = view()->currentOcrBlocks()[size_t(line)].rect;
  click(bodyOf(line));
  ASSERT_EQ(view()->activeOcrBlockIndex(), line);
  const QRect frame = view()->ocrBlockScreenRect(line);
  const QPoint upper(frame.center().x(), frame.top() + 3);
  drag(upper, upper + QPoint(250, 0));
  const QRectF moved = view()->currentOcrBlocks()[size_t(line)].rect;
  EXPECT_NEAR(moved.left() - place.left(), 250, 1.01);
  EXPECT_NEAR(moved.top(), place.top(), 1.01);
  EXPECT_NEAR(moved.height(), place.height(), 0.5);

  // Pasted at a click near the page's lower right corner, the two lines stay
  // on the page, wide as they are.
  view()->showPageAt(0, 600);
  const QPoint corner = view()->viewportPointForPageTopPoint(0, QPointF(590, 775));
  ASSERT_TRUE(vp()->rect().contains(corner));
  ASSERT_LT(view()->hoveredOcrBlock(corner), 0);
  click(corner);
  press(QKeySequence::Paste);
  EXPECT_EQ(window->statusLabel->text(), "Блоки вставлены на стр. 1");
  for (const QString& text : {aText, bText}) {
    const int pasted = blockWith(text);
    ASSERT_GE(pasted, 0);
    const QRectF r = view()->currentOcrBlocks()[size_t(pasted)].rect;
    EXPECT_LE(r.right(), 612.01);
    EXPECT_GE(r.top(), -0.01);  // y grows upwards: top() is the lower edge
  }
  save();

  const QStringList pages = oracles::pageTexts(path);
  EXPECT_EQ(occurrences(pages, "embedded in web pages"), 0) << pages[0].toStdString();
  EXPECT_EQ(occurrences(pages, "The command language of gnuplot"), 1) << pages[0].toStdString();
  EXPECT_EQ(occurrences(pages, "are not the same as those"), 1) << pages[0].toStdString();
  EXPECT_EQ(occurrences(pages, "available topics."), 1) << pages[0].toStdString();
  // Every word of the page is read inside it.
  const QString boxes = oracles::pageText(path, 0, {"-bbox"});
  static const QRegularExpression right(QStringLiteral("xMax=\"([\\d.]+)\""));
  for (auto it = right.globalMatch(boxes); it.hasNext();) EXPECT_LE(it.next().captured(1).toDouble(), 612.5);
  const QList<QRectF> topics = oracles::wordBoxes(path, 0, "topics.", kPageHeight);
  ASSERT_EQ(topics.size(), 1);
  EXPECT_NEAR(topics[0].x() - oracles::wordBoxes(original, 0, "topics.", kPageHeight).value(0).x(), 250.0, 1.01);
}

// ---- a double click selects the word under the pointer ---------------------

TEST_F(BlockMovesRoadTest, ADoubleClickSelectsTheWordUnderThePointerAndHighlightsIt) {
  editMode(1.0);
  view()->showPageAt(0, 20);
  const QString line = QStringLiteral("The command language of gnuplot is case sensitive");
  const int block = blockWith(line);
  ASSERT_GE(block, 0);
  for (const QString& word : {QStringLiteral("language"), QStringLiteral("function")}) {
    SCOPED_TRACE(word.toStdString());
    const QList<QRectF> boxes = oracles::wordBoxes(original, 0, word, kPageHeight);
    ASSERT_EQ(boxes.size(), 1);
    const QRectF box = view()->pdfRectToScreenRect(0, boxes[0]);
    const QPoint at = box.center().toPoint();
    const QRect region = box.toAlignedRect();

    // The first click selects the line and leaves its words where they were.
    const QImage before = vp()->grab().toImage();
    click(at);
    ASSERT_EQ(view()->activeOcrBlockIndex(), block);
    const QImage selected = vp()->grab().toImage();
    double diff = 0;
    int counted = 0;
    for (int y = region.top(); y <= region.bottom(); ++y)
      for (int x = region.left(); x <= region.right(); ++x) {
        const QRgb p = selected.pixel(x, y);
        if (qBlue(p) > qRed(p) + 40) continue;  // the frame's blue chrome
        diff += std::abs(qGray(p) - qGray(before.pixel(x, y)));
        ++counted;
      }
    ASSERT_GT(counted, 0);
    EXPECT_LT(diff / counted, 8.0) << "the line was drawn anew under the pointer";
    press(QKeySequence(Qt::Key_Escape));
    ASSERT_LT(view()->activeOcrBlockIndex(), 0);

    // A double click takes the word under the pointer and tints it.
    doubleClick(at);
    ASSERT_EQ(view()->activeOcrBlockIndex(), block);
    QTextEdit* editor = view()->activeTextEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->textCursor().selectedText(), word);
    const QImage shot = vp()->grab().toImage();
    const int row = int(box.center().y());
    int left = -1, rightmost = -1;
    for (int x = region.left() - 15; x <= region.right() + 15; ++x) {
      const QRgb p = shot.pixel(x, row);
      if (qBlue(p) <= qRed(p) + 40) continue;
      if (left < 0) left = x;
      rightmost = x;
    }
    EXPECT_NEAR(left, box.left(), 3.0);
    EXPECT_NEAR(rightmost, box.right(), 3.0);
    press(QKeySequence(Qt::Key_Escape));
    press(QKeySequence(Qt::Key_Escape));
  }
}

}  // namespace
