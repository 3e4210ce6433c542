#pragma once
// What an edit reads of the page's characters and where its blocks lie.

#include "PageSpace.h"
#include "PdfiumApi.h"
#include "TurnedRect.h"

#include <QPointF>
#include <QRectF>

#include <cmath>
#include <vector>

// Where the block's old content lies on the shown page: its box turned as it
// was drawn. The upright bounds of a turned line take in its neighbours'
// letters, which would go with it.
struct Place {
  QRectF box;  // unturned
  double rotation = 0;
  bool contains(const QPointF& p) const {
    return std::abs(rotation) < 0.1 ? box.contains(p) : box.contains(turnAbout(box.center(), -rotation).map(p));
  }
  QRectF bounds() const { return turnedBounds(box, rotation); }
};

// One drawn character of the page's text and the object that draws it.
struct PageChar {
  FPDF_PAGEOBJECT object;
  QPointF centre;
  bool hidden;
  bool mapped;  // has a Unicode value, so search and copying find it
  double baseline;  // y of the glyph's origin on the shown page
  char32_t unicode;
};

// Every character the page draws but blanks, where and how.
std::vector<PageChar> readPageChars(FPDF_PAGE page, const PageSpace& space);
std::vector<PageChar> readPageChars(FPDF_TEXTPAGE textPage, const PageSpace& space);
// The median baseline of the visible characters centred in rect; NaN for none.
double baselineIn(const std::vector<PageChar>& chars, const QRectF& rect);
