// The overlay's undo history: whole snapshots restored exactly, at most 100
// steps, one step per editor activation and per frame gesture, and the
// labels of the steps.
#include "BlockViewFixture.h"

#include <QSignalSpy>

using namespace blocktest;

namespace {

// What a snapshot must bring back, in comparable form.
struct OverlayState {
  QStringList texts;
  QList<QRectF> rects;
  QList<double> rotations;
  std::vector<int> groupIds;
  QList<int> selection;
  int nextGroupId = 0;
  int page = 0;
  bool dirty = false;
  bool operator==(const OverlayState&) const = default;
};

OverlayState stateOf(PdfView& view) {
  using A = PdfViewTestAccess;
  OverlayState s;
  for (const TextBlock& b : A::blocks(view)) {
    s.texts.append(b.text);
    s.rects.append(b.rect);
    s.rotations.append(b.rotation);
  }
  s.groupIds = A::groupIds(view);
  s.selection = A::selection(view).values();
  std::sort(s.selection.begin(), s.selection.end());
  s.nextGroupId = A::nextGroupId(view);
  s.page = A::page(view);
  s.dirty = A::dirty(view);
  return s;
}

TEST_F(BlockViewTest, UndoAndRedoRestoreWholeSnapshots) {
  view->setOcrBlocks(threeBlocks(), 0, false);
  A::mutableGroupIds(*view) = {1, 1, 0};
  A::selection(*view) = {0, 2};
  A::nextGroupId(*view) = 4;
  const OverlayState before = stateOf(*view);

  // One editing step: snapshot first, then the change.
  A::push(*view, QStringLiteral("Удаление блоков"));
  A::mutableBlocks(*view).erase(A::mutableBlocks(*view).begin() + 1);
  A::mutableGroupIds(*view) = {1, 0};
  A::selection(*view) = {1};
  A::nextGroupId(*view) = 7;
  view->markOcrBlocksDirty();
  const OverlayState after = stateOf(*view);

  QStringList order;
  QObject::connect(view.get(), &PdfView::undoRedoAvailabilityChanged, view.get(),
          [&](bool u, bool r) { order.append(QStringLiteral("availability %1 %2").arg(u).arg(r)); });
  QObject::connect(view.get(), &PdfView::ocrBlocksEdited, view.get(), [&] { order.append(QStringLiteral("edited")); });

  view->undo();
  EXPECT_EQ(stateOf(*view), before);
  EXPECT_EQ(A::redoLabels(*view), QStringList{QStringLiteral("Повторить")});
  EXPECT_TRUE(A::undoLabels(*view).isEmpty());
  // Undo reports an edit even when the state it restores was clean.
  EXPECT_EQ(order, (QStringList{QStringLiteral("availability 0 1"), QStringLiteral("edited")}));

  order.clear();
  view->redo();
  EXPECT_EQ(stateOf(*view), after);
  EXPECT_EQ(A::undoLabels(*view), QStringList{QStringLiteral("Отменить")});
  EXPECT_EQ(order, (QStringList{QStringLiteral("availability 1 0"), QStringLiteral("edited")}));

  // A new step after an undo drops what could have been redone.
  view->undo();
  order.clear();
  A::push(*view, QStringLiteral("Порядок блоков"));
  EXPECT_FALSE(view->canRedo());
  EXPECT_EQ(order, QStringList{QStringLiteral("availability 1 0")});

  // Restoring drops selected indices that no longer exist and never hands
  // out group id 0.
  A::selection(*view) = {0, 9};
  A::nextGroupId(*view) = 0;
  A::push(*view, QStringLiteral("Группировка блоков"));
  view->undo();
  EXPECT_EQ(A::selection(*view), QSet<int>{0});
  EXPECT_EQ(A::nextGroupId(*view), 1);

  view->clearOcrBlocks();
  EXPECT_FALSE(view->canUndo());
  EXPECT_FALSE(view->canRedo());
}

TEST_F(BlockViewTest, HistoryKeepsTheNewestHundredSteps) {
  view->setOcrBlocks(threeBlocks(), 0, false);
  for (int i = 0; i <= 100; ++i) {
    A::nextGroupId(*view) = i + 1;
    A::push(*view, QStringLiteral("step %1").arg(i));
  }
  const QStringList labels = A::undoLabels(*view);
  ASSERT_EQ(labels.size(), 100);
  EXPECT_EQ(labels.first(), QStringLiteral("step 1"));
  EXPECT_EQ(labels.last(), QStringLiteral("step 100"));

  QSignalSpy availability(view.get(), &PdfView::undoRedoAvailabilityChanged);
  QSignalSpy edited(view.get(), &PdfView::ocrBlocksEdited);
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(view->canUndo()) << i;
    view->undo();
    EXPECT_LE(A::undoLabels(*view).size() + A::redoLabels(*view).size(), 100);
  }
  // The oldest step kept was pushed with next group id 2.
  EXPECT_EQ(A::nextGroupId(*view), 2);
  EXPECT_EQ(availability.count(), 100);
  EXPECT_EQ(edited.count(), 100);
  view->undo();
  EXPECT_EQ(availability.count(), 100);
  EXPECT_EQ(edited.count(), 100);
  for (int i = 0; i < 100; ++i) view->redo();
  EXPECT_EQ(A::nextGroupId(*view), 101);
  view->redo();
  EXPECT_EQ(edited.count(), 200);
}

