// Fonts of block lines: colours, sizes by route, spacing, and the cache that
// keeps the fitting off the repaint path.
#include "BlockTestData.h"
#include "view/BlockTextRenderer.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>

#include <cmath>
#include <functional>

namespace {

using blocktest::nativeLine;

TextBlock blockOf(std::vector<TextBlock::Line> lines) {
  TextBlock block;
  block.lines = std::move(lines);
  if (!block.lines.empty()) {
    block.text = block.lines.front().text;
    block.rect = block.lines.front().rect;
    block.fontFamily = block.lines.front().fontFamily;
    block.fontSize = block.lines.front().fontSize;
  }
  return block;
}

double tightHeight(QFont font, int px, const QString& text) {
  font.setPixelSize(px);
  return QFontMetricsF(font).tightBoundingRect(text).height();
}

TEST(BlockTextRendererTest, SampleFittingPicksTheClosestInkHeight) {
  QFont font(QStringLiteral("Liberation Serif"));
  const QString text = QStringLiteral("Hxgy");
  for (double target : {6.0, 13.3, 27.0, 55.5}) {
    const int px = fittedFontPixelSize(font, text, target, 4, 120);
    const double diff = std::abs(tightHeight(font, px, text) - target);
    for (int other : {px - 1, px + 1}) {
      if (other < 4 || other > 120) continue;
      EXPECT_LE(diff, std::abs(tightHeight(font, other, text) - target)) << target << " px " << px;
    }
  }
  // A target of a point or less takes the font's own size within the bounds.
  font.setPixelSize(200);
  EXPECT_EQ(fittedFontPixelSize(font, text, 1.0, 4, 120), 120);
  font.setPixelSize(2);
  EXPECT_EQ(fittedFontPixelSize(font, text, 0.5, 4, 120), 4);
  font.setPixelSize(33);
  EXPECT_EQ(fittedFontPixelSize(font, text, 1.0, 4, 120), 33);
}

TEST(BlockTextRendererTest, NativeLinesAreFittedToTheirBox) {
  // Boxes measured from the font at a known size must give that size back,
  // at any zoom.
  const QString text = QStringLiteral("Договор поставки 2024");
  for (int truePx : {12, 18, 30}) {
    for (double zoom : {1.0, 2.0}) {
      QFont reference(QStringLiteral("Liberation Serif"));
      reference.setPixelSize(truePx);
      const QFontMetricsF metrics(reference);
      const QRectF ink = metrics.tightBoundingRect(text);
      const QRectF box(100, 500, metrics.horizontalAdvance(text), ink.height());
      const TextBlock block = blockOf({nativeLine(text, box, static_cast<float>(truePx), "ABCDEF+TimesNewRomanPSMT")});
      const QFont font = lineRenderFont(block.lines[0], block, zoom, block.text, true, 1.0);
      EXPECT_NEAR(font.pixelSize(), truePx * zoom, 1.0 + zoom) << truePx << " at " << zoom;
      EXPECT_LE(std::abs(font.letterSpacing()), std::max(0.08 * font.pixelSize(), 0.35) + 1e-9);
    }
  }
  // An empty native line is measured with the fallback sample.
  const TextBlock empty = blockOf({nativeLine(QString(), QRectF(0, 0, 200, 11), 12.0f, "Arial")});
  const QFont font = lineRenderFont(empty.lines[0], empty, 1.0, QString(), true, 1.0);
  EXPECT_GE(font.pixelSize(), 4);
  EXPECT_LE(font.pixelSize(), 14);
}

TEST(BlockTextRendererTest, ThinItalicNativeTextIsDrawnSemiBold) {
  const struct {
    float size;
    const char* family;
    bool bold;
    int weight;
    bool italic;
  } cases[] = {
      {10.0f, "Arial-ItalicMT", false, 600, true},
      {10.6f, "Arial-ItalicMT", false, 400, true},
      {10.0f, "Arial-BoldItalicMT", true, 700, true},
      {10.0f, "ArialMT", false, 400, false},  // flagged italic, name says upright
      // TeX italic shows in DejaVu Serif Italic, the face it is written in, which has no semi-bold.
      {10.0f, "YFYCUT+CMTI10", false, 400, true},
      {10.0f, "CMSL10", false, 400, true},
      {10.0f, "CMTT10", false, 400, false},
  };
  for (const auto& c : cases) {
    TextBlock::Line line = nativeLine(QStringLiteral("italic text"), QRectF(0, 0, 60, 10), c.size, c.family);
    line.italic = true;
    line.bold = c.bold;
    const TextBlock block = blockOf({line});
    const QFont font = lineRenderFont(line, block, 1.0, QString(), false, 1.0);
    EXPECT_EQ(font.weight(), c.weight) << c.family << " " << c.size;
    EXPECT_EQ(font.italic(), c.italic) << c.family;
  }
}

TEST(BlockTextRendererTest, RecognisedBlocksTakeOneSizeFromTheirLines) {
  TextBlock block;
  block.fontSize = 8.0f;
  block.transparentText = true;
  for (double h : {10.0, 12.0, 30.0}) {
    TextBlock::Line line;
    line.text = QStringLiteral("scanned words here");
    line.rect = QRectF(0, 0, 120, h);
    block.lines.push_back(line);
  }
  const struct {
    double zoom, scale;
    int px;
  } cases[] = {
      {1.0, 1.0, 12},   // 12 x 0.98 = 11.76
      {2.0, 1.0, 24},   // 23.52
      {1.0, 1.08, 13},  // 12.70
      {30.0, 1.0, 240},  // clamped
  };
  for (const auto& c : cases) {
    const QFont font = lineRenderFont(block.lines[1], block, c.zoom, QString(), false, c.scale);
    EXPECT_EQ(font.pixelSize(), c.px) << c.zoom << " " << c.scale;
  }
}

TEST(BlockTextRendererTest, ScannedSpacingStretchesOrSqueezesWithinLimits) {
  QFont base(QStringLiteral("Liberation Sans"));
  base.setPixelSize(10);
  const double advanceOf20 = QFontMetricsF(base).horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
  const struct {
    const char* text;
    double widthPx;
    int words;
    double letter;  // expected absolute letter spacing, 0 for none
    double wordSpacing;
  } cases[] = {
      {"A", 200, 1, 0, 0},                                   // one character: nothing
      {"ABCDEFGHIJKLMNOPQRST", advanceOf20 - 10, 1, -10.0 / 19, 0},
      {"ABCDEFGHIJKLMNOPQRST", advanceOf20 - 60, 1, -0.8, 0},  // never below -0.08 px
      {"ABCDEFGHIJKLMNOPQRST", advanceOf20 + 0.5, 1, 0, 0},    // close enough
      {"ABCDEFGHIJKLMNOPQRST", advanceOf20 + 60, 5, 2.2, 0},  // at most 0.22 px more
      {"AB CD", 300, 2, 0, 0},                               // short label in a wide box
  };
  for (const auto& c : cases) {
    TextBlock::Line line;
    line.text = QString::fromLatin1(c.text);
    line.rect = QRectF(0, 0, c.widthPx, 10);
    line.words.resize(static_cast<std::size_t>(c.words));
    QFont font = base;
    applyScannedOcrSpacing(font, line, 1.0, QString());
    // QFont keeps spacings in 1/64 pixel.
    EXPECT_NEAR(font.letterSpacing(), c.letter, 1.0 / 64) << c.text << " " << c.widthPx;
    EXPECT_GE(font.letterSpacing(), -0.08 * 10 - 1e-9);
    EXPECT_NEAR(font.wordSpacing(), c.wordSpacing, 1.0 / 64) << c.text;
  }
  // Words spread a wide line through the word spacing.
  TextBlock::Line line;
  line.text = QStringLiteral("one two three four five six");
  line.words.resize(6);
  QFont font = base;
  const double advance = QFontMetricsF(font).horizontalAdvance(line.text);
  line.rect = QRectF(0, 0, advance + 25, 10);
  applyScannedOcrSpacing(font, line, 1.0, QString());
  EXPECT_NEAR(font.wordSpacing(), 5.0, 1.0 / 64);
}

TEST(BlockTextRendererTest, CacheRefitsOnlyWhenTheBlockTextOrZoomChanges) {
  const QString text = QStringLiteral("Cached line of native text");
  TextBlock block = blockOf({nativeLine(text, QRectF(50, 600, 160, 11), 12.0f, "TimesNewRomanPSMT"),
                             nativeLine(QStringLiteral("second"), QRectF(50, 585, 50, 11), 12.0f, "ArialMT")});
  BlockTextRenderer renderer;
  auto fontOf = [&](int line, double zoom) { return renderer.lineFont(0, line, block, zoom, text, true, 1.0); };

  const QFont first = fontOf(0, 1.0);
  const QFont direct = lineRenderFont(block.lines[0], block, 1.0, text, true, 1.0);
  EXPECT_EQ(first.pixelSize(), direct.pixelSize());
  EXPECT_DOUBLE_EQ(first.letterSpacing(), direct.letterSpacing());
  EXPECT_EQ(first.family(), direct.family());
  EXPECT_EQ(renderer.fitCount(), 1);

  const struct {
    const char* step;
    std::function<void()> change;
    int fits;  // total after the step
  } steps[] = {
      {"repaint", [] {}, 1},
      {"other line", [&] { fontOf(1, 1.0); }, 2},
      {"zoom there and back", [&] { fontOf(0, 2.0); }, 4},
      {"retyped", [&] { block.lines[0].text = QStringLiteral("Retyped"); }, 5},
      {"moved block keeps its font", [&] { block.rect.translate(30, 30); }, 5},
      {"line box resized", [&] { block.lines[0].rect.setHeight(20); }, 6},
      {"bold", [&] { block.lines[0].bold = true; }, 7},
  };
  for (const auto& s : steps) {
    s.change();
    fontOf(0, 1.0);
    EXPECT_EQ(renderer.fitCount(), s.fits) << s.step;
  }
  // The same line of another block is a separate entry.
  renderer.lineFont(1, 0, block, 1.0, text, true, 1.0);
  EXPECT_EQ(renderer.fitCount(), 8);
  EXPECT_EQ(renderer.entryCount(), 3);
  renderer.clear();
  fontOf(0, 1.0);
  EXPECT_EQ(renderer.fitCount(), 9);
  // Out-of-range lines give a default font and fit nothing.
  EXPECT_EQ(renderer.lineFont(0, 7, block, 1.0, text, true, 1.0), QFont());
  EXPECT_EQ(renderer.fitCount(), 9);
}

}  // namespace
