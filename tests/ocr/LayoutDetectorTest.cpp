#include "ocr/LayoutDetector.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(LayoutDetector, NoModelRuntime) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("layout.onnx"));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("not a model");
  file.close();
  LayoutDetector detector;
  EXPECT_FALSE(detector.load(path));
  EXPECT_FALSE(detector.load(dir.filePath(QStringLiteral("missing.onnx"))));
  QImage page(200, 300, QImage::Format_RGB32);
  page.fill(Qt::black);
  EXPECT_TRUE(detector.detect(page, 0.0f, 0.5f).empty());
  EXPECT_EQ(detector.inputWidth, 1024);
  EXPECT_EQ(detector.inputHeight, 1024);
  EXPECT_EQ(detector.classCount, 10);
}

TEST(LayoutDetector, PreprocessWritesPlanarRgb) {
  QImage image(2, 2, QImage::Format_RGB32);
  image.setPixel(0, 0, qRgb(255, 0, 0));
  image.setPixel(1, 0, qRgb(0, 255, 0));
  image.setPixel(0, 1, qRgb(0, 0, 255));
  image.setPixel(1, 1, qRgb(51, 102, 204));
  const std::vector<float> t = LayoutDetector::preprocess(image, 2, 2);
  ASSERT_EQ(t.size(), 12u);
  const float expected[12] = {1, 0, 0, 0.2f, 0, 1, 0, 0.4f, 0, 0, 1, 0.8f};
  for (int i = 0; i < 12; ++i) EXPECT_NEAR(t[std::size_t(i)], expected[i], 1e-6) << i;
  EXPECT_EQ(LayoutDetector::preprocess(image, 7, 3).size(), 63u);
}

TEST(LayoutDetector, PostNmsRows) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float rows[] = {
      10, 20, 60, 80, 0.9f, 3.7f,    // kept, class truncated to 3
      50, 50, 150, 90, 0.8f, 1,      // x2 beyond the width: clamped to 1
      30, 10, 30, 40, 0.9f, 2,       // x1 = x2: no block
      10, 10, 20, 20, 0.1f, 0,       // below the score
      10, 10, 20, 20, nan, 0,        // NaN never passes
  };
  const auto blocks = LayoutDetector::decodePostNMS(rows, 5, 100, 100, 0.3f);
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_NEAR(blocks[0].rect.x(), 0.1, 1e-6);
  EXPECT_NEAR(blocks[0].rect.y(), 0.2, 1e-6);
  EXPECT_NEAR(blocks[0].rect.width(), 0.5, 1e-6);
  EXPECT_NEAR(blocks[0].rect.height(), 0.6, 1e-6);
  EXPECT_EQ(blocks[0].cls, 3);
  EXPECT_FLOAT_EQ(blocks[0].score, 0.9f);
  EXPECT_NEAR(blocks[1].rect.right(), 1.0, 1e-6);
  EXPECT_TRUE(LayoutDetector::decodePostNMS(rows, 5, 0, 100, 0.3f).empty());
  EXPECT_TRUE(LayoutDetector::decodePostNMS(rows, 0, 100, 100, 0.3f).empty());
}

