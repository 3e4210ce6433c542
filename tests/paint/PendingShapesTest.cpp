// Rectangles, ellipses, lines and text wait on the canvas as pending shapes:
// committed by Return or a click beside them, thrown away by Escape, and
// reshaped through their handles.
#include "PaintTestRig.h"
#include "paint/ToolsDock.h"

#include <gtest/gtest.h>

#include <QInputDialog>
#include <QTest>
#include <QToolButton>

using namespace painttest;

namespace {

const QRgb kWhite = 0xffffffff;

struct ShapeCase {
  const char* tool;
  int kind;
  QPoint onOutline;  // an image pixel the committed outline covers
  bool commitByKey;  // Return, else a click beside the shape
};

class PendingShapes : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(PendingShapes, WaitWithoutTouchingTheLayerThenCommitAsOneStep) {
  const ShapeCase c = GetParam();
  EditorRig rig(QSize(200, 150));
  rig.canvas()->setPrimaryColor(Qt::red);
  rig.canvas()->setToolSize(3);
  rig.chooseTool(QString::fromLatin1(c.tool));
  const QImage white = rig.activeImage().copy();
  rig.drag({{20, 30}, {60, 50}, {100, 90}});

  ASSERT_EQ(rig.canvas()->pending.kind, c.kind);
  EXPECT_EQ(rig.activeImage(), white) << "the layer holds no trace of a pending shape";
  EXPECT_TRUE(rig.undoTexts().isEmpty());

