// The scanned look of one page, measured on synthetic pages: each parameter
// changes the pixels the way its name says, and nothing else moves.
#include "CompressionStages.h"
#include "ScannedPageEffect.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <cmath>

namespace {

ScannedPdfExportOptions plain() {
  ScannedPdfExportOptions o;
  o.marginMm = 0;
  o.maxSkewDegrees = 0;
  o.darkness = o.contrast = o.noise = o.stripes = o.verticalStreaks = o.edgeShadow = o.foldedCorner = 0;
  o.grayscale = false;
  return o;
}

QImage greyPage(QSize size = {300, 400}, int grey = 150) {
  QImage page(size, QImage::Format_RGB32);
  page.fill(QColor(grey, grey, grey));
  return page;
}

double meanGrey(const QImage& image) {
  double sum = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) sum += qGray(image.pixel(x, y));
  return sum / (double(image.width()) * image.height());
}

// Mean over the image of the variance in each 3 x 3 neighbourhood.
double localVariance(const QImage& image) {
  double total = 0;
  int windows = 0;
  for (int y = 1; y + 1 < image.height(); y += 3)
    for (int x = 1; x + 1 < image.width(); x += 3) {
      double sum = 0, squares = 0;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const double v = qGray(image.pixel(x + dx, y + dy));
          sum += v;
          squares += v * v;
        }
      total += squares / 9 - (sum / 9) * (sum / 9);
      ++windows;
    }
  return total / windows;
}

}  // namespace

TEST(ScannedPageEffect, NeutralSettingsKeepPixelsAndMarkTheResolution) {
  EXPECT_TRUE(applyScannedPdfEffect(QImage(), plain(), 0, false).isNull());
  QImage page = greyPage();
  QPainter(&page).fillRect(QRect(20, 30, 50, 60), QColor(10, 200, 60));
  const QImage result = applyScannedPdfEffect(page, plain(), 3, false);
  ASSERT_EQ(result.size(), page.size());
  EXPECT_EQ(result.format(), QImage::Format_ARGB32);
  EXPECT_EQ(result.dotsPerMeterX(), 7874);
  EXPECT_EQ(result.dotsPerMeterY(), 7874);
  int changed = 0;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x) changed += result.pixel(x, y) != page.pixel(x, y);
  EXPECT_EQ(changed, 0);
}

TEST(ScannedPageEffect, EachParameterActsAsNamed) {
  const QImage page = greyPage();
  const QImage neutral = applyScannedPdfEffect(page, plain(), 0, false);

  ScannedPdfExportOptions dark = plain();
  dark.darkness = 30;  // two levels per step
  EXPECT_NEAR(meanGrey(neutral) - meanGrey(applyScannedPdfEffect(page, dark, 0, false)), 60, 1);

  ScannedPdfExportOptions grainy = plain();
  grainy.noise = 20;
  EXPECT_LT(localVariance(neutral), 0.01);
  EXPECT_GT(localVariance(applyScannedPdfEffect(page, grainy, 0, false)), 50);

  ScannedPdfExportOptions shadowed = plain();
  shadowed.edgeShadow = 60;
  const QImage shadow = applyScannedPdfEffect(page, shadowed, 0, false);
  EXPECT_LT(qGray(shadow.pixel(0, 200)), qGray(shadow.pixel(150, 200)) - 50);

  // A dark mark at the top left lands at the top right after a clockwise quarter turn.
  QImage marked = greyPage(QSize(300, 400), 230);
  QPainter(&marked).fillRect(QRect(0, 0, 60, 60), Qt::black);
  ScannedPdfExportOptions turned = plain();
  turned.rotation = 90;
  const QImage quarter = applyScannedPdfEffect(marked, turned, 0, false);
  ASSERT_EQ(quarter.size(), QSize(400, 300));
  EXPECT_LT(qGray(quarter.pixel(370, 30)), 40);
  EXPECT_GT(qGray(quarter.pixel(30, 30)), 200);

  ScannedPdfExportOptions tilted = plain();
  tilted.maxSkewDegrees = 3;
  tilted.randomize = false;
  const QImage tilt = applyScannedPdfEffect(marked, tilted, 0, false);
  EXPECT_GT(qGray(tilt.pixel(2, 58)), 200);  // the corner of the mark has turned away from its place
}

TEST(ScannedPageEffect, LookIsSeededByThePageAlone) {
  ScannedPdfExportOptions options;  // the defaults: every effect on, random tilt
  const QImage page = greyPage(QSize(240, 320), 200);
  const QImage first = applyScannedPdfEffect(page, options, 4, false);
  EXPECT_EQ(first, applyScannedPdfEffect(page, options, 4, false));
  EXPECT_NE(first, applyScannedPdfEffect(page, options, 5, false));
  EXPECT_NE(first, applyScannedPdfEffect(page, options, 4, true));  // only the tilt differs
  options.maxSkewDegrees = 0;
  EXPECT_EQ(applyScannedPdfEffect(page, options, 4, false), applyScannedPdfEffect(page, options, 4, true));
}

TEST(CompressionStages, OptionsMapToTheStageThatDescribesThem) {
  const auto options = [](int dpi, int quality, bool mono = false, bool raster = true, bool gray = false) {
    PdfDocument::CompressionOptions o;
    o.imageDpi = dpi;
    o.jpegQuality = quality;
    o.monochrome = mono;
    o.rasterizePages = raster;
    o.grayscale = gray;
    return o;
  };
  const struct {
    PdfDocument::CompressionOptions options;
    int stage;
  } cases[] = {
      {options(150, 55), 2},       {options(150, 55, false, true, true), 2}, {options(72, 35, true, false), 0},
      {options(81, 33), 3},        {options(80, 90), 4},                     {options(241, 79), 0},
      {options(240, 85), 1},       {options(72, 35, true), 5},               {options(300, 85), 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(stageForOptions(c.options), c.stage) << c.options.imageDpi << "/" << c.options.jpegQuality;
  for (int i = 0; i < kCompressionStageCount; ++i) EXPECT_EQ(stageForOptions(compressionStage(i).options), i);
  EXPECT_EQ(compressionStage(-3).title, compressionStage(0).title);
  EXPECT_EQ(compressionStage(9).shortLabel, QStringLiteral("Моно"));
}
