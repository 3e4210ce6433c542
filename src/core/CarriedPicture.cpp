#include "CarriedPicture.h"

#include "PageSpace.h"
#include "PdfiumApi.h"
#include "TextBlock.h"
#include "TurnedRect.h"

#include <algorithm>
#include <limits>

namespace {

// The block's old place mapped onto its new one on the shown page: turned
// back, stretched from the old box onto the new, turned as it shows now.
QTransform shownCarry(const TextBlock& b) {
  const QRectF& was = b.originalRect;
  const QRectF& now = b.rect;
  const QTransform stretch = QTransform::fromTranslate(-was.x(), -was.y()) *
                             QTransform::fromScale(now.width() / was.width(), now.height() / was.height()) *
                             QTransform::fromTranslate(now.x(), now.y());
  return turnAbout(was.center(), -b.originalRotation) * stretch * turnAbout(now.center(), b.rotation);
}

}  // namespace

bool clipHolds(FPDF_PAGEOBJECT object, const QRectF& place, bool clipped) {
  FPDF_CLIPPATH clip = FPDFPageObj_GetClipPath(object);
  const int paths = clip ? FPDFClipPath_CountPaths(clip) : 0;
  if (clipped && paths < 1) return false;
  for (int i = 0; i < paths; ++i) {
    double left = std::numeric_limits<double>::max(), bottom = left, right = -left, top = -left;
    for (int s = 0, segments = FPDFClipPath_CountPathSegments(clip, i); s < segments; ++s) {
      float x = 0, y = 0;
      if (!FPDFPathSegment_GetPoint(FPDFClipPath_GetPathSegment(clip, i, s), &x, &y)) return false;
      left = std::min(left, double(x));
      right = std::max(right, double(x));
      bottom = std::min(bottom, double(y));
      top = std::max(top, double(y));
    }
    if (!(left <= right) || !QRectF(QPointF(left, bottom), QPointF(right, top)).adjusted(-1, -1, 1, 1).contains(place))
      return false;
  }
  return true;
}

std::optional<QTransform> carriedPictureMatrix(FPDF_PAGEOBJECT image, const TextBlock& b, const PageSpace& space,
                                               bool clipped) {
  FS_MATRIX m;
  if (!image || b.originalRect.width() <= 0 || b.originalRect.height() <= 0 || !FPDFPageObj_GetMatrix(image, &m))
    return std::nullopt;
  const QTransform own(m.a, m.b, m.c, m.d, m.e, m.f);
  bool invertible = false;
  const QTransform back = own.inverted(&invertible);
  const QTransform userFromShown = space.userFromShown();
  const QTransform carry = userFromShown.inverted() * shownCarry(b) * userFromShown;
  if (!invertible || !carry.isInvertible()) return std::nullopt;
  if (!clipHolds(image, (own * carry).mapRect(QRectF(0, 0, 1, 1)), clipped)) return std::nullopt;
  return own * carry * back;
}
