#include "core/PageSpace.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  int turns;
  QPointF user;
  QPointF shown;
};

}  // namespace

// A 200 x 100 crop box starting at (50, 30): corners land where a viewer shows them.
TEST(PageSpace, MapsCornersForEveryRotation) {
  const QRectF box(50, 30, 200, 100);
  const Case cases[] = {
      {0, {50, 30}, {0, 0}},   {0, {250, 130}, {200, 100}},
      {1, {50, 30}, {0, 200}}, {1, {250, 30}, {0, 0}},    {1, {250, 130}, {100, 0}},
      {2, {50, 30}, {200, 100}}, {2, {250, 130}, {0, 0}},
      {3, {50, 30}, {100, 0}}, {3, {50, 130}, {0, 0}},
  };
  for (const Case& c : cases) {
    const PageSpace space(box, c.turns);
    EXPECT_EQ(space.toShown(c.user), c.shown) << "turns " << c.turns;
    EXPECT_EQ(space.toUser(c.shown), c.user) << "turns " << c.turns;
  }
  EXPECT_EQ(PageSpace(box, 1).shownSize(), QSizeF(100, 200));
  EXPECT_EQ(PageSpace(box, 2).shownSize(), QSizeF(200, 100));
  EXPECT_EQ(PageSpace(box, -1).quarterTurns(), 3);
}

TEST(PageSpace, RectanglesRoundTripAndTransformAgrees) {
  const QRectF box(10, 20, 300, 400);
  const QRectF user(40, 60, 50, 20);
  for (int turns = 0; turns < 4; ++turns) {
    const PageSpace space(box, turns);
    const QRectF shown = space.toShown(user);
    EXPECT_NEAR(shown.width() * shown.height(), 1000.0, 1e-9);
    EXPECT_EQ(space.toUser(shown), user) << "turns " << turns;
    const QPointF p(123, 45);
    EXPECT_EQ(space.userFromShown().map(p), space.toUser(p)) << "turns " << turns;
  }
}
