#include "PageSpace.h"

#include "PdfiumApi.h"

#include <algorithm>
#include <cmath>

PageSpace::PageSpace(const QRectF& visibleBox, int quarterTurns)
    : box(visibleBox.normalized()), turns(((quarterTurns % 4) + 4) % 4) {}

PageSpace PageSpace::ofPage(FPDF_PAGE page) {
  FS_RECTF r{};
  QRectF visible;
  if (page && FPDF_GetPageBoundingBox(page, &r)) {
    const double left = std::min(r.left, r.right);
    const double bottom = std::min(r.top, r.bottom);
    visible = QRectF(left, bottom, std::abs(r.right - r.left), std::abs(r.top - r.bottom));
  } else if (page) {
    visible = QRectF(0, 0, FPDF_GetPageWidthF(page), FPDF_GetPageHeightF(page));
  }
  return PageSpace(visible, page ? FPDFPage_GetRotation(page) : 0);
}

QSizeF PageSpace::shownSize() const {
  return (turns % 2) ? QSizeF(box.height(), box.width()) : box.size();
}

QPointF PageSpace::toUser(const QPointF& shown) const {
  const double sx = shown.x();
  const double sy = shown.y();
  const double w = box.width();
  const double h = box.height();
  QPointF rel;
  switch (turns) {
    case 1: rel = {w - sy, sx}; break;
    case 2: rel = {w - sx, h - sy}; break;
    case 3: rel = {sy, h - sx}; break;
    default: rel = {sx, sy}; break;
  }
  return rel + box.topLeft();
}

QRectF PageSpace::toUser(const QRectF& shown) const {
  return PageSpace::rectFromCorners(toUser(shown.topLeft()), toUser(shown.bottomRight()));
}

QTransform PageSpace::userFromShown() const {
  const QPointF origin = toUser(QPointF(0, 0));
  const QPointF ex = toUser(QPointF(1, 0)) - origin;
  const QPointF ey = toUser(QPointF(0, 1)) - origin;
  return QTransform(ex.x(), ex.y(), ey.x(), ey.y(), origin.x(), origin.y());
}
