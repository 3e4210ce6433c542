// The fast ink scan (blocks of four pixels, tables for grey) must give exactly
// what the plain pixel-by-pixel rule gives, kept here as the slow reference.
#include "core/InkColour.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <algorithm>

namespace {

std::optional<QColor> referenceInkColour(const QImage& image, const QRect& rect) {
  const QRect pixels = rect.intersected(image.rect());
  if (pixels.isEmpty()) return std::nullopt;
  qint64 coloured[4] = {0, 0, 0, 0};
  qint64 dark[4] = {0, 0, 0, 0};
  for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = pixels.left(); x <= pixels.right(); ++x) {
      const QRgb px = row[x];
      if (qAlpha(px) < 16) continue;
      const int r = qRed(px), g = qGreen(px), b = qBlue(px);
      const int mx = std::max({r, g, b});
      const int sat = mx - std::min({r, g, b});
      const int s = 11 * r + 16 * g + 5 * b;
      const int lightness = s / 32;
      qint64* sums = nullptr;
      int weight = 0;
      if (s < 7520 && mx > 55 && sat > 31) {
        sums = coloured;
        weight = (245 - lightness) / 2 + sat;
      } else if (lightness <= 214) {
        sums = dark;
        weight = 245 - lightness;
      } else {
        continue;
      }
      sums[0] += qint64(r) * weight;
      sums[1] += qint64(g) * weight;
      sums[2] += qint64(b) * weight;
      sums[3] += weight;
    }
  }
  const qint64* chosen = coloured[3] > 0 ? coloured : (dark[3] >= 1 ? dark : nullptr);
  if (!chosen) return std::nullopt;
  return QColor(int(chosen[0] / chosen[3]), int(chosen[1] / chosen[3]), int(chosen[2] / chosen[3]), 255);
}

// Paper with anti-aliased strokes of grey and of tinted black (channels a
// little apart, as black mixed from colours renders), dark and light
// saturated pixels on both sides of the colour thresholds, some coloured and
// some see-through pixels.
QImage inkedPaper(int width, int height, QRandomGenerator& random, int colouredPercent) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(Qt::white);
  auto channel = [&](int base, int spread) { return std::clamp(base + int(random.bounded(-spread, spread + 1)), 0, 255); };
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width;) {
      const int run = 1 + int(random.bounded(9));
      const bool ink = random.bounded(3) == 0;
      for (int k = 0; k < run && x < width; ++k, ++x) {
        if (!ink) continue;
        const int roll = int(random.bounded(100));
        const int v = int(random.bounded(256));
        if (roll < colouredPercent)
          row[x] = qRgba(int(random.bounded(256)), int(random.bounded(256)), int(random.bounded(256)), 255);
        else if (roll < colouredPercent + 3)
          row[x] = qRgba(v, v, v, int(random.bounded(32)));  // around the alpha floor of 16
        else if (roll < colouredPercent + 30)
          row[x] = qRgb(channel(v, 20), channel(v, 20), channel(v, 20));
        else if (roll < colouredPercent + 35)
          row[x] = qRgb(channel(40, 40), channel(20, 20), channel(30, 30));  // saturated but too dark
        else if (roll < colouredPercent + 40)
          row[x] = qRgb(channel(250, 5), channel(215, 15), channel(235, 20));  // saturated but too light
        else
          row[x] = qRgb(v, v, v);
      }
    }
  }
  return image;
}

void expectSame(const std::optional<QColor>& fast, const std::optional<QColor>& slow) {
  ASSERT_EQ(fast.has_value(), slow.has_value());
  if (fast) {
    EXPECT_EQ(fast->rgba(), slow->rgba());
  }
}

}  // namespace

