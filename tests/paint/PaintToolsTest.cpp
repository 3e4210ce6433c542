// Each paint tool driven by real mouse events on the canvas: the pixels it
// changes, which colour it uses, anti-aliasing, and the undo step it leaves.
#include "PaintTestRig.h"
#include "paint/PaletteDock.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

using namespace painttest;

namespace {

const QRgb kWhite = 0xffffffff;
const QRgb kRed = 0xffff0000;
const QRgb kBlue = 0xff0000ff;

QRgb pixelAt(const QImage& image, int x, int y) { return image.convertToFormat(QImage::Format_ARGB32).pixel(x, y); }

bool isIntermediate(QRgb p, QRgb full) {
  return p != kWhite && p != full && (qAlpha(p) != 0 || qAlpha(full) != 0);
}

struct StrokeCase {
  const char* tool;
  Qt::MouseButton button;
  QRgb expected;  // the colour the stroke leaves in its middle
  bool antialiased;
  const char* undoText;
};

class StrokeTools : public ::testing::TestWithParam<StrokeCase> {};

TEST_P(StrokeTools, StrokeChangesOnlyItsPixelsInTheRightColourAndUndoes) {
  const StrokeCase c = GetParam();
  EditorRig rig;
  rig.canvas()->setPrimaryColor(QColor(kRed));
  rig.canvas()->setSecondaryColor(QColor(kBlue));
  rig.chooseTool(QString::fromLatin1(c.tool));
  rig.canvas()->setToolSize(6);
  const QImage before = rig.activeImage().copy();

  rig.drag({{10, 10}, {50, 10}, {80, 60}}, c.button);

  const QImage after = rig.activeImage();
  EXPECT_EQ(pixelAt(after, 30, 10), c.expected);
  EXPECT_EQ(pixelAt(after, 100, 80), kWhite);
  const QRgb full = c.expected;
  const int partial = countPixels(after, [full](QRgb p) { return isIntermediate(p, full); });
  if (c.antialiased)
    EXPECT_GT(partial, 0) << "an anti-aliased stroke has soft edges";
  else
    EXPECT_EQ(partial, 0) << "the pencil leaves only full pixels";
  EXPECT_EQ(rig.undoTexts(), QStringList{QString::fromUtf8(c.undoText)});
  rig.canvas()->undoStack.undo();
  EXPECT_EQ(rig.activeImage(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Tools, StrokeTools,
    ::testing::Values(StrokeCase{"brush", Qt::LeftButton, kRed, true, "Кисть"},
                      StrokeCase{"brush", Qt::RightButton, kRed, true, "Кисть"},
                      StrokeCase{"pencil", Qt::LeftButton, kRed, false, "Карандаш"},
                      StrokeCase{"pencil", Qt::RightButton, kBlue, false, "Карандаш"},
                      StrokeCase{"eraser", Qt::LeftButton, 0x00000000, true, "Ластик"}));

TEST(PaintTools, BrushClickPaintsOneRoundDotOfTheToolSize) {
  EditorRig rig;
  rig.canvas()->setPrimaryColor(QColor(kRed));
  rig.canvas()->setToolSize(10);
  rig.press({50, 40});
  rig.release({50, 40});
  const QImage image = rig.activeImage();
  EXPECT_EQ(pixelAt(image, 50, 40), kRed);
  EXPECT_EQ(pixelAt(image, 50, 45 + 2), kWhite);  // beyond the radius
  EXPECT_NE(pixelAt(image, 54, 44), kRed);        // the corner of the square stays out
  EXPECT_EQ(rig.undoTexts(), QStringList{"Кисть"});
}

TEST(PaintTools, FillFollowsEdgesOnlyAndSkipsAFillOfTheSameColour) {
  EditorRig rig(QSize(20, 20));
  // Two white regions that touch only at a corner: (0..9, 0..9) and (10..19, 10..19).
  QImage& layer = rig.document()->activeLayer()->image;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x)
      if ((x < 10) != (y < 10)) layer.setPixel(x, y, 0xff000000);
  rig.canvas()->setPrimaryColor(QColor(kRed));
  rig.chooseTool("fill");
  rig.press({2, 2});
  rig.release({2, 2});
  const QImage image = rig.activeImage();
  EXPECT_EQ(pixelAt(image, 9, 9), kRed);
  EXPECT_EQ(pixelAt(image, 0, 0), kRed) << "the fill reaches the region's top, above the click";
  EXPECT_EQ(pixelAt(image, 10, 10), kWhite) << "a diagonal gap stops the fill";
  EXPECT_EQ(pixelAt(image, 15, 3), 0xff000000u);
  EXPECT_EQ(rig.undoTexts(), QStringList{"Заливка"});

  rig.press({2, 2});  // already red
  rig.release({2, 2});
  EXPECT_EQ(rig.undoTexts().size(), 1);
}

TEST(PaintTools, GradientRunsFromPrimaryToSecondary) {
  EditorRig rig;
  rig.canvas()->setPrimaryColor(QColor(kRed));
  rig.canvas()->setSecondaryColor(QColor(kBlue));
  rig.chooseTool("gradient");
  rig.drag({{0, 0}, {60, 0}, {119, 0}});
  const QImage image = rig.activeImage();
  EXPECT_GT(qRed(pixelAt(image, 0, 50)), 250);
  EXPECT_LT(qBlue(pixelAt(image, 0, 50)), 5);
  EXPECT_GT(qBlue(pixelAt(image, 119, 50)), 250);
  EXPECT_LT(qRed(pixelAt(image, 119, 50)), 5);
  const QRgb middle = pixelAt(image, 60, 50);
  EXPECT_GT(qRed(middle), 90);
  EXPECT_GT(qBlue(middle), 90);
  EXPECT_EQ(rig.undoTexts(), QStringList{"Градиент"});
}

TEST(PaintTools, MoveShiftsTheLayerAndAMoveBackToTheStartRecordsNothing) {
  EditorRig rig;
  rig.chooseTool("move");
  rig.drag({{10, 10}, {20, 20}, {10, 10}});
  EXPECT_TRUE(rig.undoTexts().isEmpty());
  rig.drag({{10, 10}, {25, 15}, {30, 25}});
  const QImage image = rig.activeImage();
  EXPECT_EQ(qAlpha(pixelAt(image, 5, 5)), 0) << "the uncovered corner is transparent";
  EXPECT_EQ(pixelAt(image, 119, 89), kWhite);
  EXPECT_EQ(rig.undoTexts(), QStringList{"Перемещение"});
}

TEST(PaintTools, EyedropperLeftReportsAndRightSetsTheSecondaryColour) {
  EditorRig rig;
  rig.document()->activeLayer()->image.setPixel(5, 5, 0xff00ff00);
  rig.document()->activeLayer()->image.setPixel(6, 5, kRed);
  QSignalSpy picked(rig.canvas(), &CanvasWidget::colorPicked);
  rig.chooseTool("eyedropper");
  rig.press({5, 5});
  rig.release({5, 5});
  ASSERT_EQ(picked.size(), 1);
  EXPECT_EQ(rig.canvas()->primaryColor, QColor(0, 255, 0));
  EXPECT_EQ(rig.host.paletteDock->primary, QColor(0, 255, 0));
  rig.press({6, 5}, Qt::RightButton);
  rig.release({6, 5}, Qt::RightButton);
  EXPECT_EQ(picked.size(), 1);
  EXPECT_EQ(rig.canvas()->secondaryColor, QColor(kRed));
  EXPECT_EQ(rig.canvas()->primaryColor, QColor(0, 255, 0));
}

TEST(PaintTools, WandSelectsTheExactRegionAtSizeZeroAndEverythingAt200) {
  EditorRig rig;
  QImage& layer = rig.document()->activeLayer()->image;
  for (int y = 20; y < 30; ++y)
    for (int x = 40; x < 70; ++x) layer.setPixel(x, y, kRed);
  rig.chooseTool("wand");
  QSpinBox* size = rig.host.paletteDock->findChild<QSpinBox*>();
  size->setValue(1);
  rig.canvas()->setToolSize(0);
  rig.press({50, 25});
  rig.release({50, 25});
  EXPECT_EQ(rig.canvas()->selection.boundingRect(), QRectF(40, 20, 30, 10));
  size->setValue(200);
  rig.press({50, 25});
  rig.release({50, 25});
  EXPECT_EQ(rig.canvas()->selection.boundingRect(), QRectF(0, 0, 120, 90));
}

TEST(PaintTools, SelectionDeleteLassoAndCrop) {
  EditorRig rig;
  rig.chooseTool("select");
  rig.drag({{10, 10}, {20, 15}, {30, 20}});
  EXPECT_EQ(rig.canvas()->selection.boundingRect(), QRectF(10, 10, 21, 11));
  rig.key(Qt::Key_Delete);
  EXPECT_EQ(qAlpha(pixelAt(rig.activeImage(), 20, 15)), 0);
  EXPECT_EQ(pixelAt(rig.activeImage(), 40, 15), kWhite);
  EXPECT_EQ(rig.undoTexts(), QStringList{"Удаление выделения"});

  rig.chooseTool("lasso");
  rig.drag({{5, 5}, {40, 5}});
  EXPECT_TRUE(rig.canvas()->selection.isEmpty()) << "two points make no selection";
  rig.drag({{5, 5}, {40, 5}, {40, 40}, {5, 40}});
  EXPECT_EQ(rig.canvas()->selection.boundingRect(), QRectF(5, 5, 35, 35));

  rig.chooseTool("crop");
  rig.drag({{10, 20}, {40, 50}, {59, 69}});
  EXPECT_EQ(rig.document()->size, QSize(50, 50));
  EXPECT_EQ(rig.activeImage().size(), QSize(50, 50));
  EXPECT_EQ(rig.undoTexts().last(), "Обрезка");
  rig.canvas()->undoStack.undo();
  EXPECT_EQ(rig.document()->size, QSize(120, 90));
}

TEST(PaintTools, ZoomAndHandChangeOnlyTheView) {
  EditorRig rig;
  const QImage before = rig.activeImage().copy();
  rig.chooseTool("zoom");
  rig.press({60, 45});
  rig.release({60, 45});
  EXPECT_DOUBLE_EQ(rig.canvas()->zoom, 1.5);
  rig.press({60, 45}, Qt::RightButton);
  rig.release({60, 45}, Qt::RightButton);
  EXPECT_DOUBLE_EQ(rig.canvas()->zoom, 1.5 * 0.6666666666666666);

  rig.chooseTool("hand");
  const QPointF offset = rig.canvas()->offset;
  const QPoint from = rig.at({10, 10});
  QTest::mousePress(rig.canvas(), Qt::LeftButton, {}, from);
  QTest::mouseMove(rig.canvas(), from + QPoint(17, -9));
  QTest::mouseRelease(rig.canvas(), Qt::LeftButton, {}, from + QPoint(17, -9));
  EXPECT_EQ(rig.canvas()->offset, offset + QPointF(17, -9));
  EXPECT_EQ(rig.activeImage(), before);
  EXPECT_TRUE(rig.undoTexts().isEmpty());
}

}  // namespace
