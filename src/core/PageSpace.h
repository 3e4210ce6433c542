#pragma once
// The one conversion between pdfium's user space and the space of the page as
// shown: after its /Rotate, relative to the lower-left corner of its crop box,
// y upwards. Every rectangle the document model exchanges lives in the shown
// space, the space of pageSize() and of the renders.

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QTransform>

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

  QPointF toShown(const QPointF& user) const;
  QPointF toUser(const QPointF& shown) const;
  // Rectangles have y at their lower edge.
  QRectF toShown(const QRectF& user) const;
  QRectF toUser(const QRectF& shown) const;
  // Maps shown coordinates to user coordinates, for placing new objects.
  QTransform userFromShown() const;

private:
  QRectF box;
  int turns = 0;
};
