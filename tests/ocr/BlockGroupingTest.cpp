#include "OcrTestLines.h"

#include "ocr/BlockGrouping.h"

#include <QPainter>

#include <gtest/gtest.h>

using ocrtest::makeBlock;
using ocrtest::makeLine;

namespace {

constexpr double kPageHeight = 800;
constexpr double kPageWidth = 600;

QImage ruledPage(int width, int height, int horizontal, int vertical) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter p(&image);
  p.setPen(QPen(Qt::black, 2));
  for (int i = 0; i < horizontal; ++i) p.drawLine(20, 30 + i * 40, width - 20, 30 + i * 40);
  for (int i = 0; i < vertical; ++i) p.drawLine(30 + i * 100, 10, 30 + i * 100, height - 10);
  return image;
}

}  // namespace

TEST(BlockGrouping, TablePageNeedsRulesBothWays) {
  struct Case {
    int width, height, horizontal, vertical;
    bool table;
  } cases[] = {
      {400, 300, 4, 2, true},   {400, 300, 3, 6, false}, {400, 300, 6, 1, false},
      {79, 300, 6, 6, false},   {400, 79, 6, 6, false},  {400, 300, 0, 0, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isLikelyTablePage(ruledPage(c.width, c.height, c.horizontal, c.vertical)), c.table)
        << c.width << "x" << c.height << " " << c.horizontal << "/" << c.vertical;
  }
  EXPECT_FALSE(isLikelyTablePage(QImage()));
}

TEST(BlockGrouping, ParagraphsByGapAndAlignment) {
  struct Case {
    const char* name;
    std::vector<TextBlock::Line> lines;
    QStringList blocks;
  } cases[] = {
      // 12 pt lines: a second line joins at up to max(1.45 * 12, 10) = 17.4 pt.
      {"14 pt gap joins", {makeLine("one", 50, 700, 300, 12), makeLine("two", 50, 674, 300, 12)}, {"one\ntwo"}},
      {"20 pt gap splits", {makeLine("one", 50, 700, 300, 12), makeLine("two", 50, 668, 300, 12)}, {"one", "two"}},
      // A third line joins only within max(0.85 * 12, 6) = 10.2 pt.
      {"third line at 10 pt joins",
       {makeLine("a", 50, 700, 300, 12), makeLine("b", 50, 676, 300, 12), makeLine("c", 50, 654, 300, 12)},
       {"a\nb\nc"}},
      {"third line at 14 pt splits",
       {makeLine("a", 50, 700, 300, 12), makeLine("b", 50, 676, 300, 12), makeLine("c", 50, 650, 300, 12)},
       {"a\nb", "c"}},
      {"centred heading overlapping the paragraph joins",
       {makeLine("Heading", 150, 720, 100, 12), makeLine("body", 50, 700, 300, 12)}, {"Heading\nbody"}},
      {"page number far right stays apart",
       {makeLine("body text", 50, 700, 300, 12), makeLine("7", 520, 684, 8, 12)}, {"body text", "7"}},
      {"blocks level within 8 pt ordered left to right",
       {makeLine("right", 300, 700, 100, 12), makeLine("left", 50, 694, 100, 12)}, {"left", "right"}},
      {"no lines", {}, {}},
  };
  for (const Case& c : cases) {
    const auto blocks = groupOcrLines(c.lines, 3, kPageHeight);
    EXPECT_EQ(ocrtest::textsOf(blocks), c.blocks) << c.name;
    for (const auto& b : blocks) {
      EXPECT_EQ(b.page, 3);
      EXPECT_EQ(b.rect, b.originalRect);
      EXPECT_FALSE(b.isImage);
    }
  }
}

TEST(BlockGrouping, JoinedBlockTakesUnionAndMeanSize) {
  const auto blocks =
      groupOcrLines({makeLine("one", 50, 700, 300, 12, 10.0f), makeLine("two", 60, 674, 320, 12, 14.0f)}, 0,
                    kPageHeight);
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].rect, QRectF(50, 674, 330, 38));
  EXPECT_FLOAT_EQ(blocks[0].fontSize, 12.0f);
}

TEST(BlockGrouping, TableColumnRuns) {
  struct Case {
    const char* name;
    std::vector<TextBlock::Line> lines;
    QStringList blocks;
  } cases[] = {
      {"cells of one row never join",
       {makeLine("Code", 50, 700, 60, 10), makeLine("Amount", 130, 700, 60, 10)}, {"Code", "Amount"}},
      {"lines of one cell stack",
       {makeLine("Copper", 50, 700, 60, 10), makeLine("wire", 50, 688, 40, 10)}, {"Copper\nwire"}},
      {"numbered clause stands alone",
       {makeLine("1. Сведения о земельном участке", 50, 700, 400, 10), makeLine("continued", 50, 688, 380, 10)},
       {"1. Сведения о земельном участке", "continued"}},
      {"empty lines are dropped", {makeLine("  ", 50, 700, 60, 10), makeLine("cell", 50, 680, 60, 10)}, {"cell"}},
      {"zero-size lines are dropped", {makeLine("ghost", 50, 700, 0, 10)}, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ocrtest::textsOf(groupTableColumnRuns(c.lines, 1, kPageWidth, kPageHeight)), c.blocks) << c.name;
  }
}

TEST(BlockGrouping, BlockBuildersKeepRectanglesHonest) {
  TextBlock block = blockFromOcrLines({makeLine("second", 50, 680, 80, 10, 9.0f), makeLine("first", 50, 700, 200, 10, 11.0f)},
                                      4, kPageHeight);
  EXPECT_EQ(block.text, QStringLiteral("first\nsecond"));
  EXPECT_EQ(block.rect, QRectF(50, 680, 200, 30));
  EXPECT_EQ(block.page, 4);
  EXPECT_FLOAT_EQ(block.fontSize, 11.0f);  // from the line with the most text

  TextBlock empty = makeBlock({makeLine(" ", 10, 10, 20, 10)});
  const QRectF before = empty.rect = empty.originalRect = QRectF(1, 2, 3, 4);
  rebuildBlockFromLines(empty);
  EXPECT_TRUE(empty.text.isEmpty());
  EXPECT_EQ(empty.rect, before);
  EXPECT_EQ(empty.originalRect, before);
}
