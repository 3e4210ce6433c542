#pragma once
// Reading one frame from a device in chunks: bounded by what the device
// declared (or, when it declares no line count, by the largest page the
// dialog can ask for) and stopped between chunks when a cancel is asked.

#include <sane/sane.h>

#include <QByteArray>

#include <atomic>
#include <functional>

// A frame of 600 dpi A3 with 16 bits for each of three channels: no page
// the dialog offers needs more.
inline constexpr qint64 kMaxScanFrameBytes = qint64(7016) * 9921 * 6;

// What one frame may hold: its declared size, or the cap when the device
// does not know its line count; 0 when the declared size is over the cap.
qint64 scanFrameByteLimit(const SANE_Parameters& parameters);

enum class FrameReadEnd { Complete, Cancelled, Failed, TooLarge };

struct FrameReadResult {
  FrameReadEnd end = FrameReadEnd::Complete;
  SANE_Status status = SANE_STATUS_GOOD;  // the failing status for Failed
};

// sane_read of the open device.
using SaneReadFunction = std::function<SANE_Status(SANE_Byte* buffer, SANE_Int maxLength, SANE_Int* length)>;

// Appends chunks to `data` until the device ends the frame, fails, exceeds
// `limit` bytes, or `cancelled` is set. Never calls sane_cancel itself.
FrameReadResult readScanFrame(const SaneReadFunction& read, qint64 limit, const std::atomic<bool>& cancelled,
                              QByteArray* data);
