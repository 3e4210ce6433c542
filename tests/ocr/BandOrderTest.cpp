#include "ocr/BandOrder.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct Box {
  char name;
  double top;
  double x;
};

std::string order(std::vector<Box> boxes, double tolerance) {
  sortInBands(
      boxes, [](const Box& b) { return b.top; }, [&](const Box&, const Box&) { return tolerance; },
      [](const Box& b) { return b.x; });
  std::string names;
  for (const Box& b : boxes) names += b.name;
  return names;
}

}  // namespace

TEST(BandOrder, SameOrderWhateverTheInputOrder) {
  struct Case {
    const char* name;
    std::vector<Box> boxes;
    std::string expected;
  } cases[] = {
      {"two rows", {{'a', 10, 50}, {'b', 11, 10}, {'c', 30, 5}, {'d', 29, 40}}, "bacd"},
      // a is level with b and b with c, but a is not level with c: the band
      // starts at a and ends before c.
      {"chain of level boxes", {{'a', 0, 30}, {'b', 2.5, 20}, {'c', 5, 10}}, "bac"},
      {"all level", {{'a', 0, 30}, {'b', 1, 20}, {'c', 2, 10}}, "cba"},
      {"single", {{'a', 0, 0}}, "a"},
  };
  for (const Case& c : cases) {
    std::vector<Box> boxes = c.boxes;
    std::sort(boxes.begin(), boxes.end(), [](const Box& l, const Box& r) { return l.name < r.name; });
    do {
      EXPECT_EQ(order(boxes, 3.0), c.expected) << c.name;
    } while (std::next_permutation(boxes.begin(), boxes.end(),
                                   [](const Box& l, const Box& r) { return l.name < r.name; }));
  }
}
