// The block editor frame driven by real mouse events: each handle resizes as
// it should (Shift keeps the aspect of corners), the margin moves, the rotate
// handle turns the content in place, and the chrome is hit and painted in its
// turned layout.
#include "ViewTestHelpers.h"
#include "BlockTestData.h"
#include "view/BlockEditorFrame.h"
#include "view/BlockGeometry.h"
#include "view/RotatedTextEdit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <memory>

namespace {

using Hit = BlockEditorFrame::Hit;

class BlockEditorFrameTest : public ::testing::Test {
protected:
  void SetUp() override {
    host = blocktest::whiteHost(600, 400);
    frame = new BlockEditorFrame(host.get());
    frame->setContentScreenRect(kStart);
    frame->show();
    host->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(host.get()));
  }

  // The widget a real pointer at this frame point would reach.
  QWidget* widgetAt(const QPoint& framePoint) const {
    QWidget* child = frame->childAt(framePoint);
    return child ? child : frame;
  }

  static void sendMove(QWidget* target, const QPoint& global, Qt::MouseButtons buttons,
                       Qt::KeyboardModifiers modifiers) {
    const QPointF local = target->mapFromGlobal(QPointF(global));
    QMouseEvent move(QEvent::MouseMove, local, target->window()->mapFromGlobal(QPointF(global)), QPointF(global),
                     Qt::NoButton, buttons, modifiers);
    QApplication::sendEvent(target, &move);
  }

  // Presses at a frame point, moves by delta in a few steps, releases.
  void drag(const QPoint& framePoint, const QPoint& delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = widgetAt(framePoint);
    const QPoint start = frame->mapToGlobal(framePoint);
    QTest::mousePress(target, Qt::LeftButton, modifiers, target->mapFromGlobal(start));
    for (int step = 1; step <= 4; ++step) sendMove(target, start + delta * step / 4, Qt::LeftButton, modifiers);
    QTest::mouseRelease(target, Qt::LeftButton, modifiers, target->mapFromGlobal(start + delta));
  }

  QPoint centreOf(const QRect& c) const { return QPoint((c.left() + c.right()) / 2, (c.top() + c.bottom()) / 2); }

  static constexpr QRect kStart{100, 100, 200, 100};
  std::unique_ptr<QWidget> host;
  BlockEditorFrame* frame = nullptr;
};

TEST_F(BlockEditorFrameTest, HandlesResizeTheirEdges) {
  EXPECT_EQ(frame->geometry(), QRect(95, 69, 210, 136));
  EXPECT_EQ(frame->contentScreenRect(), kStart);
  const struct {
    Hit hit;
    QPoint delta;
    Qt::KeyboardModifiers modifiers;
    QRect expected;
  } cases[] = {
      {Hit::TopLeft, {30, 20}, Qt::NoModifier, {130, 120, 170, 80}},
      {Hit::Top, {30, 20}, Qt::NoModifier, {100, 120, 200, 80}},
      {Hit::TopRight, {30, 20}, Qt::NoModifier, {100, 120, 230, 80}},
      {Hit::Left, {30, 20}, Qt::NoModifier, {130, 100, 170, 100}},
      {Hit::Right, {30, 20}, Qt::NoModifier, {100, 100, 230, 100}},
      {Hit::BottomLeft, {30, 20}, Qt::NoModifier, {130, 100, 170, 120}},
      {Hit::Bottom, {30, 20}, Qt::NoModifier, {100, 100, 200, 120}},
      {Hit::BottomRight, {30, 20}, Qt::NoModifier, {100, 100, 230, 120}},
      // Shift keeps 2:1 on corners only.
      {Hit::BottomRight, {40, 0}, Qt::ShiftModifier, {100, 100, 240, 121}},
      {Hit::TopLeft, {-40, 0}, Qt::ShiftModifier, {60, 79, 240, 121}},
      {Hit::BottomRight, {-180, -80}, Qt::ShiftModifier, {100, 100, 105, 53}},
      {Hit::Right, {30, 0}, Qt::ShiftModifier, {100, 100, 230, 100}},
      // Never below 50 x 52.
      {Hit::Right, {-190, 0}, Qt::NoModifier, {100, 100, 50, 100}},
      {Hit::Bottom, {0, -90}, Qt::NoModifier, {100, 100, 200, 52}},
      {Hit::TopLeft, {190, 95}, Qt::NoModifier, {290, 195, 50, 52}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.hit));
    frame->setContentScreenRect(kStart);
    QSignalSpy started(frame, &BlockEditorFrame::interactionStarted);
    QSignalSpy finished(frame, &BlockEditorFrame::interactionFinished);
    QSignalSpy changed(frame, &BlockEditorFrame::rectChanged);
    const QPoint grip = frame->handleRect(c.hit).center();
    ASSERT_EQ(frame->hitTest(grip), c.hit);
    drag(grip, c.delta, c.modifiers);
    EXPECT_EQ(frame->contentScreenRect(), c.expected);
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(finished.count(), 1);
    ASSERT_EQ(changed.count(), 4);
    EXPECT_EQ(changed.last().first().toRect(), c.expected);
    EXPECT_FALSE(frame->isInteracting());
  }
}

