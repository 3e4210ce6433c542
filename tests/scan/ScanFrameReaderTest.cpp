// Reading a frame through the seam the SANE backend reads through: a device
// that never ends its frame is stopped at the declared size, and a cancel
// stops the reading between two chunks.
#include "scan/ScanFrameReader.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A device that answers every read with a full chunk and never sends EOF.
struct EndlessDevice {
  qint64 sent = 0;
  SANE_Status operator()(SANE_Byte* buffer, SANE_Int maxLength, SANE_Int* length) {
    std::memset(buffer, 0x55, size_t(maxLength));
    *length = maxLength;
    sent += maxLength;
    return SANE_STATUS_GOOD;
  }
};

SANE_Parameters frameOf(int lines, int bytesPerLine) {
  SANE_Parameters parameters{};
  parameters.format = SANE_FRAME_GRAY;
  parameters.lines = lines;
  parameters.bytes_per_line = bytesPerLine;
  parameters.pixels_per_line = bytesPerLine;
  parameters.depth = 8;
  return parameters;
}

TEST(ScanFrameReaderTest, AFrameThatNeverEndsStopsAtItsDeclaredSize) {
  EndlessDevice device;
  const std::atomic<bool> cancelled{false};
  QByteArray data;
  const qint64 limit = scanFrameByteLimit(frameOf(1000, 2480));
  EXPECT_EQ(limit, 2480000);
  const FrameReadResult result = readScanFrame(std::ref(device), limit, cancelled, &data);
  EXPECT_EQ(result.end, FrameReadEnd::TooLarge);
  EXPECT_LE(data.size(), limit);
  // It stopped at the first chunk past the limit, not somewhere later.
  EXPECT_LE(device.sent, limit + 65536);
}

TEST(ScanFrameReaderTest, WithoutALineCountTheLargestPageIsTheBound) {
  // A hand scanner does not know its lines: 600 dpi A3 at 16 bits per channel.
  EXPECT_EQ(scanFrameByteLimit(frameOf(-1, 4000)), kMaxScanFrameBytes);
  // A declared frame beyond that bound is refused before any byte is read.
  EXPECT_EQ(scanFrameByteLimit(frameOf(200000, 60000)), 0);
}

TEST(ScanFrameReaderTest, ACancelStopsBetweenReadsAndAnEndIsAnEnd) {
  std::atomic<bool> cancelled{false};
  QByteArray data;
  int reads = 0;
  const auto cancelAfterThree = [&](SANE_Byte* buffer, SANE_Int maxLength, SANE_Int* length) {
    if (++reads == 3) cancelled = true;
    std::memset(buffer, 0, size_t(maxLength));
    *length = 100;
    return SANE_STATUS_GOOD;
  };
  EXPECT_EQ(readScanFrame(cancelAfterThree, 1 << 20, cancelled, &data).end, FrameReadEnd::Cancelled);
  EXPECT_EQ(reads, 3);
  cancelled = false;
  data.clear();
  int chunks = 0;
  const auto twoChunks = [&](SANE_Byte*, SANE_Int, SANE_Int* length) {
    *length = ++chunks <= 2 ? 10 : 0;
    return chunks <= 2 ? SANE_STATUS_GOOD : SANE_STATUS_EOF;
  };
  EXPECT_EQ(readScanFrame(twoChunks, 1 << 20, cancelled, &data).end, FrameReadEnd::Complete);
  EXPECT_EQ(data.size(), 20);
  const auto jammed = [](SANE_Byte*, SANE_Int, SANE_Int* length) {
    *length = 0;
    return SANE_STATUS_JAMMED;
  };
  const FrameReadResult failed = readScanFrame(jammed, 1 << 20, cancelled, &data);
  EXPECT_EQ(failed.end, FrameReadEnd::Failed);
  EXPECT_EQ(failed.status, SANE_STATUS_JAMMED);
}

}  // namespace
