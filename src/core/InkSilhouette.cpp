#include "InkSilhouette.h"

#include <algorithm>

QImage whiteSilhouette(const QImage& ink) {
  const QImage source = ink.convertToFormat(QImage::Format_ARGB32);
  QImage mask(source.size(), QImage::Format_ARGB32);
  mask.fill(Qt::transparent);
  for (int y = 0; y < source.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(source.constScanLine(y));
    for (int x = 0; x < source.width(); ++x) {
      if (qAlpha(row[x]) <= 8) continue;
      for (int dy = std::max(y - 1, 0); dy <= std::min(y + 1, source.height() - 1); ++dy) {
        auto* out = reinterpret_cast<QRgb*>(mask.scanLine(dy));
        for (int dx = std::max(x - 1, 0); dx <= std::min(x + 1, source.width() - 1); ++dx) out[dx] = 0xFFFFFFFFu;
      }
    }
  }
  return mask;
}