TEST(InkColour, FastScanEqualsThePixelByPixelRule) {
  QRandomGenerator random(29);
  for (int colouredPercent : {0, 2, 40}) {
    const QImage image = inkedPaper(203, 61, random, colouredPercent);
    for (int i = 0; i < 300; ++i) {
      // Every start and width modulo four, partly outside the image too.
      const QRect rect(int(random.bounded(-6, 200)), int(random.bounded(-6, 58)), int(random.bounded(1, 40)),
                       int(random.bounded(1, 12)));
      SCOPED_TRACE(QStringLiteral("%1%% coloured, %2,%3 %4x%5")
                       .arg(colouredPercent).arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height())
                       .toStdString());
      expectSame(inkColourOfPixels(image, rect), referenceInkColour(image, rect));
    }
  }
}

TEST(InkColour, PixelsOnEitherSideOfEachThreshold) {
  // Each pixel sits in a block of four with tinted black, where the fast scan
  // decides a whole block at once.
  const QRgb edges[] = {qRgb(199, 255, 250), qRgb(200, 255, 248),  // 11r + 16g + 5b of 7519 and 7520
                        qRgb(0, 0, 55),      qRgb(0, 0, 56),       // brightest channel 55 and 56
                        qRgb(25, 25, 56),    qRgb(24, 24, 56),     // saturation 31 and 32
                        qRgba(30, 30, 30, 15), qRgba(30, 30, 30, 16),
                        qRgba(40, 35, 38, 15), qRgba(40, 35, 38, 16),
                        qRgb(214, 214, 214), qRgb(215, 215, 215),
                        qRgb(216, 214, 213), qRgb(217, 215, 214)};  // lightness 214 and 215
  for (const QRgb edge : edges) {
    for (int at = 0; at < 4; ++at) {
      QImage image(8, 1, QImage::Format_ARGB32);
      image.fill(qRgb(35, 31, 32));
      image.setPixel(at, 0, edge);
      SCOPED_TRACE(QStringLiteral("%1 at %2").arg(edge, 8, 16, QLatin1Char('0')).arg(at).toStdString());
      expectSame(inkColourOfPixels(image, image.rect()), referenceInkColour(image, image.rect()));
      image.fill(Qt::white);
      image.setPixel(at, 0, edge);
      expectSame(inkColourOfPixels(image, image.rect()), referenceInkColour(image, image.rect()));
    }
  }
}

TEST(InkColour, PaperGreyAndLongRows) {
  QImage paper(64, 4, QImage::Format_ARGB32);
  paper.fill(Qt::white);
  EXPECT_FALSE(inkColourOfPixels(paper, paper.rect()).has_value());  // nothing drawn
  paper.fill(qRgb(215, 215, 215));
  EXPECT_FALSE(inkColourOfPixels(paper, paper.rect()).has_value());  // lighter than ink
  paper.fill(qRgb(214, 214, 214));
  EXPECT_EQ(inkColourOfPixels(paper, paper.rect()), QColor(214, 214, 214));
  EXPECT_FALSE(inkColourOfPixels(paper, QRect(70, 0, 5, 5)).has_value());

  // A row whose grey sums would overflow the 32-bit lanes were they not
  // flushed in time (122 adds the most), and one red pixel that wins over it.
  QImage wide(600001, 1, QImage::Format_ARGB32);
  wide.fill(qRgb(122, 122, 122));
  expectSame(inkColourOfPixels(wide, wide.rect()), referenceInkColour(wide, wide.rect()));
  wide.setPixel(599999, 0, qRgb(200, 10, 10));
  expectSame(inkColourOfPixels(wide, wide.rect()), referenceInkColour(wide, wide.rect()));
  EXPECT_EQ(inkColourOfPixels(wide, wide.rect()), QColor(200, 10, 10));
  wide.fill(qRgb(130, 110, 110));  // tinted black sums per channel
  expectSame(inkColourOfPixels(wide, wide.rect()), referenceInkColour(wide, wide.rect()));
  EXPECT_EQ(inkColourOfPixels(wide, wide.rect()), QColor(130, 110, 110));
}
