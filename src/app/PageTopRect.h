#pragma once
// Regions marked in the view measure y down from the page's top edge; the
// document takes rectangles of the shown page with y up from its bottom edge.
// This is the one step between the two; the document maps on to user space.

#include <QRectF>
#include <QSizeF>

inline QRectF shownRectFromPageTop(const QRectF& top, const QSizeF& pageSize) {
  const QRectF r = top.normalized();
  return QRectF(r.x(), pageSize.height() - r.y() - r.height(), r.width(), r.height());
}

inline QPointF shownPointFromPageTop(const QPointF& top, const QSizeF& pageSize) {
  return QPointF(top.x(), pageSize.height() - top.y());
}
