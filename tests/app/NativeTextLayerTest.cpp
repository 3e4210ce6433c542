// Cleaning the page's own text lines: separators, padding, rectangles, ink
// artefacts, the text-layer test and the two shared block predicates.
#include "NativeTextLayer.h"

#include <gtest/gtest.h>

namespace {

TextBlock textBlock(const QString& text, const QRectF& rect, float fontSize = 10) {
  TextBlock b;
  b.text = text;
  b.rect = rect;
  b.originalRect = rect;
  b.fontSize = fontSize;
  TextBlock::Line line;
  line.text = text;
  line.rect = rect;
  line.fontSize = fontSize;
  b.lines.push_back(line);
  return b;
}

TextBlock inkImage(const QRectF& rect) {
  TextBlock b;
  b.isImage = true;
  b.inkLayer = true;
  b.rect = rect;
  b.originalRect = rect;
  return b;
}

}  // namespace

TEST(NativeTextLayer, PaddingIsCutOnlyInRunsOfThree) {
  const struct {
    QString in;
    QString out;
  } cases[] = {
      {"Итого   ----", "Итого"},
      {"- пункт списка", "- пункт списка"},
      {"___", ""},
      {"--", "--"},
      {"____Подпись", "Подпись"},
      {"a_b", "a_b"},
      {QString::fromUtf8("\u2014\u2014\u2013 глава \u00A0\u00A0 "), "глава"},
  };
  for (const auto& c : cases) EXPECT_EQ(stripNativeDecorativePadding(c.in), c.out) << c.in.toStdString();

  EXPECT_TRUE(isDecorativeNativeSeparator(textBlock("________", QRectF(0, 0, 10, 10))));
  EXPECT_TRUE(isDecorativeNativeSeparator(textBlock(" - - ", QRectF(0, 0, 10, 10))));
  EXPECT_FALSE(isDecorativeNativeSeparator(textBlock("--", QRectF(0, 0, 10, 10))));
  EXPECT_FALSE(isDecorativeNativeSeparator(textBlock("---a", QRectF(0, 0, 10, 10))));
}

TEST(NativeTextLayer, RectanglesGrowToAUsableHeight) {
  const struct {
    QRectF in;
    double size;
    QRectF out;
  } cases[] = {
      {QRectF(100, 200, 50, 5), 10, QRectF(99.25, 200 - 3.4, 51.5, 11.8)},
      {QRectF(100, 200, 50, 20), 10, QRectF(99.25, 200, 51.5, 20)},
      {QRectF(100, 200, 50, 2), 2, QRectF(99.25, 197, 51.5, 8)},
      {QRectF(100, 200, 0, 5), 10, QRectF(100, 200, 0, 5)},
  };
  for (const auto& c : cases) {
    const QRectF r = expandedNativeTextRect(c.in, c.size);
    EXPECT_NEAR(r.x(), c.out.x(), 1e-9);
    EXPECT_NEAR(r.y(), c.out.y(), 1e-9);
    EXPECT_NEAR(r.width(), c.out.width(), 1e-9);
    EXPECT_NEAR(r.height(), c.out.height(), 1e-9);
  }
}

TEST(NativeTextLayer, LeaderLinesFoldIntoTheNearestWordAndVanish) {
  const QRectF word(100, 500, 60, 12);
  const QRectF leader(162, 500, 80, 12);
  const QRectF far(342, 500, 40, 12);
  std::vector<TextBlock> blocks = {textBlock("Фамилия", word), textBlock("________", leader),
                                   textBlock("Дата", far)};
  const std::vector<TextBlock> kept = cleanNativeTextBlocks(blocks, {});
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0].text, "Фамилия");
  // The word's box now reaches over the leader (then grown by 0.75 pt a side).
  EXPECT_NEAR(kept[0].rect.right(), leader.right() + 0.75, 1e-9);
  EXPECT_NEAR(kept[0].lines[0].rect.right(), leader.right() + 0.75, 1e-9);
  EXPECT_NEAR(kept[1].rect.right(), far.right() + 0.75, 1e-9);
  for (const TextBlock& b : kept) EXPECT_FALSE(isDecorativeNativeSeparator(b));
}

TEST(NativeTextLayer, TextOnAnInkImageIsDroppedWhenItLooksLikeInk) {
  const std::vector<TextBlock> ink = {inkImage(QRectF(100, 100, 200, 100))};
  const QRectF on(150, 140, 60, 12);
  const struct {
    QString text;
    QRectF rect;
    bool artefact;
  } cases[] = {
      {"Подпись", on, false},     {"Иванов A", on, true},     {"12.05.2024", on, false},
      {"1..2..3", on, true},      {"/", on, true},           {"~", on, true},
      {"\"", on, true},           {"Б7", on, true},          {"-", on, true},
      {"AB", QRectF(400, 140, 60, 12), false},  // beside the image
      {"AB", QRectF(295, 140, 60, 12), false},  // under a fifth inside
      {"AB", QRectF(250, 140, 60, 12), true},   // centre inside the image
  };
  for (const auto& c : cases)
    EXPECT_EQ(looksLikeInkLayerTextArtifact(textBlock(c.text, c.rect), ink), c.artefact) << c.text.toStdString();

  // An ordinary picture is not ink.
  TextBlock photo = inkImage(QRectF(100, 100, 200, 100));
  photo.inkLayer = false;
  EXPECT_FALSE(looksLikeInkLayerTextArtifact(textBlock("A", on), {photo}));
}

TEST(NativeTextLayer, UsableTextLayerNeedsTwelveCharactersOrOnePercent) {
  const QSizeF page(100, 100);  // 1 % is 100 square points
  const struct {
    QString text;
    QRectF rect;
    bool usable;
  } cases[] = {
      {"abcdefghijkl", QRectF(0, 0, 1, 1), true},
      {"abcdefghijk", QRectF(0, 0, 10, 5), false},
      {"abcdefghijk", QRectF(0, 0, 10, 10), true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(isUsableNativeTextLayer({textBlock(c.text, c.rect)}, page), c.usable) << c.text.toStdString();
}

TEST(NativeTextLayer, SharedBlockPredicates) {
  TextBlock placed;
  placed.isImage = true;
  placed.image = QImage(4, 4, QImage::Format_RGB32);
  EXPECT_TRUE(isInsertedImageObject(placed));
  placed.originalRect = QRectF(0, 0, 10, 10);
  EXPECT_FALSE(isInsertedImageObject(placed));
  placed.originalRect = QRectF();
  placed.image = QImage();
  EXPECT_FALSE(isInsertedImageObject(placed));

  // A block 100..120 pt from the bottom of a 200 pt page is 80..100 pt from its top.
  const TextBlock b = textBlock("x", QRectF(10, 100, 50, 20));
  EXPECT_TRUE(blockIntersectsTopOriginRect(b, QRectF(0, 90, 100, 5), 200));
  EXPECT_TRUE(blockIntersectsTopOriginRect(b, QRectF(0, 100.4, 100, 5), 200));  // within the half point
  EXPECT_FALSE(blockIntersectsTopOriginRect(b, QRectF(0, 101.5, 100, 5), 200));
  EXPECT_FALSE(blockIntersectsTopOriginRect(b, QRectF(0, 20, 100, 5), 200));
}
