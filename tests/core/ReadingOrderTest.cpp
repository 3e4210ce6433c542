// Reading order of the blocks of a page: pairwise rule and the sort.
#include "core/ReadingOrder.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr double kW = 595;
constexpr double kH = 842;

// A block with its upper edge at `top` (points from the bottom of the page).
TextBlock blockAt(double x, double top, double w, double h, const QString& text = QString(), bool vertical = false) {
  TextBlock b;
  b.rect = QRectF(x, top - h, w, h);
  b.text = text;
  b.vertical = vertical;
  return b;
}

struct PairCase {
  const char* name;
  TextBlock a;
  TextBlock b;
  bool aFirst;
  bool bFirst;
};

}  // namespace

TEST(ReadingOrder, PairwiseRule) {
  const double split = 0.43 * kW;
  const PairCase cases[] = {
      {"top band: left before right although lower", blockAt(60, 790, 100, 12), blockAt(350, 800, 100, 12), true,
       false},
      {"below the band: the higher first", blockAt(60, 500, 100, 12), blockAt(350, 520, 100, 12), false, true},
      {"centre exactly at 0.43 W counts as right", blockAt(split - 50, 800, 100, 12),
       blockAt(split - 60, 790, 100, 12), false, true},
      {"one line, overlap 0.4 of the smaller height: left first", blockAt(300, 506, 100, 10),
       blockAt(60, 500, 100, 10), false, true},
      {"overlap 0.3: the higher first", blockAt(300, 507, 100, 10), blockAt(60, 500, 100, 10), true, false},
      {"zero height never shares a line", blockAt(300, 505, 100, 0), blockAt(60, 506, 100, 10), false, true},
      {"one line, equal x: the higher first", blockAt(60, 500, 100, 10), blockAt(60, 506, 100, 10), false, true},
      {"a tall block beside a short line within its height: left first", blockAt(300, 520, 100, 100),
       blockAt(60, 480, 100, 10), false, true},
      {"vertical columns side by side, in the top band too: right first", blockAt(60, 800, 20, 200, "", true),
       blockAt(300, 790, 20, 200, "", true), false, true},
  };
  for (const PairCase& c : cases) {
    EXPECT_EQ(readsBefore(c.a, c.b, kW, kH), c.aFirst) << c.name;
    EXPECT_EQ(readsBefore(c.b, c.a, kW, kH), c.bFirst) << c.name;
  }
}

TEST(ReadingOrder, TwoColumnsInTheTopBandReadLeftColumnFirst) {
  std::vector<TextBlock> blocks = {
      blockAt(330, 790, 200, 12, "R1"), blockAt(60, 780, 200, 12, "L1"), blockAt(330, 770, 200, 12, "R2"),
      blockAt(60, 760, 200, 12, "L2"),  blockAt(60, 300, 200, 12, "Foot"),
  };
  sortReadingOrder(blocks, kW, kH);
  QStringList order;
  for (const TextBlock& b : blocks) order << b.text;
  EXPECT_EQ(order, QStringList({"L1", "L2", "R1", "R2", "Foot"}));
}

TEST(ReadingOrder, CyclicRectanglesStillGiveEveryBlockOnce) {
  // L before R by the top band, R before C and C before L on one line (C
  // lies just below the band): no order satisfies every pair, yet the sort
  // must end with the same blocks.
  std::vector<TextBlock> blocks = {blockAt(200, 636, 200, 10, "R"), blockAt(210, 634, 60, 10, "L"),
                                   blockAt(205, 631, 50, 10, "C"), blockAt(10, 10, 0, 0, "D")};
  ASSERT_TRUE(readsBefore(blocks[1], blocks[0], kW, kH));
  ASSERT_TRUE(readsBefore(blocks[0], blocks[2], kW, kH));
  ASSERT_TRUE(readsBefore(blocks[2], blocks[1], kW, kH));
  std::vector<TextBlock> none;
  sortReadingOrder(none, kW, kH);
  EXPECT_TRUE(none.empty());
  sortReadingOrder(blocks, kW, kH);
  QStringList order;
  for (const TextBlock& b : blocks) order << b.text;
  order.sort();
  EXPECT_EQ(order, QStringList({"C", "D", "L", "R"}));
}
