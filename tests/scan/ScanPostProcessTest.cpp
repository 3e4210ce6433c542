// The post-processing steps on synthetic pages: what each step promises and
// where it must leave the page alone.
#include "scan/ScanPostProcess.h"

#include <QPainter>
#include <QTransform>

#include <gtest/gtest.h>

namespace {

// A white page with dark text-like bars inside margins, optionally rotated.
QImage page(double angle = 0, QSize size = QSize(400, 560), int margin = 60) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(size.width() / 2.0, size.height() / 2.0);
  painter.rotate(angle);
  painter.translate(-size.width() / 2.0, -size.height() / 2.0);
  for (int y = margin; y < size.height() - margin; y += 20)
    painter.fillRect(QRect(margin, y, size.width() - 2 * margin, 8), Qt::black);
  painter.end();
  return image;
}

TEST(ScanPostProcessTest, WithEverySwitchOffThePageComesBackAsItWas) {
  QImage grey = page().convertToFormat(QImage::Format_Grayscale8);
  grey.setDotsPerMeterX(11811);
  grey.setDotsPerMeterY(11811);
  const QImage result = applyPostProcess(grey, ScanParams());
  EXPECT_EQ(result.format(), QImage::Format_Grayscale8);
  EXPECT_EQ(result, grey);
  EXPECT_TRUE(applyPostProcess(QImage(), ScanParams()).isNull());
}

TEST(ScanPostProcessTest, DeskewFindsTheAngleAndIgnoresSmallOnes) {
  // Rotating the page by +3 degrees is undone by rotating it back.
  EXPECT_NEAR(scanfilter::skewAngle(page(3)), -3.0, 0.5);
  EXPECT_DOUBLE_EQ(scanfilter::skewAngle(page(0)), 0.0);
  const QImage straight = page(0.2);
  EXPECT_EQ(scanfilter::deskew(straight), straight);
  const QImage skewed = page(4);
  EXPECT_NE(scanfilter::deskew(skewed).size(), skewed.size());
  QImage blank(300, 400, QImage::Format_RGB32);
  blank.fill(Qt::white);
  EXPECT_EQ(scanfilter::deskew(blank), blank);
  const QImage tiny = page(5, QSize(50, 50), 5);
  EXPECT_EQ(scanfilter::deskew(tiny), tiny);
}

TEST(ScanPostProcessTest, PagesWithoutLinesAreLeftAsScanned) {
  QImage black(400, 560, QImage::Format_RGB32);
  black.fill(Qt::black);
  QImage grey(400, 560, QImage::Format_RGB32);
  grey.fill(QColor(90, 90, 90));
  // Salt and pepper at every pixel: dark rows only by chance.
  QImage noise(400, 560, QImage::Format_RGB32);
  quint32 state = 12345;
  for (int y = 0; y < noise.height(); ++y)
    for (int x = 0; x < noise.width(); ++x) {
      state = state * 1664525u + 1013904223u;
      noise.setPixel(x, y, (state >> 16) & 1 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    }
  for (const QImage& image : {black, grey, noise}) {
    EXPECT_DOUBLE_EQ(scanfilter::skewAngle(image), 0.0);
    EXPECT_EQ(scanfilter::deskew(image), image);
  }
  // A page of lines among the noise is still straightened.
  EXPECT_NEAR(scanfilter::skewAngle(page(-6)), 6.0, 0.5);
}

TEST(ScanPostProcessTest, PageFrameKeepsTheContentNotTheCorner) {
  const QImage source = page(0, QSize(400, 560), 100);
  const QImage framed = scanfilter::perspCorrect(source);
  ASSERT_LT(framed.width(), source.width());
  // The content's first bar now starts at the top-left corner.
  EXPECT_LT(qGray(framed.pixel(2, 2)), 100);
  const QImage full = page(0, QSize(400, 560), 2);
  EXPECT_EQ(scanfilter::perspCorrect(full), full);
}

TEST(ScanPostProcessTest, MarginCropKeepsAMarginAndRefusesSmallCrops) {
  const QImage cropped = scanfilter::cropMargins(page(0, QSize(400, 560), 100));
  EXPECT_EQ(cropped.width(), 200 + 2 * 5);
  const QImage narrow(400, 560, QImage::Format_RGB32);
  QImage small = narrow.copy();
  small.fill(Qt::white);
  QPainter(&small).fillRect(QRect(180, 200, 40, 200), Qt::black);
  EXPECT_EQ(scanfilter::cropMargins(small), small);
}

TEST(ScanPostProcessTest, ToneStepsFollowTheirCurves) {
  QImage dim(100, 100, QImage::Format_RGB32);
  dim.fill(QColor(100, 100, 100));
  EXPECT_EQ(QColor(scanfilter::autoBrightness(dim).pixel(5, 5)), QColor(255, 255, 255));
  QImage black(100, 100, QImage::Format_RGB32);
  black.fill(Qt::black);
  EXPECT_EQ(scanfilter::autoBrightness(black), black);
  QImage tinted(10, 10, QImage::Format_RGB32);
  tinted.fill(QColor(200, 100, 150));
  const QColor balanced = scanfilter::whiteBalance(tinted).pixelColor(3, 3);
  EXPECT_EQ(balanced, QColor(150, 150, 150));
  QImage ramp(256, 1, QImage::Format_RGB32);
  for (int x = 0; x < 256; ++x) ramp.setPixel(x, 0, qRgb(x, x, x));
  const QImage curved = scanfilter::enhanceText(ramp);
  EXPECT_EQ(qRed(curved.pixel(0, 0)), 0);
  EXPECT_EQ(qRed(curved.pixel(64, 0)), 32);
  EXPECT_EQ(qRed(curved.pixel(255, 0)), 255);
}

TEST(ScanPostProcessTest, ImpulseNoiseIsRemovedAndEdgesStay) {
  QImage noisy(20, 20, QImage::Format_RGB32);
  noisy.fill(Qt::white);
  noisy.setPixel(10, 10, qRgb(0, 0, 0));
  noisy.setPixel(5, 5, qRgb(20, 20, 20));
  const QImage cleaned = scanfilter::removeImpulseNoise(noisy);
  EXPECT_EQ(qGray(cleaned.pixel(10, 10)), 0);  // pure black keeps its colour
  EXPECT_GT(qGray(cleaned.pixel(5, 5)), 200);
  EXPECT_EQ(cleaned.pixel(0, 0), noisy.pixel(0, 0));
}

}  // namespace