TEST_F(BlockEditorFrameTest, MarginMovesAndTextAreaPlacesTheCaret) {
  frame->textEditor()->setPlainText(QStringLiteral("some words in the block"));
  const QRect content = frame->contentRect();
  QSignalSpy started(frame, &BlockEditorFrame::interactionStarted);

  // A press on the text goes to the editor: no gesture, the caret moves.
  const QPoint onText = content.topLeft() + QPoint(60, 8);
  ASSERT_EQ(frame->hitTest(onText), Hit::Move);
  QWidget* target = widgetAt(onText);
  ASSERT_EQ(target, frame->textEditor()->viewport());
  QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, target->mapFrom(frame, onText));
  EXPECT_EQ(started.count(), 0);
  EXPECT_EQ(frame->contentScreenRect(), kStart);
  EXPECT_GT(frame->textEditor()->textCursor().position(), 0);

  // The frame's own margin moves the block.
  const QPoint margin(content.left() + 20, content.top() - 3);
  ASSERT_EQ(widgetAt(margin), frame);
  drag(margin, QPoint(30, 20));
  EXPECT_EQ(started.count(), 1);
  EXPECT_EQ(frame->contentScreenRect(), kStart.translated(30, 20));
}

TEST_F(BlockEditorFrameTest, RotateHandleTurnsTheContentInPlace) {
  QSignalSpy rotated(frame, &BlockEditorFrame::rotationChanged);
  const QRect outerBefore = frame->geometry();
  const QPoint grip(centreOf(frame->contentRect()).x(), frame->contentRect().top() - 18);
  ASSERT_EQ(frame->hitTest(grip), Hit::Rotate);
  QWidget* target = widgetAt(grip);
  ASSERT_EQ(target, frame);
  QTest::mousePress(target, Qt::LeftButton, Qt::NoModifier, grip);
  // Straight above the centre to straight right of it: a quarter turn.
  const QPoint right = frame->mapToGlobal(centreOf(frame->contentRect())) + QPoint(150, 0);
  sendMove(target, right + QPoint(0, -150), Qt::LeftButton, Qt::NoModifier);
  sendMove(target, frame->mapToGlobal(centreOf(frame->contentRect())) + QPoint(150, 0), Qt::LeftButton,
           Qt::NoModifier);
  QTest::mouseRelease(target, Qt::LeftButton, Qt::NoModifier, target->mapFromGlobal(right));
  EXPECT_NEAR(frame->visualRotationAngle(), 90.0, 0.5);
  ASSERT_FALSE(rotated.isEmpty());
  EXPECT_DOUBLE_EQ(rotated.last().first().toDouble(), frame->visualRotationAngle());
  EXPECT_EQ(frame->contentScreenRect(), kStart);
  EXPECT_NE(frame->geometry(), outerBefore);
  // The whole turned chrome lies inside the frame.
  const QRectF chrome(QPointF(kStart.x() - 8, kStart.y() - 34),
                      QPointF(kStart.x() + kStart.width() + 8, kStart.y() + kStart.height() + 8));
  const QPointF centre = QRectF(kStart).center();
  for (const QPointF& corner : {chrome.topLeft(), chrome.topRight(), chrome.bottomLeft(), chrome.bottomRight()})
    EXPECT_TRUE(QRectF(frame->geometry()).contains(rotatePoint(corner, centre, frame->visualRotationAngle())))
        << frame->geometry().x() << "," << frame->geometry().y() << " " << frame->geometry().width() << "x"
        << frame->geometry().height() << " corner " << rotatePoint(corner, centre, frame->visualRotationAngle()).x()
        << "," << rotatePoint(corner, centre, frame->visualRotationAngle()).y();
  // Turned text is painted by its owner, in the editor spread over the frame.
  EXPECT_EQ(frame->textEditor()->geometry(), QRect(QPoint(0, 0), frame->size()));
  EXPECT_EQ(frame->textEditor()->contentPaintRect(), frame->contentRect());
  EXPECT_NEAR(frame->textEditor()->rotation(), frame->visualRotationAngle(), 1e-9);
}