TEST(LayoutDetector, RawRowsPlainAndTransposed) {
  // Three boxes of three classes: (cx, cy, w, h, s0, s1, s2).
  const float boxes[3][7] = {
      {0.5f, 0.5f, 0.2f, 0.4f, 0.1f, 0.7f, 0.7f},  // tie: the first class wins
      {0.05f, 0.5f, 0.2f, 0.2f, 0.0f, 0.0f, 0.9f}, // clamped at the left edge
      {0.5f, 0.5f, 0.2f, 0.2f, 0.0f, 0.0f, 0.0f},  // no score above 0
  };
  std::vector<float> plain, transposed(21);
  for (const auto& box : boxes) plain.insert(plain.end(), box, box + 7);
  for (int i = 0; i < 3; ++i) {
    for (int k = 0; k < 7; ++k) transposed[std::size_t(k * 3 + i)] = boxes[i][k];
  }
  const auto a = LayoutDetector::decodeYolo(plain.data(), 3, 7, 3, 0.5f);
  const auto b = LayoutDetector::decodeYolo(transposed.data(), 7, 3, 3, 0.5f);
  for (const auto* blocks : {&a, &b}) {
    ASSERT_EQ(blocks->size(), 2u);
    EXPECT_EQ((*blocks)[0].cls, 1);
    EXPECT_FLOAT_EQ((*blocks)[0].score, 0.7f);
    EXPECT_NEAR((*blocks)[0].rect.x(), 0.4, 1e-6);
    EXPECT_NEAR((*blocks)[0].rect.bottom(), 0.7, 1e-6);
    EXPECT_EQ((*blocks)[1].cls, 2);
    EXPECT_NEAR((*blocks)[1].rect.x(), 0.0, 1e-6);
    EXPECT_NEAR((*blocks)[1].rect.right(), 0.15, 1e-6);
  }
  EXPECT_TRUE(LayoutDetector::decodeYolo(plain.data(), -1, 7, 3, 0.5f).empty());
}

TEST(LayoutDetector, SuppressionAndOverlap) {
  EXPECT_FLOAT_EQ(LayoutDetector::iou(QRectF(0, 0, 2, 2), QRectF(1, 0, 2, 2)), 2.0f / 6.0f);
  EXPECT_FLOAT_EQ(LayoutDetector::iou(QRectF(0, 0, 1, 1), QRectF(1, 0, 1, 1)), 0.0f);
  EXPECT_FLOAT_EQ(LayoutDetector::iou(QRectF(0, 0, 1, 1), QRectF(0, 0, 1, 1)), 1.0f);

  std::vector<LayoutBlock> blocks = {
      {QRectF(0, 0, 0.5, 0.5), 1, 0.6f},
      {QRectF(0.02, 0, 0.5, 0.5), 4, 0.9f},  // other class, same place, higher score
      {QRectF(0.6, 0.6, 0.3, 0.3), 0, 0.7f},
      {QRectF(0.6, 0.6, 0.3, 0.3), 0, std::numeric_limits<float>::quiet_NaN()},
  };
  LayoutDetector::nms(blocks, 0.5f);
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_FLOAT_EQ(blocks[0].score, 0.9f);
  EXPECT_EQ(blocks[0].cls, 4);
  EXPECT_FLOAT_EQ(blocks[1].score, 0.7f);
}

TEST(LayoutDetector, ClassMaps) {
  using C = LayoutClass;
  struct Case {
    int classCount;
    bool tenClass;
    int index;
    C expected;
  } cases[] = {
      {5, false, 0, C::Text},     {5, false, 4, C::Figure},   {5, false, 5, C::Unknown},
      {10, false, 0, C::Caption}, {10, false, 6, C::Figure},  {10, false, 9, C::Text},
      {10, false, 10, C::Title},  {10, false, 11, C::Unknown}, {10, true, 0, C::Title},
      {10, true, 5, C::Table},    {10, true, 9, C::Caption},  {10, true, 10, C::Unknown},
      {10, true, -1, C::Unknown},
  };
  for (const Case& c : cases) {
    LayoutDetector detector;
    detector.classCount = c.classCount;
    detector.tenClassLabels = c.tenClass;
    EXPECT_EQ(detector.mapClass(c.index), c.expected) << c.classCount << " " << c.tenClass << " " << c.index;
  }
  EXPECT_EQ(LayoutDetector::className(LayoutClass::Formula), QStringLiteral("formula"));
  EXPECT_EQ(LayoutDetector::className(LayoutClass::Footer), QStringLiteral("footer"));
  EXPECT_EQ(LayoutDetector::className(static_cast<LayoutClass>(42)), QStringLiteral("unknown"));
}
