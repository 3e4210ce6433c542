// "Фон в прозрачность" on a scanned signature made here: dark ink on
// off-white, noisy paper. The paper goes, the ink stays.
#include "PaintTestRig.h"
#include "paint/BackgroundRemoval.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSlider>
#include <QTest>

#include <cmath>

using namespace painttest;

namespace {

// Paper (240, 236, 226) and ink (35, 40, 80), each channel with uniform
// noise; `ink` marks which pixels carry ink.
QImage scannedSignature(QImage* ink) {
  QImage scan(240, 100, QImage::Format_ARGB32_Premultiplied);
  QImage mask(scan.size(), QImage::Format_Grayscale8);
  mask.fill(0);
  QPainter pen(&mask);
  pen.setPen(QPen(Qt::white, 4));
  pen.setRenderHint(QPainter::Antialiasing, false);
  for (int i = 0; i < 5; ++i) pen.drawLine(20 + 40 * i, 80, 40 + 40 * i, 20);
  pen.drawEllipse(QRect(60, 30, 120, 40));
  pen.end();
  QRandomGenerator random(7);
  auto noisy = [&](int value, int spread) {
    return std::clamp(value + int(random.bounded(2 * spread + 1)) - spread, 0, 255);
  };
  for (int y = 0; y < scan.height(); ++y)
    for (int x = 0; x < scan.width(); ++x) {
      const bool isInk = qGray(mask.pixel(x, y)) > 128;
      scan.setPixel(x, y, isInk ? qRgb(noisy(35, 15), noisy(40, 15), noisy(80, 15))
                                : qRgb(noisy(240, 10), noisy(236, 10), noisy(226, 10)));
    }
  *ink = mask;
  return scan;
}

struct Counts {
  double paperRemoved = 0;
  double inkKept = 0;
};

Counts measure(const QImage& result, const QImage& ink, const QImage& scan) {
  int paper = 0, paperGone = 0, inkPixels = 0, inkSame = 0;
  for (int y = 0; y < result.height(); ++y)
    for (int x = 0; x < result.width(); ++x) {
      const QRgb r = result.pixel(x, y);
      if (qGray(ink.pixel(x, y)) > 128) {
        ++inkPixels;
        if (r == scan.pixel(x, y)) ++inkSame;
      } else {
        ++paper;
        if (qAlpha(r) == 0) ++paperGone;
      }
    }
  return {double(paperGone) / paper, double(inkSame) / inkPixels};
}

struct ToleranceCase {
  int tolerance;
  double minRemoved;
  double maxRemoved;
};

class ToleranceOnScan : public ::testing::TestWithParam<ToleranceCase> {};

TEST_P(ToleranceOnScan, PaperGoesInkStays) {
  const ToleranceCase c = GetParam();
  QImage ink;
  const QImage scan = scannedSignature(&ink);
  const QColor picked = scan.pixelColor(5, 5);  // one paper pixel, noise and all
  const Counts counts = measure(removeBackground(scan, picked, c.tolerance), ink, scan);
  EXPECT_GE(counts.paperRemoved, c.minRemoved);
  EXPECT_LE(counts.paperRemoved, c.maxRemoved);
  EXPECT_EQ(counts.inkKept, 1.0) << "ink pixels stay exactly as scanned";
}

// Paper noise spans 20 levels around any picked paper pixel: from tolerance
// 20 on, all of it goes; the ink is more than 160 levels away in red.
INSTANTIATE_TEST_SUITE_P(Tolerances, ToleranceOnScan,
                         ::testing::Values(ToleranceCase{0, 0.0, 0.01}, ToleranceCase{5, 0.05, 0.6},
                                           ToleranceCase{20, 1.0, 1.0}, ToleranceCase{60, 1.0, 1.0},
                                           ToleranceCase{160, 1.0, 1.0}));

TEST(BackgroundRule, ToleranceBoundsEachChannelAndTransparentPixelsStay) {
  QImage image(4, 1, QImage::Format_ARGB32_Premultiplied);
  image.setPixel(0, 0, qRgb(110, 100, 100));  // exactly 10 away in red
  image.setPixel(1, 0, qRgb(100, 111, 100));  // one more in green
  image.setPixel(2, 0, 0);                    // transparent
  image.setPixel(3, 0, qRgb(100, 100, 90));
  const QImage result = removeBackground(image, QColor(100, 100, 100), 10);
  EXPECT_EQ(result.pixel(0, 0), 0u);
  EXPECT_EQ(result.pixel(1, 0), qRgb(100, 111, 100));
  EXPECT_EQ(result.pixel(2, 0), 0u);
  EXPECT_EQ(result.pixel(3, 0), 0u);
}

// The whole road in the editor: arm the pick, click the paper with the
// eyedropper, set the tolerance in the dialog and apply or cancel.
TEST(BackgroundInEditor, PickPreviewApplyAndCancel) {
  for (const bool apply : {false, true}) {
    QImage ink;
    const QImage scan = scannedSignature(&ink);
    EditorRig rig(scan.size());
    rig.document()->activeLayer()->image = scan;
    rig.chooseTool("pencil");
    rig.host.makeBackgroundTransparent();
    EXPECT_EQ(rig.host.currentToolId, "eyedropper");
    ASSERT_TRUE(rig.host.pickHint && rig.host.pickHint->isVisible());

    rig.press({5, 5}, Qt::RightButton);  // a right pick only sets the secondary colour
    rig.release({5, 5}, Qt::RightButton);
    EXPECT_TRUE(rig.host.pickHint->isVisible());

    bool previewed = false;
    whenModalShows([&](QWidget* modal) {
      auto* slider = modal->findChild<QSlider*>();
      if (!slider) return false;
      previewed = rig.activeImage() != scan;
      slider->setValue(160);
      slider->setValue(25);
      auto* buttons = modal->findChild<QDialogButtonBox*>();
      QTest::mouseClick(buttons->button(apply ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel), Qt::LeftButton);
      return true;
    });
    rig.press({5, 5});
    rig.release({5, 5});

    EXPECT_TRUE(previewed);
    EXPECT_FALSE(rig.host.pickHint->isVisible());
    EXPECT_EQ(rig.host.currentToolId, "pencil");
    if (apply) {
      const Counts counts = measure(rig.activeImage(), ink, scan);
      EXPECT_EQ(counts.paperRemoved, 1.0);
      EXPECT_EQ(counts.inkKept, 1.0);
      EXPECT_EQ(rig.undoTexts(), QStringList{"Фон в прозрачность"});
    } else {
      EXPECT_EQ(rig.activeImage(), scan);
      EXPECT_TRUE(rig.undoTexts().isEmpty());
    }
  }
}

}  // namespace
