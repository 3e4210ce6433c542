#pragma once
// What an edit reads of the page's characters, and the shows at a retyped
// line's ends that it keeps whole where the line's glyphs cannot be cut.

#include "PageSpace.h"
#include "PdfiumApi.h"
#include "TurnedRect.h"

#include <QPointF>
#include <QRectF>
#include <QString>

#include <cmath>
#include <map>
#include <set>
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
  bool misread = false;  // the font says nothing reliable of which character it is
};

// Every character the page draws but blanks, where and how.
std::vector<PageChar> readPageChars(FPDF_PAGE page, const PageSpace& space);
std::vector<PageChar> readPageChars(FPDF_TEXTPAGE textPage, const PageSpace& space);
// The median baseline of the visible characters centred in rect; NaN for none.
double baselineIn(const std::vector<PageChar>& chars, const QRectF& rect);

// What of a retyped line stays as the page drew it: the shows at its start
// and at its end whose text the new line still begins and ends with. They
// keep the page's own font and glyphs, whatever characters pdfium reads
// them as; only the text between them is written anew.
struct KeptEnds {
  std::set<FPDF_PAGEOBJECT> objects;
  QString middle;                   // the new text between them, blanks as typed
  double left = std::nan("");       // the shown page's x where the start ends
  double right = std::nan("");      // and where the end begins
  FPDF_PAGEOBJECT after = nullptr;  // the last drawn show of the start
};

KeptEnds keptEnds(FPDF_TEXTPAGE textPage, const std::vector<PageChar>& chars, const Place& line,
                  const QString& oldText, const QString& newText, const std::set<FPDF_PAGEOBJECT>& candidates,
                  const std::map<FPDF_PAGEOBJECT, size_t>& drawn, const PageSpace& space);