TEST_F(BlockViewTest, TypingIsOneStepPerActivation) {
  view->setEditMode(true);
  view->setOcrBlocks(threeBlocks(), 0, false);
  view->activateOcrBlock(0);
  QTextEdit* editor = view->activeTextEditor();
  ASSERT_NE(editor, nullptr);
  QTest::keyClick(editor, Qt::Key_End);
  QTest::keyClicks(editor, QStringLiteral(" and two more words"));
  // Formatting during the same activation adds nothing.
  A::captureEditor(*view, QStringLiteral("Форматирование текста"));
  EXPECT_EQ(A::undoLabels(*view), QStringList{QStringLiteral("Редактирование текста")});
  EXPECT_EQ(A::blocks(*view)[0].text, QStringLiteral("Первая строка and two more words"));

  view->undo();
  EXPECT_EQ(A::blocks(*view)[0].text, QStringLiteral("Первая строка"));
  EXPECT_FALSE(A::dirty(*view));
  // In edit mode the block that was active comes back with its editor.
  EXPECT_EQ(A::active(*view), 0);
  ASSERT_NE(view->activeTextEditor(), nullptr);
  EXPECT_EQ(view->activeTextEditor()->toPlainText(), QStringLiteral("Первая строка"));

  // The typed text was saved for redo with the editor's content.
  view->redo();
  EXPECT_EQ(A::blocks(*view)[0].text, QStringLiteral("Первая строка and two more words"));
  EXPECT_TRUE(A::dirty(*view));

  // Another block opens another capture window.
  view->activateOcrBlock(1);
  A::captureEditor(*view, QStringLiteral("Форматирование текста"));
  EXPECT_EQ(A::undoLabels(*view).last(), QStringLiteral("Форматирование текста"));
  EXPECT_EQ(A::undoLabels(*view).size(), 2);

  // Outside edit mode a restore opens no editor.
  QSignalSpy available(view.get(), &PdfView::activeTextEditorAvailable);
  view->setEditMode(false);
  view->activateOcrBlock(2);
  A::push(*view, QStringLiteral("Удаление блоков"));
  view->undo();
  EXPECT_EQ(A::active(*view), -1);
  ASSERT_FALSE(available.isEmpty());
  EXPECT_EQ(available.last().first().toBool(), false);
}

TEST_F(BlockViewTest, FrameGesturesAreOneStepEach) {
  view->setEditMode(true);
  view->setOcrBlocks(threeBlocks(), 0, false);
  const TextBlock original = A::blocks(*view)[0];
  view->activateOcrBlock(0);
  BlockEditorFrame* frame = A::frame(*view);
  ASSERT_NE(frame, nullptr);
  ASSERT_TRUE(frame->isVisible());

  // A move by the frame's margin: many steps, one snapshot, lines follow.
  const QRect content = frame->contentRect();
  const QPoint grip(content.left() + 20, content.top() - 3);
  const QPoint global = frame->mapToGlobal(grip);
  ASSERT_TRUE(frame->beginInteraction(grip, global, true));
  for (int step = 1; step <= 10; ++step) frame->updateInteraction(global + QPoint(3 * step, 2 * step), Qt::NoModifier);
  frame->endInteraction(grip + QPoint(30, 20));
  EXPECT_EQ(A::undoLabels(*view), QStringList{QStringLiteral("Изменение блока")});
  const TextBlock moved = A::blocks(*view)[0];
  EXPECT_NEAR(moved.rect.x() - original.rect.x(), 30.0, 0.01);
  EXPECT_NEAR(moved.rect.y() - original.rect.y(), -20.0, 0.01);  // down the screen is down the page
  EXPECT_NEAR(moved.lines[0].rect.x() - original.lines[0].rect.x(), 30.0, 0.01);
  EXPECT_TRUE(PdfView::blockMoved(moved));
  EXPECT_TRUE(A::dirty(*view));

  // A turn by the rotate handle is a step of its own.
  // The handle's centre is an integer pixel of the frame, so it is taken
  // again once the turned frame has grown.
  auto centreOf = [frame] {
    const QRect c = frame->contentRect();
    return frame->mapToGlobal(QPoint((c.left() + c.right()) / 2, (c.top() + c.bottom()) / 2));
  };
  const QRect c = frame->contentRect();
  const QPoint handle((c.left() + c.right()) / 2, c.top() - 18);  // straight above the centre
  ASSERT_TRUE(frame->rotationHandleRect().contains(handle));
  ASSERT_TRUE(frame->beginInteraction(handle, frame->mapToGlobal(handle), true));
  frame->updateInteraction(centreOf() + QPoint(60, -60), Qt::NoModifier);
  frame->updateInteraction(centreOf() + QPoint(100, 0), Qt::NoModifier);
  frame->endInteraction(handle);
  EXPECT_EQ(A::undoLabels(*view), (QStringList{QStringLiteral("Изменение блока"), QStringLiteral("Поворот блока")}));
  EXPECT_NEAR(A::blocks(*view)[0].rotation, 90.0, 1e-6);

  view->undo();
  EXPECT_NEAR(A::blocks(*view)[0].rotation, 0.0, 1e-9);
  EXPECT_EQ(A::blocks(*view)[0].rect, moved.rect);
  view->undo();
  EXPECT_EQ(A::blocks(*view)[0].rect, original.rect);
  EXPECT_EQ(A::blocks(*view)[0].lines[0].rect, original.lines[0].rect);
  EXPECT_FALSE(A::dirty(*view));
}

}  // namespace
