#include "BackgroundRemoval.h"

#include <cstdlib>

QImage removeBackground(const QImage& source, const QColor& color, int tolerance) {
  QImage result = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  if (result.isNull()) return result;
  result.detach();
  const int red = color.red();
  const int green = color.green();
  const int blue = color.blue();
  for (int y = 0; y < result.height(); ++y) {
    QRgb* line = reinterpret_cast<QRgb*>(result.scanLine(y));
    for (int x = 0; x < result.width(); ++x) {
      const QRgb p = line[x];
      if (qAlpha(p) == 0) continue;
      if (std::abs(qRed(p) - red) <= tolerance && std::abs(qGreen(p) - green) <= tolerance &&
          std::abs(qBlue(p) - blue) <= tolerance)
        line[x] = 0;
    }
  }
  return result;
}
