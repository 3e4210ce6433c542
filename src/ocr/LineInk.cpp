#include "ocr/LineInk.h"

#include "ocr/OcrImageGeometry.h"
#include "ocr/OcrTextMeasures.h"

#include <algorithm>
#include <cmath>

namespace {

struct InkRun {
  int start = 0;
  int end = 0;
  long ink = 0;
};

int roundInt(double v) { return int(std::lround(v)); }

bool isDark(QRgb p) {
  return qAlpha(p) > 16 && 11 * qRed(p) + 16 * qGreen(p) + 5 * qBlue(p) <= 6079;
}

// The horizontal span of the ink belonging to one line, or false to leave it.
bool inkSpanOfLine(const QImage& rgb, const QRect& crop, int meaningful, int& spanStart, int& spanEnd) {
  const int x1 = crop.left(), x2 = crop.right(), y1 = crop.top(), y2 = crop.bottom();
  const int cropW = x2 - x1 + 1;
  const int cropH = y2 - y1 + 1;
  const int vPad = std::clamp(roundInt(0.38 * cropH), 2, 14);
  const int hPad = std::clamp(roundInt(2.2 * cropW), 36, 260);
  const int top = std::max(y1 - vPad, 0);
  const int bottom = std::min(y2 + vPad, rgb.height() - 1);
  const int left = std::max(x1 - hPad, 0);
  const int right = std::min(x2 + hPad, rgb.width() - 1);
  if (!(left < right && top < bottom)) return false;
  const int w = right - left + 1;

  std::vector<long> columns(static_cast<std::size_t>(w), 0);
  std::vector<int> rowInk(static_cast<std::size_t>(w));
  int usableRows = 0;
  for (int y = top; y <= bottom; ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    int count = 0;
    for (int x = left; x <= right; ++x) {
      rowInk[std::size_t(x - left)] = isDark(row[x]);
      count += rowInk[std::size_t(x - left)];
    }
    // Rules and underlines crossing the line would swamp the profile.
    if (count > 0.42 * w) continue;
    ++usableRows;
    for (int i = 0; i < w; ++i) columns[std::size_t(i)] += rowInk[std::size_t(i)];
  }
  if (usableRows <= 1) return false;

  const long minInk = std::max(long(std::floor(0.08 * usableRows)), 1L);
  std::vector<unsigned char> marked(std::size_t(w), 0);
  for (int i = 0; i < w; ++i) {
    if (columns[std::size_t(i)] < minInk) continue;
    for (int k = std::max(i - 1, 0); k <= std::min(i + 1, w - 1); ++k) marked[std::size_t(k)] = 1;
  }

  const int wideRun = std::max(roundInt(0.42 * cropW), 4);
  const double cropCentre = (x1 + x2) / 2;
  std::vector<InkRun> runs;
  for (int i = 0; i < w;) {
    if (!marked[std::size_t(i)]) {
      ++i;
      continue;
    }
    InkRun run{left + i, left + i, 0};
    while (i < w && marked[std::size_t(i)]) {
      run.ink += columns[std::size_t(i)];
      run.end = left + i;
      ++i;
    }
    const int width = run.end - run.start + 1;
    bool keep = width > 1;
    if (meaningful > 1 && width <= wideRun) {
      // A dense narrow mark away from the line is a bar or stamp fragment.
      const double density = double(run.ink) / std::max(double(width) * usableRows, 1.0);
      const double centre = (run.start + run.end) / 2.0;
      if (density > 0.28 && std::abs(centre - cropCentre) > std::max(0.18 * cropH, 5.0)) keep = false;
    }
    if (keep) runs.push_back(run);
  }
  if (runs.empty()) return false;

  std::vector<InkRun> clusters;
  const int joinGap = std::max(roundInt(0.75 * cropW), 3);
  for (const InkRun& run : runs) {
    if (!clusters.empty() && run.start - clusters.back().end <= joinGap) {
      clusters.back().end = run.end;
      clusters.back().ink += run.ink;
    } else {
      clusters.push_back(run);
    }
  }

  int firstHit = -1, lastHit = -1;
  for (int i = 0; i < int(clusters.size()); ++i) {
    if (clusters[std::size_t(i)].end >= x1 && clusters[std::size_t(i)].start <= x2) {
      if (firstHit < 0) firstHit = i;
      lastHit = i;
    }
  }
  if (firstHit < 0) return false;

  const int link = std::max(roundInt(1.45 * cropW), 5);
  int from = firstHit;
  while (from > 0 && clusters[std::size_t(from)].start - clusters[std::size_t(from - 1)].end <= link) --from;
  int to = lastHit;
  while (to + 1 < int(clusters.size()) && clusters[std::size_t(to + 1)].start - clusters[std::size_t(to)].end <= link) {
    ++to;
  }
  spanStart = clusters[std::size_t(from)].start;
  spanEnd = clusters[std::size_t(to)].end;
  const int spanW = spanEnd - spanStart + 1;
  if (spanW > std::max(x2 - x1 + 121, roundInt(2.8 * cropH))) return false;
  if (spanW < std::max(roundInt(0.45 * cropH), 2)) return false;
  return true;
}

}  // namespace

void refineOcrLineInkRects(std::vector<TextBlock::Line>& lines, const QImage& image, double scale,
                           double pageHeight) {
  if (image.isNull() || !(scale > 0)) return;
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  for (TextBlock::Line& line : lines) {
    if (line.text.trimmed().isEmpty() || !(line.rect.width() > 0) || !(line.rect.height() > 0)) continue;
    const QRect crop = imageCropForPdfRect(line.rect, image, scale, pageHeight, 1);
    if (crop.isEmpty() || crop.left() == crop.right() || crop.top() == crop.bottom()) continue;
    int spanStart = 0, spanEnd = 0;
    if (!inkSpanOfLine(rgb, crop, meaningfulCharCount(line.text), spanStart, spanEnd)) continue;
    const int left = std::max(spanStart - 1, 0);
    const int right = std::min(spanEnd + 1, rgb.width() - 1) + 1;
    const double newX = left / scale;
    const double newRight = right / scale;
    if (newRight > newX + 0.5) line.rect = QRectF(newX, line.rect.y(), newRight - newX, line.rect.height());
  }
}
