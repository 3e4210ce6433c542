#pragma once
// The one conversion between pdfium's user space and the space of the page as
// shown: after its /Rotate, relative to the lower-left corner of its crop box,
// y upwards. Every rectangle the document model exchanges lives in the shown
// space, the space of pageSize() and of the renders.

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QTransform>

#include <algorithm>

struct fpdf_page_t__;

class PageSpace {
public:
  PageSpace() = default;
  // box: the visible box in user space (crop box clipped to the media box);
  // quarterTurns: the page's /Rotate in clockwise quarter turns.
  PageSpace(const QRectF& box, int quarterTurns);

  // Reads the box and rotation of a loaded page; caller holds the pdfium lock.
  static PageSpace ofPage(fpdf_page_t__* page);

  QSizeF shownSize() const;
  int quarterTurns() const { return turns; }
  // The same page shown turned `quarterTurns` further clockwise.
  PageSpace turned(int quarterTurns) const { return PageSpace(box, turns + quarterTurns); }

  QPointF toShown(const QPointF& user) const;
  QPointF toUser(const QPointF& shown) const;
  // Rectangles have y at their lower edge.
  QRectF toShown(const QRectF& user) const;
  QRectF toUser(const QRectF& shown) const;
  // Maps shown coordinates to user coordinates, for placing new objects.
  QTransform userFromShown() const;

private:
  static QRectF rectFromCorners(const QPointF& a, const QPointF& b) {
    const double left = std::min(a.x(), b.x());
    const double bottom = std::min(a.y(), b.y());
    return QRectF(left, bottom, std::max(a.x(), b.x()) - left, std::max(a.y(), b.y()) - bottom);
  }

  QRectF box;
  int turns = 0;
};

// Inline: text extraction maps every character's box through these.
inline QPointF PageSpace::toShown(const QPointF& user) const {
  const double rx = user.x() - box.left();
  const double ry = user.y() - box.top();  // QRectF::top() is the smaller y: the lower edge here
  const double w = box.width();
  const double h = box.height();
  switch (turns) {
    case 1: return {ry, w - rx};
    case 2: return {w - rx, h - ry};
    case 3: return {h - ry, rx};
    default: return {rx, ry};
  }
}

inline QRectF PageSpace::toShown(const QRectF& user) const {
  return rectFromCorners(toShown(user.topLeft()), toShown(user.bottomRight()));
}
