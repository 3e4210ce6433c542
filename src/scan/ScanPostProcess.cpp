// The chain of scan improvements and its colour steps; the geometry steps
// live in ScanGeometry.cpp.
#include "ScanPostProcess.h"

#include <QTransform>

#include <algorithm>
#include <array>
#include <vector>

namespace {

QImage rgb32Of(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }
inline int clamp255(int value) { return std::clamp(value, 0, 255); }

// Runs `perPixel(QRgb) -> QRgb` over a 32-bit copy.
template <typename F>
QImage mapPixels(const QImage& image, F perPixel) {
  QImage result = rgb32Of(image);
  for (int y = 0; y < result.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
    for (int x = 0; x < result.width(); ++x) line[x] = perPixel(line[x]);
  }
  return result;
}

QImage throughTable(const QImage& image, const std::array<int, 256>& table) {
  return mapPixels(image, [&](QRgb c) { return qRgb(table[size_t(qRed(c))], table[size_t(qGreen(c))], table[size_t(qBlue(c))]); });
}

// Per channel, a weighted sum of the 3 x 3 neighbourhood; border pixels stay.
template <typename F>
QImage neighbourhood(const QImage& image, F combine) {
  const QImage source = rgb32Of(image);
  QImage result = source.copy();
  const int w = source.width();
  const int h = source.height();
  for (int y = 1; y < h - 1; ++y) {
    const auto* above = reinterpret_cast<const QRgb*>(source.constScanLine(y - 1));
    const auto* line = reinterpret_cast<const QRgb*>(source.constScanLine(y));
    const auto* below = reinterpret_cast<const QRgb*>(source.constScanLine(y + 1));
    auto* out = reinterpret_cast<QRgb*>(result.scanLine(y));
    for (int x = 1; x < w - 1; ++x) {
      const auto channel = [&](int (*part)(QRgb)) {
        const int n[9] = {part(above[x - 1]), part(above[x]), part(above[x + 1]), part(line[x - 1]), part(line[x]),
                          part(line[x + 1]),  part(below[x - 1]), part(below[x]), part(below[x + 1])};
        return clamp255(combine(n));
      };
      out[x] = qRgb(channel(qRed), channel(qGreen), channel(qBlue));
    }
  }
  return result;
}

}  // namespace

namespace scanfilter {

QImage removeImpulseNoise(const QImage& image) {
  const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
  QImage result = rgb32Of(image);
  const int w = grey.width();
  const int h = grey.height();
  if (w <= 2 || h <= 2) return result;
  for (int y = 1; y < h - 1; ++y) {
    const uchar* rows[3] = {grey.constScanLine(y - 1), grey.constScanLine(y), grey.constScanLine(y + 1)};
    auto* out = reinterpret_cast<QRgb*>(result.scanLine(y));
    for (int x = 1; x < w - 1; ++x) {
      std::array<int, 9> values{};
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) values[size_t(r * 3 + c)] = rows[r][x - 1 + c];
      std::nth_element(values.begin(), values.begin() + 4, values.end());
      const int median = values[4];
      const int g = rows[1][x];
      if (std::abs(g - median) <= 35 || g == 0) continue;
      const int f = median * 256 / g;
      const auto scaled = [f](int c) { return c * f > 65535 ? 255 : clamp255(c * f / 256); };
      out[x] = qRgb(scaled(qRed(out[x])), scaled(qGreen(out[x])), scaled(qBlue(out[x])));
    }
  }
  return result;
}

QImage whiteBalance(const QImage& image) {
  QImage result = rgb32Of(image);
  const double n = double(result.width()) * result.height();
  if (n <= 0) return result;
  double sums[3] = {0, 0, 0};
  for (int y = 0; y < result.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(result.constScanLine(y));
    for (int x = 0; x < result.width(); ++x) {
      sums[0] += qRed(line[x]);
      sums[1] += qGreen(line[x]);
      sums[2] += qBlue(line[x]);
    }
  }
  const double grey = (sums[0] + sums[1] + sums[2]) / (3 * n);
  double gains[3];
  for (int c = 0; c < 3; ++c) gains[c] = grey / std::max(sums[c] / n, 1.0);
  return mapPixels(result, [&](QRgb c) {
    return qRgb(std::min(int(qRed(c) * gains[0]), 255), std::min(int(qGreen(c) * gains[1]), 255),
                std::min(int(qBlue(c) * gains[2]), 255));
  });
}

QImage autoBrightness(const QImage& image) {
  QImage result = rgb32Of(image);
  const qint64 n = qint64(result.width()) * result.height();
  if (n <= 0) return result;
  std::array<qint64, 256> histogram{};
  for (int y = 0; y < result.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(result.constScanLine(y));
    for (int x = 0; x < result.width(); ++x)
      ++histogram[size_t((299 * qRed(line[x]) + 587 * qGreen(line[x]) + 114 * qBlue(line[x])) / 1000)];
  }
  int level = -1;
  qint64 accumulated = 0;
  for (int i = 255; i >= 0 && level < 0; --i) {
    accumulated += histogram[size_t(i)];
    if (accumulated * 100 / n > 1) level = i;
  }
  if (level < 1 || level > 229) return result;
  std::array<int, 256> table{};
  for (int i = 0; i < 256; ++i) table[size_t(i)] = std::min(int(i * 255.0 / level), 255);
  return throughTable(result, table);
}

