#include "LineRoom.h"

#include "PageObjectBounds.h"
#include "PageSpace.h"
#include "PageTextCharacters.h"
#include "PdfiumApi.h"

#include <algorithm>

LineRoom freeRoom(const QRectF& line, const std::vector<QPointF>& words, const std::vector<QRectF>& ink,
                  const QRectF& column, double sheetWidth) {
  const QRectF was = line.normalized();
  // Inside the page's margins (the other side's mirroring the line's, or the
  // text column's where that reaches further) or its text column.
  const double leftEdge = std::max(0.0, column.isEmpty() ? was.left() : std::min(was.left(), column.left()));
  const double rightEdge =
      std::min(sheetWidth, column.isEmpty() ? was.right() : std::max(was.right(), column.right()));
  LineRoom room{std::min(leftEdge, sheetWidth - rightEdge), std::max(rightEdge, sheetWidth - leftEdge)};
  // Only ink across the middle of the line's height stands in its way.
  const double low = was.top() + 0.25 * was.height(), high = was.bottom() - 0.25 * was.height();
  const auto across = [&](double top, double bottom) { return bottom > low && top < high; };
  const auto limit = [&](double from, double to) {
    if (to <= was.left() + 0.5) room.left = std::max(room.left, to);
    else if (from >= was.right() - 0.5) room.right = std::min(room.right, from);
  };
  // A word is known by its letters' middles: the line stops half a letter
  // and a blank short of them, so that it neither touches nor joins them.
  const double apart = 0.7 * was.height();
  for (const QPointF& word : words) {
    if (!across(word.y(), word.y())) continue;
    if (word.x() <= was.left() + 0.5) room.left = std::max(room.left, std::min(word.x() + apart, was.left()));
    else if (word.x() >= was.right() - 0.5) room.right = std::min(room.right, std::max(word.x() - apart, was.right()));
  }
  for (const QRectF& box : ink) {
    const QRectF b = box.normalized();
    if (!across(b.top(), b.bottom())) continue;
    if (b.left() <= was.left() + 0.5 && b.right() >= was.right() - 0.5) {
      // What the line stands on: it stays inside.
      room.left = std::max(room.left, std::min(b.left(), was.left()));
      room.right = std::min(room.right, std::max(b.right(), was.right()));
    } else if (b.center().x() >= was.center().x()) {
      limit(std::max(b.left(), was.right()), b.right());
    } else {
      limit(b.left(), std::min(b.right(), was.left()));
    }
  }
  room.left = std::min(room.left, was.left());
  room.right = std::max(room.right, was.right());
  return room;
}

bool isHiddenTextObject(FPDF_PAGEOBJECT object) {
  unsigned int r = 0, g = 0, b = 0, a = 255;
  const bool faint = FPDFPageObj_GetFillColor(object, &r, &g, &b, &a) && a <= 4;
  return faint || FPDFTextObj_GetTextRenderMode(object) == FPDF_TEXTRENDERMODE_INVISIBLE;
}

std::vector<QRectF> pageInkBoxes(FPDF_PAGE page, const PageSpace& space) {
  std::vector<QRectF> ink;
  const int count = FPDFPage_CountObjects(page);
  for (int i = 0; i < count; ++i) {
    FPDF_PAGEOBJECT object = FPDFPage_GetObject(page, i);
    const int type = object ? FPDFPageObj_GetType(object) : FPDF_PAGEOBJ_UNKNOWN;
    if (!object || type == FPDF_PAGEOBJ_TEXT) continue;
    if (const QRectF box = pageObjectBounds(object, type); !box.isEmpty()) ink.push_back(space.toShown(box).normalized());
  }
  return ink;
}
