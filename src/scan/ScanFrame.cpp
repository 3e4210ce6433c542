#include "ScanFrame.h"

#include <sane/sane.h>

#include <algorithm>
#include <cstring>

namespace {

// One sample of a line, reduced to 8 bits; `index` counts samples, not pixels.
inline int sampleAt(const uchar* line, int index, int depth) {
  if (depth == 8) return line[index];
  if (depth == 16) {
    quint16 value;
    std::memcpy(&value, line + 2 * index, sizeof value);
    return value >> 8;
  }
  return (line[index / 8] >> (7 - index % 8)) & 1 ? 255 : 0;
}

int channelOf(int format) {
  switch (format) {
    case SANE_FRAME_RED: return 0;
    case SANE_FRAME_GREEN: return 1;
    case SANE_FRAME_BLUE: return 2;
    default: return -1;
  }
}

int samplesPerPixel(int format) { return format == SANE_FRAME_RGB ? 3 : 1; }

QString unsupported(const ScanFrame& frame) {
  return QStringLiteral("Unsupported scanner frame (format %1, depth %2)").arg(frame.format).arg(frame.depth);
}

}  // namespace

QImage imageFromScanFrames(const QList<ScanFrame>& frames, QString* error) {
  if (error) error->clear();
  const auto fail = [error](const QString& text) {
    if (error) *error = text;
    return QImage();
  };
  if (frames.isEmpty()) return QImage();
  const ScanFrame& first = frames.first();
  const bool threePass = channelOf(first.format) >= 0;
  if (first.format != SANE_FRAME_GRAY && first.format != SANE_FRAME_RGB && !threePass) return fail(unsupported(first));

  int width = first.pixelsPerLine;
  int height = -1;
  for (const ScanFrame& frame : frames) {
    if (frame.depth != 1 && frame.depth != 8 && frame.depth != 16) return fail(unsupported(frame));
    if (threePass ? channelOf(frame.format) < 0 : frame.format != first.format) return fail(unsupported(frame));
    if (frame.bytesPerLine < 1) return QImage();
    const qint64 needed = (qint64(frame.pixelsPerLine) * samplesPerPixel(frame.format) * frame.depth + 7) / 8;
    if (frame.pixelsPerLine < 1 || needed > frame.bytesPerLine)
      return fail(QStringLiteral("Malformed scanner frame (%1 pixels in %2 bytes per line)")
                      .arg(frame.pixelsPerLine)
                      .arg(frame.bytesPerLine));
    const int lines = int(frame.data.size() / frame.bytesPerLine);
    height = height < 0 ? lines : std::min(height, lines);
    width = std::min(width, frame.pixelsPerLine);
  }
  if (height < 1) return QImage();

  if (first.format == SANE_FRAME_GRAY) {
    QImage image(width, height, QImage::Format_Grayscale8);
    if (image.isNull()) return fail(QStringLiteral("Not enough memory for the scanned image"));
    for (int y = 0; y < height; ++y) {
      const auto* line = reinterpret_cast<const uchar*>(first.data.constData()) + qint64(y) * first.bytesPerLine;
      uchar* out = image.scanLine(y);
      if (first.depth == 8) {
        std::memcpy(out, line, size_t(width));
      } else {
        for (int x = 0; x < width; ++x) out[x] = uchar(sampleAt(line, x, first.depth));
        if (first.depth == 1)
          for (int x = 0; x < width; ++x) out[x] = uchar(255 - out[x]);
      }
    }
    return image;
  }

  QImage image(width, height, QImage::Format_RGB888);
  if (image.isNull()) return fail(QStringLiteral("Not enough memory for the scanned image"));
  if (first.format == SANE_FRAME_RGB) {
    for (int y = 0; y < height; ++y) {
      const auto* line = reinterpret_cast<const uchar*>(first.data.constData()) + qint64(y) * first.bytesPerLine;
      uchar* out = image.scanLine(y);
      if (first.depth == 8)
        std::memcpy(out, line, size_t(width) * 3);
      else
        for (int i = 0; i < width * 3; ++i) out[i] = uchar(sampleAt(line, i, first.depth));
    }
    return image;
  }

  // Three passes: each frame fills its own channel; all three must be there.
  bool seen[3] = {false, false, false};
  image.fill(Qt::black);
  for (const ScanFrame& frame : frames) {
    const int channel = channelOf(frame.format);
    seen[channel] = true;
    for (int y = 0; y < height; ++y) {
      const auto* line = reinterpret_cast<const uchar*>(frame.data.constData()) + qint64(y) * frame.bytesPerLine;
      uchar* out = image.scanLine(y) + channel;
      for (int x = 0; x < width; ++x) out[3 * x] = uchar(sampleAt(line, x, frame.depth));
    }
  }
  if (!seen[0] || !seen[1] || !seen[2]) return fail(QStringLiteral("Incomplete three-pass colour scan"));
  return image;
}
