// Operations on selected blocks, driven the way the user reaches them:
// clicks, rubber bands and keys on the viewport, the frame's own drags.
#include "BlockViewFixture.h"

#include "core/TurnedRect.h"
#include "view/BlockEditorFrame.h"

#include <QSignalSpy>
#include <QStringList>
#include <QTest>

using namespace blocktest;

namespace {

// Five blocks named B0..B4 stacked down the page, each in its own group id
// 10 + i so that the group ids' travel is visible.
std::vector<TextBlock> fiveBlocks() {
  std::vector<TextBlock> blocks;
  for (int i = 0; i < 5; ++i)
    blocks.push_back(nativeBlock(QStringLiteral("B%1").arg(i), QRectF(60, 760 - 60 * i, 160, 24)));
  return blocks;
}

QStringList namesOf(const std::vector<TextBlock>& blocks) {
  QStringList names;
  for (const TextBlock& b : blocks) names.append(b.text);
  return names;
}

QList<int> sorted(const QSet<int>& set) {
  QList<int> list(set.begin(), set.end());
  std::sort(list.begin(), list.end());
  return list;
}

QPoint centreOf(const QRectF& r) { return r.center().toPoint(); }

}  // namespace

class BlockOpsTest : public BlockViewTest {
protected:
  void loadFive() {
    view->setEditMode(true);
    view->setOcrBlocks(fiveBlocks(), 0, false);
    for (int i = 0; i < 5; ++i) A::mutableGroupIds(*view)[std::size_t(i)] = 10 + i;
  }
  QWidget* vp() const { return view->viewport(); }
};

