#include "PageImageRules.h"

#include <algorithm>
#include <cmath>

namespace {

// Larger renders are refused rather than attempted: a hostile /MediaBox or
// scale must not ask for gigabytes.
constexpr double kMaxRenderSide = 32768.0;

int pixelExtent(double points, double scale) {
  const double px = std::ceil(points * scale);
  if (!std::isfinite(px)) return 1;
  return int(std::clamp(px, 1.0, kMaxRenderSide));
}

}  // namespace

QSize renderPixelSize(const QSizeF& points, double scale) {
  return QSize(pixelExtent(points.width(), scale), pixelExtent(points.height(), scale));
}

bool isUsablePageImageRect(const QRectF& rect, const QSizeF& pageSize) {
  const double w = rect.width();
  const double h = rect.height();
  if (!(w > 0) || !(h > 0)) return false;
  if (w < 4 || h < 4) return false;
  const double pageArea = pageSize.width() * pageSize.height();
  if (w * h > 0.6 * std::max(pageArea, 1.0)) return false;
  if (w > 0.86 * pageSize.width() && h > 0.86 * pageSize.height()) return false;
  const double ratio = w / h;
  if (ratio > 35.0 || ratio < 1.0 / 35.0) return false;
  return true;
}
