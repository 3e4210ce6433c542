#include "PageImageRules.h"

#include <algorithm>
#include <cmath>

namespace {

// A side pdfium and QImage handle without overflowing their strides.
constexpr double kMaxRenderSide = 65536.0;

double pixelExtent(double points, double scale) {
  const double px = std::ceil(points * scale);
  return std::isfinite(px) ? std::max(px, 1.0) : HUGE_VAL;
}

}  // namespace

QSize renderPixelSize(const QSizeF& points, double scale) {
  const double width = pixelExtent(points.width(), scale);
  const double height = pixelExtent(points.height(), scale);
  // Refused, not shrunk: a page drawn smaller than asked would be wrong.
  if (width > kMaxRenderSide || height > kMaxRenderSide || width * height > double(kMaxRenderPixels)) return {};
  return QSize(int(width), int(height));
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
