// The geometry steps of the scan post-processing: deskew, page frame and
// margin crop. Measurements are made on an 8-bit grey copy.
#include "ScanPostProcess.h"

#include <QPainter>
#include <QPolygonF>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// How far above chance the best row contrast must lie to count as lines.
constexpr double kLineEvidence = 4.0;

QImage greyOf(const QImage& image) { return image.convertToFormat(QImage::Format_Grayscale8); }

// Rotated copy whose uncovered corners are paper white, not black.
QImage rotatedOnWhite(const QImage& image, double angle, Qt::TransformationMode mode) {
  const QImage rotated =
      image.convertToFormat(QImage::Format_ARGB32_Premultiplied).transformed(QTransform().rotate(angle), mode);
  QImage result(rotated.size(), QImage::Format_RGB32);
  result.fill(Qt::white);
  QPainter painter(&result);
  painter.drawImage(0, 0, rotated);
  painter.end();
  return result;
}

int percentile(std::vector<int> values, int p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const int n = int(values.size());
  return values[size_t(std::clamp(p * n / 100, 0, n - 1))];
}

}  // namespace

namespace scanfilter {

double skewAngle(const QImage& image) {
  const QImage grey = greyOf(image);
  const int sw = std::min(grey.width(), 600);
  const int sh = std::max(1, grey.height() * sw / grey.width());
  const QImage thumb = grey.scaled(sw, sh, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                           .convertToFormat(QImage::Format_ARGB32_Premultiplied);
  // Per row, the share of dark pixels among those the turned page covers, so
  // the uncovered corners of a turned image never look like a line. A row's
  // weight is its covered width; `noise` is what rows of random pixels with
  // the same darkness would score.
  struct Score {
    double lines = 0;
    double noise = 0;
  };
  const auto score = [&thumb](double angle) {
    const QImage rotated = thumb.transformed(QTransform().rotate(angle), Qt::FastTransformation);
    std::vector<std::pair<int, int>> rows;  // covered, dark
    qint64 covered = 0;
    qint64 dark = 0;
    for (int y = 0; y < rotated.height(); ++y) {
      const auto* line = reinterpret_cast<const QRgb*>(rotated.constScanLine(y));
      int rowCovered = 0;
      int rowDark = 0;
      for (int x = 0; x < rotated.width(); ++x) {
        if (qAlpha(line[x]) == 0) continue;
        ++rowCovered;
        if (qGray(line[x]) < 128) ++rowDark;
      }
      if (rowCovered < thumb.width() / 2) continue;
      rows.emplace_back(rowCovered, rowDark);
      covered += rowCovered;
      dark += rowDark;
    }
    Score result;
    if (covered == 0) return result;
    const double share = double(dark) / double(covered);
    for (const auto& [rowCovered, rowDark] : rows) {
      const double deviation = rowDark - rowCovered * share;
      result.lines += deviation * deviation / rowCovered;
    }
    result.noise = double(rows.size()) * share * (1 - share);
    return result;
  };
  // The page as it is competes first: a page that scores alike at every angle
  // is never turned.
  double best = 0;
  const Score upright = score(0);
  double bestScore = upright.lines;
  for (int step = -20; step <= 20; ++step) {
    if (step == 0) continue;
    const double value = score(step * 0.5).lines;
    if (value > bestScore) {
      bestScore = value;
      best = step * 0.5;
    }
  }
  // Blank, solid and noisy pages have no lines to straighten: their rows
  // differ no more than chance makes them.
  if (bestScore <= kLineEvidence * upright.noise) return 0;
  return best;
}

QImage deskew(const QImage& image) {
  if (image.width() <= 50 || image.height() <= 50) return image;
  const double angle = skewAngle(image);
  if (std::fabs(angle) < 0.35) return image;
  return rotatedOnWhite(image, angle, Qt::SmoothTransformation);
}

QImage perspCorrect(const QImage& image) {
  const int W = image.width();
  const int H = image.height();
  if (W <= 50 || H <= 50) return image;
  const QImage grey = greyOf(image);
  std::vector<int> tops(size_t(W), H), bottoms(size_t(W), 0), lefts(size_t(H), W), rights(size_t(H), 0);
  for (int y = 0; y < H; ++y) {
    const uchar* line = grey.constScanLine(y);
    for (int x = 0; x < W; ++x) {
      if (line[x] > 219) continue;
      tops[size_t(x)] = std::min(tops[size_t(x)], y);
      bottoms[size_t(x)] = std::max(bottoms[size_t(x)], y);
      lefts[size_t(y)] = std::min(lefts[size_t(y)], x);
      rights[size_t(y)] = std::max(rights[size_t(y)], x);
    }
  }
  const int left = percentile(lefts, 10);
  const int top = percentile(tops, 10);
  const int right = percentile(rights, 90);
  const int bottom = percentile(bottoms, 90);
  if (left < W / 30 && top < H / 30 && right > 29 * W / 30 && bottom > 29 * H / 30) return image;
  const int newW = right - left;
  const int newH = bottom - top;
  if (newW < W / 4 || newH < H / 4) return image;
  const QPolygonF from({QPointF(left, top), QPointF(right, top), QPointF(right, bottom), QPointF(left, bottom)});
  const QPolygonF to({QPointF(0, 0), QPointF(newW, 0), QPointF(newW, newH), QPointF(0, newH)});
  QTransform transform;
  if (!QTransform::quadToQuad(from, to, transform)) return image;
  // The frame's corner goes to the origin, so the kept pixels are the page.
  QImage result(newW, newH, QImage::Format_RGB32);
  result.fill(Qt::white);
  QPainter painter(&result);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.setTransform(transform);
  painter.drawImage(0, 0, image);
  painter.end();
  result.setDotsPerMeterX(image.dotsPerMeterX());
  result.setDotsPerMeterY(image.dotsPerMeterY());
  return result;
}

QImage cropMargins(const QImage& image) {
  const int W = image.width();
  const int H = image.height();
  if (W < 1 || H < 1) return image;
  const QImage grey = greyOf(image);
  std::vector<int> rowDark(size_t(H), 0), columnDark(size_t(W), 0);
  for (int y = 0; y < H; ++y) {
    const uchar* line = grey.constScanLine(y);
    for (int x = 0; x < W; ++x)
      if (line[x] < 240) {
        ++rowDark[size_t(y)];
        ++columnDark[size_t(x)];
      }
  }
  const int rowMin = W > 59 ? W / 30 : 1;
  const int columnMin = H > 59 ? H / 30 : 1;
  const auto rowQualifies = [&](int y) { return rowDark[size_t(y)] >= rowMin; };
  const auto columnQualifies = [&](int x) { return columnDark[size_t(x)] >= columnMin; };
  int top = 0;
  for (int y = 0; y < H && top == 0; ++y)
    if (rowQualifies(y)) top = y;
  int bottom = H - 1;
  for (int y = H - 1; y >= 0 && bottom == H - 1; --y)
    if (rowQualifies(y)) bottom = y;
  int left = 0;
  for (int x = 0; x < W; ++x)
    if (columnQualifies(x)) {
      left = x;
      break;
    }
  int right = W - 1;
  for (int x = W - 1; x >= 0; --x)
    if (columnQualifies(x)) {
      right = x;
      break;
    }
  const int m = W > 599 ? W / 100 : 5;
  const QRect crop = QRect(QPoint(left - m, top - m), QPoint(right + m, bottom + m)).intersected(image.rect());
  if (crop.right() - crop.left() < W / 3 || crop.bottom() - crop.top() < H / 3 || crop == image.rect()) return image;
  return image.copy(crop);
}

}  // namespace scanfilter
