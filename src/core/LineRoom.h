#pragma once
// How far an edited line may grow on the shown page before it is narrowed:
// into the free room beside it, up to the first ink of its row (another
// word, a rule, a picture's edge, the end of a shading it stands on), and
// no further than the page's margins (mirroring the line's own, or the text
// column's) or its text column reach.

#include <QPointF>
#include <QRectF>

#include <algorithm>
#include <vector>

struct LineRoom {
  double left = 0, right = 0;  // shown x
};

// `line` is where the line's glyphs stand (shown, y up); `words` the middles
// of the page's other visible characters; `ink` the boxes of what else the
// page paints; `column` where the page's text stands; `sheetWidth` the
// shown page's width. The room always holds the line itself.
// Whether a line set over [left, right] leaves a sheet `sheet` wide where
// the line it replaces, over [wasLeft, wasRight], did not.
inline bool leavesSheet(double left, double right, double sheet, double wasLeft, double wasRight) {
  return right > std::max(sheet, wasRight) + 0.5 || left < std::min(0.0, wasLeft) - 0.5;
}

LineRoom freeRoom(const QRectF& line, const std::vector<QPointF>& words, const std::vector<QRectF>& ink,
                  const QRectF& column, double sheetWidth);

struct fpdf_page_t__;
struct fpdf_pageobject_t__;
class PageSpace;
// Text drawn invisible or all but transparent (a scan's text layer).
bool isHiddenTextObject(fpdf_pageobject_t__* object);
// What of a loaded page besides its visible characters stands in a line's
// way (shown): the boxes of what else it paints at its top level.
std::vector<QRectF> pageInkBoxes(fpdf_page_t__* page, const PageSpace& space);