TEST_F(BlockOpsTest, ReorderMovesSelectedBlocksWithTheirGroupsAndSelection) {
  struct Case {
    int mode;
    QSet<int> selected;
    QStringList order;
    QList<int> selectionAfter;
  };
  const QList<Case> cases = {
      {0, {1, 2}, {"B0", "B3", "B1", "B2", "B4"}, {2, 3}},
      {0, {4}, {"B0", "B1", "B2", "B3", "B4"}, {4}},
      {1, {0, 2}, {"B0", "B2", "B1", "B3", "B4"}, {0, 1}},
      {2, {0, 3}, {"B1", "B2", "B4", "B0", "B3"}, {3, 4}},
      {3, {2, 4}, {"B2", "B4", "B0", "B1", "B3"}, {0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.order.join(' ').toStdString());
    loadFive();
    A::selection(*view) = c.selected;
    view->reorderSelectedOcrBlocks(c.mode);
    EXPECT_EQ(namesOf(A::blocks(*view)), c.order);
    EXPECT_EQ(sorted(A::selection(*view)), c.selectionAfter);
    for (std::size_t i = 0; i < 5; ++i)
      EXPECT_EQ(A::groupIds(*view)[i], 10 + A::blocks(*view)[i].text.mid(1).toInt());
    EXPECT_EQ(A::undoLabels(*view), QStringList{"Порядок блоков"});
    EXPECT_TRUE(A::dirty(*view));
  }
}

TEST_F(BlockOpsTest, DeletingBlocksBeforeTheOpenEditorKeepsItOnItsBlock) {
  loadFive();
  view->activateOcrBlock(3);
  A::selection(*view) = {0, 1};
  view->deleteSelectedOcrBlocks();
  ASSERT_EQ(namesOf(A::blocks(*view)), (QStringList{"B2", "B3", "B4"}));
  EXPECT_EQ(A::active(*view), 1);

  // What is typed now still lands in B3, not in whatever took index 3.
  QTextEdit* editor = view->activeTextEditor();
  ASSERT_NE(editor, nullptr);
  editor->moveCursor(QTextCursor::End);
  QTest::keyClicks(editor, QStringLiteral("x"));
  const auto edited = view->ocrBlocksWithEdits();
  EXPECT_EQ(namesOf(edited), (QStringList{"B2", "B3x", "B4"}));
}

TEST_F(BlockOpsTest, RubberBandSelectsWhatItEnclosesAndDeleteUndoRestoresIt) {
  loadFive();
  A::mutableGroupIds(*view) = {0, 0, 7, 0, 7};
  const QRectF b0 = view->ocrBlockScreenRect(0);
  const QRectF b2 = view->ocrBlockScreenRect(2);
  // From above-left of B0 to halfway down B2: B0 and B1 lie inside, B2 only
  // half, so it is left out.
  const QPoint from = b0.topLeft().toPoint() - QPoint(6, 6);
  const QPoint to(int(b0.right()) + 6, int(b2.center().y()));
  QTest::mousePress(vp(), Qt::LeftButton, {}, from);
  QTest::mouseMove(vp(), (from + to) / 2);
  QTest::mouseMove(vp(), to);
  QTest::mouseRelease(vp(), Qt::LeftButton, {}, to);
  EXPECT_EQ(sorted(A::selection(*view)), (QList<int>{0, 1}));

  // One member of a group inside the band brings the whole group.
  const QPoint groupFrom = b2.topLeft().toPoint() - QPoint(4, 4);
  const QPoint groupTo = b2.bottomRight().toPoint() + QPoint(4, 4);
  QTest::mousePress(vp(), Qt::LeftButton, {}, groupFrom);
  QTest::mouseMove(vp(), groupTo);
  QTest::mouseRelease(vp(), Qt::LeftButton, {}, groupTo);
  EXPECT_EQ(sorted(A::selection(*view)), (QList<int>{2, 4}));

  QTest::keyClick(view.get(), Qt::Key_Delete);
  EXPECT_EQ(namesOf(A::blocks(*view)), (QStringList{"B0", "B1", "B3"}));
  view->undo();
  EXPECT_EQ(namesOf(A::blocks(*view)), (QStringList{"B0", "B1", "B2", "B3", "B4"}));
}

TEST_F(BlockOpsTest, ClickSelectsAndOpensOneBlockCtrlClickAddsAndClosesTheEditor) {
  loadFive();
  A::mutableGroupIds(*view) = {0, 0, 0, 0, 0};
  QTest::mouseClick(vp(), Qt::LeftButton, {}, centreOf(view->ocrBlockScreenRect(1)));
  EXPECT_EQ(sorted(A::selection(*view)), QList<int>{1});
  EXPECT_EQ(A::active(*view), 1);
  QTest::mouseClick(vp(), Qt::LeftButton, Qt::ControlModifier, centreOf(view->ocrBlockScreenRect(3)));
  EXPECT_EQ(sorted(A::selection(*view)), (QList<int>{1, 3}));
  EXPECT_EQ(A::active(*view), -1);

  // A press on empty page area clears at once, before any release.
  QTest::mousePress(vp(), Qt::LeftButton, {}, QPoint(500, 500));
  EXPECT_TRUE(A::selection(*view).isEmpty());
  QTest::mouseRelease(vp(), Qt::LeftButton, {}, QPoint(500, 500));
}

TEST_F(BlockOpsTest, MergeThenSplitGivesBackTheWords) {
  view->setEditMode(true);
  std::vector<TextBlock> blocks = {nativeBlock(QStringLiteral("right side"), QRectF(300, 700, 100, 20)),
                                   nativeBlock(QStringLiteral("unrelated"), QRectF(60, 300, 100, 20)),
                                   nativeBlock(QStringLiteral("left words here"), QRectF(60, 701, 200, 20))};
  view->setOcrBlocks(blocks, 0, false);
  A::mutableGroupIds(*view) = {0, 4, 0};
  A::selection(*view) = {0, 2};
  view->groupSelectedOcrBlocks();

  const auto& merged = A::blocks(*view);
  ASSERT_EQ(merged.size(), 2u);
  EXPECT_EQ(merged[0].text, QStringLiteral("right side\nleft words here"));
  ASSERT_EQ(merged[0].lines.size(), 2u);
  // Side by side on one baseline: read left to right.
  EXPECT_EQ(merged[0].lines[0].text, QStringLiteral("left words here"));
  EXPECT_EQ(merged[0].rect, QRectF(60, 700, 340, 21));
  EXPECT_EQ(A::groupIds(*view), (std::vector<int>{0, 0}));
  EXPECT_EQ(A::active(*view), 0);

  view->ungroupSelectedOcrBlocksToWords();
  QStringList words;
  for (const TextBlock& b : A::blocks(*view)) words.append(b.text);
  EXPECT_EQ(words, (QStringList{"left", "words", "here", "right", "side", "unrelated"}));
  EXPECT_EQ(A::active(*view), -1);
  EXPECT_TRUE(A::selection(*view).isEmpty());
  EXPECT_EQ(A::undoLabels(*view), (QStringList{"Группировка блоков", "Расгруппировка блоков"}));
  view->undo();
  view->undo();
  EXPECT_EQ(namesOf(A::blocks(*view)), (QStringList{"right side", "unrelated", "left words here"}));
}

// A line drawn turned a quarter (reading down the page) is as produced until
// the user turns it further; split into words, each word goes where it shows
// on the turned line, in reading order down the page.
TEST_F(BlockOpsTest, TurnedLinesStayUneditedAndSplitWhereTheyShow) {
  view->setEditMode(true);
  TextBlock turned = nativeBlock(QStringLiteral("down the page"), QRectF(200, 500, 120, 20));
  turned.rotation = turned.originalRotation = 90;
  auto& line = turned.lines.front();
  line.words = {{QStringLiteral("down"), QRectF(200, 502, 40, 16)},
                {QStringLiteral("the"), QRectF(245, 502, 25, 16)},
                {QStringLiteral("page"), QRectF(275, 502, 45, 16)}};
  EXPECT_FALSE(PdfView::blockTextEdited(turned));
  TextBlock turnedFurther = turned;
  turnedFurther.rotation = 80;
  EXPECT_TRUE(PdfView::blockTextEdited(turnedFurther));

  view->setOcrBlocks({turned}, 0, false);
  A::selection(*view) = {0};
  view->ungroupSelectedOcrBlocksToWords();
  const auto& words = A::blocks(*view);
  ASSERT_EQ(words.size(), 3u);
  const QRectF shown = turnedBounds(turned.rect, turned.rotation);
  double previousTop = 1e9;
  for (const TextBlock& w : words) {
    SCOPED_TRACE(w.text.toStdString());
    EXPECT_EQ(w.rotation, 90);
    EXPECT_FALSE(PdfView::blockTextEdited(w));
    // On the turned line: its centre inside the line's shown box, lower on
    // the page than the word before.
    EXPECT_TRUE(shown.contains(w.rect.center()));
    EXPECT_LT(w.rect.center().y(), previousTop);
    previousTop = w.rect.center().y();
  }
}

TEST_F(BlockOpsTest, GroupingWithAnImageChangesNothing) {
  view->setEditMode(true);
  auto blocks = threeBlocks();
  blocks[1].isImage = true;
  view->setOcrBlocks(blocks, 0, false);
  A::selection(*view) = {0, 1};
  view->groupSelectedOcrBlocks();
  EXPECT_EQ(A::blocks(*view).size(), 3u);
  EXPECT_TRUE(A::undoLabels(*view).isEmpty());
}

TEST(UngroupedWordBlockRect, GrowsToTheLineAndAddsSideMargins) {
  struct Case {
    QRectF word, line;
    double fontSize;
    QRectF expected;
  };
  const QList<Case> cases = {
      // An empty word box falls back to the line: height 11.8, margin 1.0.
      {QRectF(), QRectF(10, 100, 90, 8), 10, QRectF(9, 98.1, 92, 11.8)},
      // A word box inside a taller line is centred on the line.
      {QRectF(20, 102, 30, 10), QRectF(10, 100, 90, 20), 10, QRectF(19, 100, 32, 20)},
      // Tiny font: at least 7 high, margin at least 0.8.
      {QRectF(20, 100, 5, 3), QRectF(), 2, QRectF(19.2, 98, 6.6, 7)},
      // Neither box has a size: the line comes back unchanged.
      {QRectF(), QRectF(5, 5, 0, 0), 10, QRectF(5, 5, 0, 0)},
  };
  for (const Case& c : cases) {
    const QRectF r = PdfView::ungroupedWordBlockRect(c.word, c.line, c.fontSize);
    EXPECT_NEAR(r.x(), c.expected.x(), 1e-9);
    EXPECT_NEAR(r.y(), c.expected.y(), 1e-9);
    EXPECT_NEAR(r.width(), c.expected.width(), 1e-9);
    EXPECT_NEAR(r.height(), c.expected.height(), 1e-9);
  }
}

TEST_F(BlockOpsTest, FrameDragMovesFromTheFirstStepAndKeepsTheBoxSize) {
  view->setEditMode(true);
  // Fractional box: the frame shows it snapped to whole pixels.
  TextBlock block = nativeBlock(QStringLiteral("moved text"), QRectF(60.3, 600.4, 200.3, 40.3));
  block.lines[0].rect = QRectF(62.2, 610.1, 150.2, 14.6);
  TextBlock::Line::Word word;
  word.text = QStringLiteral("moved");
  word.rect = QRectF(62.2, 610.1, 40, 14.6);
  block.lines[0].words.push_back(word);
  view->setOcrBlocks({block}, 0, false);
  view->activateOcrBlock(0);
  BlockEditorFrame* frame = A::frame(*view);
  ASSERT_TRUE(frame && frame->isVisible());

  QPoint grip(-1, -1);
  for (int y = 0; y < frame->height() && grip.x() < 0; ++y)
    for (int x = 0; x < frame->width(); ++x)
      if (frame->hitTest(QPoint(x, y)) == BlockEditorFrame::Hit::Move) {
        grip = QPoint(x, y);
        break;
      }
  ASSERT_GE(grip.x(), 0) << "the frame offers no move area";
  QTest::mousePress(frame, Qt::LeftButton, {}, grip);
  QTest::mouseMove(frame, grip + QPoint(10, -4));
  const TextBlock& moved = A::blocks(*view)[0];
  EXPECT_NEAR(moved.rect.x(), 70.3, 1e-6);
  EXPECT_NEAR(moved.rect.y(), 604.4, 1e-6);
  EXPECT_NEAR(moved.rect.width(), 200.3, 1e-6);
  EXPECT_NEAR(moved.rect.height(), 40.3, 1e-6);
  EXPECT_NEAR(moved.lines[0].rect.x(), 72.2, 1e-6);
  EXPECT_NEAR(moved.lines[0].words[0].rect.y(), 614.1, 1e-6);
  QTest::mouseRelease(frame, Qt::LeftButton, {}, grip + QPoint(10, -4));
  EXPECT_EQ(A::undoLabels(*view), QStringList{"Изменение блока"});
}
