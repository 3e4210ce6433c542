#include "ScanFrameReader.h"

#include <algorithm>

namespace {

constexpr int kReadChunk = 65536;
// The announced size is only a hint for the first allocation.
constexpr qint64 kMaxReserve = qint64(1) << 30;

}  // namespace

qint64 scanFrameByteLimit(const SANE_Parameters& parameters) {
  if (parameters.bytes_per_line < 1) return kMaxScanFrameBytes;
  if (parameters.lines < 1) return kMaxScanFrameBytes;
  const qint64 declared = qint64(parameters.lines) * parameters.bytes_per_line;
  return declared > kMaxScanFrameBytes ? 0 : declared;
}

FrameReadResult readScanFrame(const SaneReadFunction& read, qint64 limit, const std::atomic<bool>& cancelled,
                              QByteArray* data) {
  if (limit > 0) data->reserve(qsizetype(std::min(limit, kMaxReserve)));
  QByteArray chunk(kReadChunk, Qt::Uninitialized);
  for (;;) {
    if (cancelled) return {FrameReadEnd::Cancelled, SANE_STATUS_CANCELLED};
    SANE_Int length = 0;
    const SANE_Status status = read(reinterpret_cast<SANE_Byte*>(chunk.data()), kReadChunk, &length);
    if (status == SANE_STATUS_EOF) return {FrameReadEnd::Complete, status};
    if (status != SANE_STATUS_GOOD) return {FrameReadEnd::Failed, status};
    if (length < 0 || length > kReadChunk) return {FrameReadEnd::Failed, SANE_STATUS_IO_ERROR};
    // A device that sends more than it declared would otherwise grow the
    // frame until memory runs out.
    if (qint64(data->size()) + length > limit) return {FrameReadEnd::TooLarge, SANE_STATUS_NO_MEM};
    data->append(chunk.constData(), length);
  }
}