TEST_F(BlockEditorFrameTest, AnglesAreKeptWithinAHalfTurn) {
  const struct {
    double in, out;
  } cases[] = {{190, -170}, {-180, 180}, {540, 180}, {-190, 170}, {725, 5}, {45, 45}};
  for (const auto& c : cases) {
    frame->setRotationAngle(c.in);
    EXPECT_NEAR(frame->visualRotationAngle(), c.out, 1e-9) << c.in;
  }
}

TEST_F(BlockEditorFrameTest, TurnedChromeIsHitWhereItIsDrawn) {
  frame->setRotationAngle(30);
  frame->setContentScreenRect(kStart);
  const QPointF centre(centreOf(frame->contentRect()));
  for (Hit hit : {Hit::TopLeft, Hit::Top, Hit::TopRight, Hit::Left, Hit::Right, Hit::BottomLeft, Hit::Bottom,
                  Hit::BottomRight}) {
    const QPoint turned = rotatePoint(QPointF(frame->handleRect(hit).center()), centre, 30).toPoint();
    EXPECT_EQ(frame->hitTest(turned), hit) << static_cast<int>(hit);
  }
  const QPoint turnedRotate = rotatePoint(QPointF(frame->rotationHandleRect().center()), centre, 30).toPoint();
  EXPECT_EQ(frame->hitTest(turnedRotate), Hit::Rotate);

  // Hovering the turned top-left handle shows the unturned diagonal cursor.
  const QPoint topLeft = rotatePoint(QPointF(frame->handleRect(Hit::TopLeft).center()), centre, 30).toPoint();
  QWidget* target = widgetAt(topLeft);
  sendMove(target, frame->mapToGlobal(topLeft), Qt::NoButton, Qt::NoModifier);
  EXPECT_EQ(frame->cursor().shape(), Qt::SizeFDiagCursor);
  const QPoint rotateHandle = turnedRotate;
  sendMove(widgetAt(rotateHandle), frame->mapToGlobal(rotateHandle), Qt::NoButton, Qt::NoModifier);
  EXPECT_EQ(frame->cursor().shape(), Qt::CrossCursor);
}

TEST_F(BlockEditorFrameTest, ChromeIsPaintedAboveTheEditor) {
  const struct {
    bool imageMode;
    QColor pen, fill, rotateFill;
  } cases[] = {{false, QColor(30, 114, 228), Qt::white, Qt::white},
               {true, QColor(200, 50, 50), QColor(255, 220, 220), QColor(255, 245, 245)}};
  for (const auto& c : cases) {
    frame->setImageMode(c.imageMode);
    frame->textEditor()->setPlainText(QStringLiteral("XXXXXXXXXXXXXXXX"));
    QApplication::processEvents();
    const QImage image = host->grab().toImage();
    // The handle over the content's top-left corner: outline and fill.
    const QRect handle = frame->handleRect(Hit::TopLeft).translated(frame->pos());
    EXPECT_TRUE(viewtest::near(viewtest::pixelAt(image, handle.left(), handle.top()), c.pen, 10)) << c.imageMode;
    EXPECT_TRUE(viewtest::near(viewtest::pixelAt(image, handle.left() + 3, handle.top() + 3), c.fill, 10));
    const QRect rotate = frame->rotationHandleRect().translated(frame->pos());
    EXPECT_TRUE(viewtest::near(viewtest::pixelAt(image, rotate.center().x(), rotate.center().y()), c.rotateFill, 4));
    // The connector runs from the rotate handle down to the content.
    const QPoint link = centreOf(frame->contentRect()) + frame->pos();
    EXPECT_TRUE(viewtest::near(viewtest::pixelAt(image, link.x(), frame->contentScreenRect().top() - 6), c.pen, 10))
        << c.imageMode << " " << qPrintable(viewtest::pixelAt(image, link.x(), frame->contentScreenRect().top() - 6).name())
        << " left " << qPrintable(viewtest::pixelAt(image, link.x() - 1, frame->contentScreenRect().top() - 6).name());
  }
}

}  // namespace
