#include "ocr/OcrImageGeometry.h"

#include <algorithm>
#include <cmath>

QRect imageCropForPdfRect(const QRectF& pdfRect, const QImage& image, double scale, double pageHeight,
                          int marginPx) {
  const double s = scale;
  const double left = std::floor(pdfRect.x() * s);
  const double top = std::floor((pageHeight - pdfRect.y() - pdfRect.height()) * s);
  const double right = std::ceil((pdfRect.x() + pdfRect.width()) * s);
  const double bottom = std::ceil((pageHeight - pdfRect.y()) * s);
  if (!std::isfinite(left) || !std::isfinite(top) || !std::isfinite(right) || !std::isfinite(bottom)) {
    return {};
  }
  // Clamp before converting so that absurd rectangles cannot overflow int.
  const double limit = 1e8;
  auto toInt = [&](double v) { return int(std::clamp(v, -limit, limit)); };
  const int width = std::max(toInt(right) - toInt(left), 1) + 2 * marginPx;
  const int height = std::max(toInt(bottom) - toInt(top), 1) + 2 * marginPx;
  const QRect grown(toInt(left) - marginPx, toInt(top) - marginPx, width, height);
  return grown.intersected(image.rect());
}

QRectF pdfRectForPixelBox(int left, int top, int right, int bottom, double scale, double pageHeight) {
  return QRectF(left / scale, pageHeight - bottom / scale, (right - left) / scale, (bottom - top) / scale);
}
