// The palette panel: what the wheel, the value slider, the fixed colours and
// the swatch squares do to the primary and secondary colours.
#include "paint/ColorSwatchPair.h"
#include "paint/ColorWheelWidget.h"
#include "paint/PaletteDock.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

namespace {

QPushButton* paletteButton(PaletteDock& dock, const QString& name) {
  for (QPushButton* button : dock.findChildren<QPushButton*>())
    if (button->toolTip() == name) return button;
  return nullptr;
}

TEST(PaletteDock, WheelSliderPaletteAndSwatchesEditTheRightSlot) {
  PaletteDock dock;
  dock.resize(240, 420);
  dock.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dock));
  QSignalSpy primary(&dock, &PaletteDock::primaryColorChanged);
  QSignalSpy secondary(&dock, &PaletteDock::secondaryColorChanged);
  ColorWheelWidget* wheel = dock.wheel;
  const QPointF centre = wheel->wheelRect().center();
  const double radius = wheel->wheelRect().width() / 2;

  // Right of the centre, beyond the rim: pure red in the primary slot.
  QTest::mouseClick(wheel, Qt::LeftButton, {}, (centre + QPointF(radius + 1, 0)).toPoint());
  EXPECT_EQ(dock.primary.name(), "#ff0000");
  dock.valueSlider->setValue(128);
  EXPECT_EQ(dock.primary.name(), "#800000");
  EXPECT_EQ(primary.size(), 2);

  // The secondary square becomes the one the wheel edits, without a signal.
  QTest::mouseClick(dock.swatch, Qt::LeftButton, {}, dock.swatch->secondaryRect().topRight() + QPoint(-2, 2));
  EXPECT_FALSE(dock.primaryActive);
  EXPECT_EQ(dock.valueSlider->value(), 255);
  EXPECT_EQ(primary.size() + secondary.size(), 2);
  QTest::mouseClick(wheel, Qt::LeftButton, {}, (centre + QPointF(0, radius - 1)).toPoint());
  EXPECT_EQ(dock.secondary.hsvHue(), 90);
  EXPECT_EQ(secondary.size(), 1);

  // A fixed colour always goes to the primary slot and makes it active.
  QTest::mouseClick(paletteButton(dock, "#ffff00"), Qt::LeftButton);
  EXPECT_EQ(dock.primary, QColor(255, 255, 0));
  EXPECT_TRUE(dock.primaryActive);
  EXPECT_EQ(dock.valueSlider->value(), 255);

  // Reset: black and white, primary then secondary.
  primary.clear();
  secondary.clear();
  QTest::mouseClick(paletteButton(dock, "Сбросить (чёрный / белый)"), Qt::LeftButton);
  EXPECT_EQ(dock.primary, QColor(Qt::black));
  EXPECT_EQ(dock.secondary, QColor(Qt::white));
  EXPECT_EQ(primary.size(), 1);
  EXPECT_EQ(secondary.size(), 1);

  // The eyedropper's colour arrives silently, grey puts the wheel in the centre.
  dock.externalSetPrimary(QColor(90, 90, 90));
  EXPECT_EQ(dock.valueSlider->value(), 90);
  EXPECT_EQ(wheel->indicatorPos(), wheel->wheelRect().center());
  EXPECT_EQ(primary.size(), 1);
}

TEST(PaletteDock, WheelSquareFollowsTheWidgetSize) {
  ColorWheelWidget wheel;
  wheel.resize(300, 200);
  EXPECT_EQ(wheel.wheelRect(), QRectF(52, 2, 196, 196));
}

}  // namespace
