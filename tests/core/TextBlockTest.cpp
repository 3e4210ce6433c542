#include "core/TextBlock.h"

#include <gtest/gtest.h>

TEST(TextBlock, DefaultsAndValueSemantics) {
  const TextBlock fresh;
  EXPECT_FLOAT_EQ(fresh.fontSize, 10.0f);
  EXPECT_EQ(fresh.color, QColor(Qt::black));
  EXPECT_EQ(fresh.page, 0);
  EXPECT_DOUBLE_EQ(fresh.rotation, 0.0);
  EXPECT_TRUE(fresh.lines.empty());
  EXPECT_TRUE(fresh.image.isNull());

  TextBlock original;
  original.text = QStringLiteral("Договор");
  original.lines.push_back({});
  original.lines.back().words.push_back({QStringLiteral("Договор"), QRectF(1, 2, 3, 4), 100.0f});
  original.image = QImage(4, 4, QImage::Format_ARGB32);
  original.image.fill(Qt::red);

  TextBlock copy = original;
  copy.text += QStringLiteral(" №2");
  copy.lines.front().words.front().text = QStringLiteral("Акт");
  copy.lines.push_back({});
  copy.image.setPixel(0, 0, qRgb(0, 0, 255));

  EXPECT_EQ(original.text, QStringLiteral("Договор"));
  ASSERT_EQ(original.lines.size(), 1u);
  EXPECT_EQ(original.lines.front().words.front().text, QStringLiteral("Договор"));
  EXPECT_EQ(original.image.pixel(0, 0), qRgb(255, 0, 0));
}

TEST(TextBlock, MovedFromIsEmptyAndReusable) {
  TextBlock source;
  source.text = QStringLiteral("x");
  source.lines.resize(3);
  TextBlock target = std::move(source);
  EXPECT_EQ(target.lines.size(), 3u);
  EXPECT_TRUE(source.lines.empty());  // NOLINT(bugprone-use-after-move)
  EXPECT_TRUE(source.text.isEmpty());
  source = target;
  EXPECT_EQ(source.lines.size(), 3u);

  TextBlock::Line line;
  line.spans.resize(2);
  TextBlock::Line moved = std::move(line);
  EXPECT_TRUE(line.spans.empty());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(moved.spans.size(), 2u);
}