QImage autoContrast(const QImage& image) {
  QImage result = rgb32Of(image);
  const qint64 n = qint64(result.width()) * result.height();
  std::array<std::array<qint64, 256>, 3> histograms{};
  for (int y = 0; y < result.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(result.constScanLine(y));
    for (int x = 0; x < result.width(); ++x) {
      ++histograms[0][size_t(qRed(line[x]))];
      ++histograms[1][size_t(qGreen(line[x]))];
      ++histograms[2][size_t(qBlue(line[x]))];
    }
  }
  const qint64 clip = n > 99 ? n / 50 : 1;
  std::array<std::array<int, 256>, 3> tables{};
  for (size_t c = 0; c < 3; ++c) {
    int lo = 0, hi = 255;
    qint64 sum = 0;
    for (int i = 0; i < 256; ++i)
      if ((sum += histograms[c][size_t(i)]) >= clip) {
        lo = i;
        break;
      }
    sum = 0;
    for (int i = 255; i >= 0; --i)
      if ((sum += histograms[c][size_t(i)]) >= clip) {
        hi = i;
        break;
      }
    for (int i = 0; i < 256; ++i) tables[c][size_t(i)] = hi > lo ? clamp255((i - lo) * 255 / (hi - lo)) : i;
  }
  return mapPixels(result, [&](QRgb c) {
    return qRgb(tables[0][size_t(qRed(c))], tables[1][size_t(qGreen(c))], tables[2][size_t(qBlue(c))]);
  });
}

QImage smooth(const QImage& image) {
  return neighbourhood(image, [](const int* n) {
    return (n[0] + 2 * n[1] + n[2] + 2 * n[3] + 4 * n[4] + 2 * n[5] + n[6] + 2 * n[7] + n[8]) / 16;
  });
}

QImage sharpen(const QImage& image) {
  return neighbourhood(image, [](const int* n) { return 5 * n[4] - n[3] - n[5] - n[1] - n[7]; });
}

QImage enhanceText(const QImage& image) {
  std::array<int, 256> table{};
  for (int i = 0; i < 256; ++i) {
    const double t = i / 255.0;
    const double v = t < 0.5 ? 2 * t * t : 1 - 2 * (1 - t) * (1 - t);
    table[size_t(i)] = clamp255(int(v * 255 + 0.5));
  }
  return throughTable(image, table);
}

}  // namespace scanfilter

QImage applyPostProcess(QImage image, const ScanParams& params) {
  if (image.isNull()) return image;
  const int dotsX = image.dotsPerMeterX();
  const int dotsY = image.dotsPerMeterY();
  using namespace scanfilter;
  if (params.noiseRemove) image = removeImpulseNoise(image);
  if (params.skew) image = deskew(image);
  if (params.perspCorr) image = perspCorrect(image);
  if (params.geomCorr || params.structural) image = cropMargins(image);
  if (params.whiteBalance) image = whiteBalance(image);
  if (params.autoBright) image = autoBrightness(image);
  if (params.autoContrast) image = autoContrast(image);
  if (params.denoise) image = smooth(image);
  if (params.sharpen) image = sharpen(image);
  if (params.textEnhance) image = enhanceText(image);
  // Every step keeps the page's physical size per pixel.
  image.setDotsPerMeterX(dotsX);
  image.setDotsPerMeterY(dotsY);
  return image;
}

QImage scannedKind(const QImage& image, int colorMode) {
  if (image.isNull() || colorMode == 0) return image;
  // The steps work in colour; the page goes back to what was scanned.
  QImage kind = image.convertToFormat(QImage::Format_Grayscale8);
  if (colorMode == 2) kind = kind.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
  kind.setDotsPerMeterX(image.dotsPerMeterX());
  kind.setDotsPerMeterY(image.dotsPerMeterY());
  return kind;
}

QImage applyCameraParams(QImage image, const ScanParams& params) {
  if (image.isNull()) return image;
  if (params.brightness != 0) {
    const int shift = params.brightness * 255 / 100;
    image = mapPixels(image, [shift](QRgb c) {
      return qRgb(clamp255(qRed(c) + shift), clamp255(qGreen(c) + shift), clamp255(qBlue(c) + shift));
    });
  }
  if (params.colorMode == 1 || params.colorMode == 2) image = image.convertToFormat(QImage::Format_Grayscale8);
  if (params.colorMode == 2)
    for (int y = 0; y < image.height(); ++y) {
      uchar* line = image.scanLine(y);
      for (int x = 0; x < image.width(); ++x) line[x] = line[x] < 128 ? 0 : 255;
    }
  if (params.landscape) image = image.transformed(QTransform().rotate(90), Qt::FastTransformation);
  return image;
}
