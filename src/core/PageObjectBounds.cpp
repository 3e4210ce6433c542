#include "PageObjectBounds.h"

#include <algorithm>
#include <cmath>

QRectF pageObjectBounds(FPDF_PAGEOBJECT object, int type) {
  if (!object) return {};
  if (type == FPDF_PAGEOBJ_IMAGE) {
    FS_QUADPOINTSF q{};
    if (FPDFPageObj_GetRotatedBounds(object, &q)) {
      const double left = std::min({q.x1, q.x2, q.x3, q.x4});
      const double right = std::max({q.x1, q.x2, q.x3, q.x4});
      const double bottom = std::min({q.y1, q.y2, q.y3, q.y4});
      const double top = std::max({q.y1, q.y2, q.y3, q.y4});
      if (right - left > 0 && top - bottom > 0) return QRectF(left, bottom, right - left, top - bottom);
    }
  }
  float left = 0, bottom = 0, right = 0, top = 0;
  if (!FPDFPageObj_GetBounds(object, &left, &bottom, &right, &top)) return {};
  return QRectF(std::min(left, right), std::min(bottom, top), std::abs(right - left), std::abs(top - bottom));
}
