// Frames the scan test device cannot produce: byte order of 16-bit samples,
// partial lines, unknown formats and an incomplete three-pass scan.
#include "scan/ScanFrame.h"

#include <sane/sane.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

ScanFrame frame(int format, int depth, int pixels, int bytesPerLine, QByteArray data) {
  return ScanFrame{format, bytesPerLine, pixels, depth, std::move(data)};
}

QByteArray hostWords(std::initializer_list<quint16> words) {
  QByteArray bytes;
  for (quint16 word : words) bytes.append(reinterpret_cast<const char*>(&word), 2);
  return bytes;
}

TEST(ScanFrameTest, SixteenBitSamplesKeepTheirHighByteInHostOrder) {
  QString error;
  const QImage image = imageFromScanFrames({frame(SANE_FRAME_GRAY, 16, 3, 6, hostWords({0x1234, 0xff01, 0x00ff}))}, &error);
  ASSERT_FALSE(image.isNull()) << qPrintable(error);
  EXPECT_EQ(image.constScanLine(0)[0], 0x12);
  EXPECT_EQ(image.constScanLine(0)[1], 0xff);
  EXPECT_EQ(image.constScanLine(0)[2], 0x00);
}

TEST(ScanFrameTest, OneBitGreyIsBlackForOneAndPartialLinesAreDropped) {
  QString error;
  // Two whole lines of 10 pixels (2 bytes each) and half of a third.
  const QImage image = imageFromScanFrames(
      {frame(SANE_FRAME_GRAY, 1, 10, 2, QByteArray::fromHex("80c0ffff00"))}, &error);
  ASSERT_FALSE(image.isNull()) << qPrintable(error);
  EXPECT_EQ(image.size(), QSize(10, 2));
  EXPECT_EQ(image.constScanLine(0)[0], 0);
  EXPECT_EQ(image.constScanLine(0)[1], 255);
  EXPECT_EQ(image.constScanLine(0)[8], 0);
  EXPECT_EQ(image.constScanLine(0)[9], 0);
  EXPECT_EQ(image.constScanLine(1)[5], 0);
}

TEST(ScanFrameTest, BadFramesGiveAMessageOrNothingButNeverAnImage) {
  QString error;
  EXPECT_TRUE(imageFromScanFrames({frame(SANE_FRAME_GRAY, 8, 4, 4, QByteArray(3, 'x'))}, &error).isNull());
  EXPECT_TRUE(error.isEmpty());  // not one whole line
  EXPECT_TRUE(imageFromScanFrames({frame(7, 8, 4, 4, QByteArray(8, 'x'))}, &error).isNull());
  EXPECT_TRUE(error.startsWith(QStringLiteral("Unsupported scanner frame")));
  EXPECT_TRUE(imageFromScanFrames({frame(SANE_FRAME_GRAY, 4, 4, 4, QByteArray(8, 'x'))}, &error).isNull());
  EXPECT_TRUE(error.startsWith(QStringLiteral("Unsupported scanner frame")));
  EXPECT_TRUE(imageFromScanFrames({frame(SANE_FRAME_RGB, 8, 4, 4, QByteArray(8, 'x'))}, &error).isNull());
  EXPECT_TRUE(error.startsWith(QStringLiteral("Malformed scanner frame")));
  EXPECT_TRUE(imageFromScanFrames({frame(SANE_FRAME_RED, 8, 2, 2, QByteArray(4, 'x')),
                                   frame(SANE_FRAME_GREEN, 8, 2, 2, QByteArray(4, 'x'))},
                                  &error)
                  .isNull());
  EXPECT_EQ(error, QStringLiteral("Incomplete three-pass colour scan"));
}

}  // namespace