  if (c.commitByKey) {
    rig.key(Qt::Key_Return);
  } else {
    rig.press({190, 5});
    rig.release({190, 5});
  }
  EXPECT_EQ(rig.canvas()->pending.kind, 0);
  EXPECT_EQ(rig.undoTexts(), QStringList{"Примитив"}) << "a click beside commits and starts nothing new";
  const QRgb outline = rig.activeImage().convertToFormat(QImage::Format_ARGB32).pixel(c.onOutline);
  EXPECT_GT(qRed(outline), 200);
  EXPECT_LT(qGreen(outline), 60);
  EXPECT_EQ(rig.activeImage().pixel(150, 120), kWhite);
}

TEST_P(PendingShapes, EscapeLeavesLayerAndHistoryAsTheyWere) {
  const ShapeCase c = GetParam();
  EditorRig rig(QSize(200, 150));
  rig.chooseTool(QString::fromLatin1(c.tool));
  const QImage white = rig.activeImage().copy();
  rig.drag({{20, 30}, {100, 90}});
  rig.key(Qt::Key_Escape);
  EXPECT_EQ(rig.canvas()->pending.kind, 0);
  EXPECT_EQ(rig.activeImage(), white);
  EXPECT_TRUE(rig.undoTexts().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, PendingShapes,
                         ::testing::Values(ShapeCase{"rect", 1, {20, 60}, true},
                                           ShapeCase{"ellipse", 2, {60, 30}, false},
                                           ShapeCase{"line", 3, {60, 60}, true}));

TEST(PendingShapeEdges, RectangleReleasedWhereItWasPressedLeavesNothing) {
  EditorRig rig;
  rig.chooseTool("rect");
  rig.drag({{30, 30}, {30, 30}});
  EXPECT_EQ(rig.canvas()->pending.kind, 0);
  EXPECT_TRUE(rig.undoTexts().isEmpty());
}

TEST(PendingShapeEdges, LineWithControlSnapsToFifteenDegrees) {
  EditorRig rig;
  rig.chooseTool("line");
  rig.press({10, 10}, Qt::LeftButton, Qt::ControlModifier);
  rig.moveTo({20, 14}, Qt::ControlModifier);
  rig.release({20, 14}, Qt::LeftButton, Qt::ControlModifier);
  ASSERT_EQ(rig.canvas()->pending.kind, 3);
  EXPECT_EQ(rig.canvas()->pending.p2, QPointF(20, 13));
}

struct HandleCase {
  const char* name;
  Qt::KeyboardModifiers modifiers;
  QRectF expected;
};

class HandleDrag : public ::testing::TestWithParam<HandleCase> {};

TEST_P(HandleDrag, TopLeftHandleResizesAndControlKeepsProportions) {
  const HandleCase c = GetParam();
  EditorRig rig(QSize(200, 150));
  rig.chooseTool("rect");
  rig.drag({{10, 10}, {110, 60}});
  ASSERT_EQ(rig.canvas()->pending.rect, QRectF(10, 10, 100, 50));
  rig.press({10, 10});
  EXPECT_EQ(rig.canvas()->dragHandle, 1);
  rig.moveTo({0, 0}, c.modifiers);
  rig.release({0, 0}, Qt::LeftButton, c.modifiers);
  EXPECT_EQ(rig.canvas()->pending.rect, c.expected);
  EXPECT_EQ(rig.canvas()->pending.kind, 1) << "the drag keeps the shape pending";
}

INSTANTIATE_TEST_SUITE_P(Modifiers, HandleDrag,
                         ::testing::Values(HandleCase{"free", Qt::NoModifier, QRectF(0, 0, 110, 60)},
                                           HandleCase{"proportional", Qt::ControlModifier, QRectF(0, 5, 110, 55)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PendingShapeEdges, RotatedHandleFollowsTheShapeAndQuarterTurnAddsNinety) {
  EditorRig rig(QSize(200, 150));
  rig.chooseTool("rect");
  rig.drag({{50, 50}, {110, 90}});  // 60 x 40, centre (80, 70)
  rig.canvas()->pending.rotation = 90;
  const QList<QPointF> handles = rig.canvas()->pendingHandleWidgetPoints();
  const QPointF centre = rig.canvas()->imageRectOnWidget().topLeft() + QPointF(80, 70);
  EXPECT_NEAR(handles[8].x() - centre.x(), 40.0, 1e-9);  // h / 2 + 20 to the right
  EXPECT_NEAR(handles[8].y(), centre.y(), 1e-9);
  rig.press({120, 70});
  rig.moveTo({80, 110});
  rig.release({80, 110});
  EXPECT_NEAR(rig.canvas()->pending.rotation, 180.0, 1e-9);
}

TEST(PendingShapeEdges, TextAsksForItsWordsFollowsBoldAndCommitsAsText) {
  EditorRig rig(QSize(240, 120));
  rig.canvas()->setPrimaryColor(Qt::black);
  rig.chooseTool("text");
  whenModalShows([](QWidget* modal) {
    auto* input = qobject_cast<QInputDialog*>(modal);
    if (!input) return false;
    input->setTextValue(QStringLiteral("Подпись"));
    input->accept();
    return true;
  });
  rig.press({20, 20});
  rig.release({20, 20});
  ASSERT_EQ(rig.canvas()->pending.kind, 4);
  EXPECT_EQ(rig.canvas()->pending.font.pixelSize(), 16);
  rig.canvas()->setToolSize(3);
  EXPECT_EQ(rig.canvas()->pending.font.pixelSize(), 8);
  rig.canvas()->setToolSize(10);

  for (QToolButton* button : rig.host.toolsDock->findChildren<QToolButton*>())
    if (button->text() == "B") QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(rig.canvas()->pending.font.weight(), QFont::Bold);

  rig.key(Qt::Key_Enter);
  EXPECT_EQ(rig.undoTexts(), QStringList{"Текст"});
  const int ink = countPixels(rig.activeImage(), [](QRgb p) { return qRed(p) < 100; });
  EXPECT_GT(ink, 30);
}

TEST(PendingShapeEdges, BoldWithARectanglePendingChangesNothing) {
  EditorRig rig;
  rig.chooseTool("rect");
  rig.drag({{10, 10}, {50, 50}});
  const QFont before = rig.canvas()->pending.font;
  rig.canvas()->setPendingTextBold(true);
  EXPECT_EQ(rig.canvas()->pending.font, before);
}

}  // namespace
