#pragma once
// The objects of a page read from its marked copy: which operator of which
// form drew each, how many codes a show draws, and what an edit of a line
// may move where the page draws it.

#include "PageContentEdit.h"
#include "PdfiumApi.h"

#include <QByteArray>
#include <QPointF>
#include <QRectF>

#include <map>
#include <vector>

class LineGlyphCut;
class PageSpace;

// The number `key` of our tag's mark on `object`; -1 for none.
int markNumber(FPDF_PAGEOBJECT object, const QByteArray& tag, const char* key);
// The number our tag gave the operator that drew `object`; -1 for none.
inline long operatorId(FPDF_PAGEOBJECT object, const QByteArray& tag) { return markNumber(object, tag, "K"); }
// How many codes the show that drew `object` draws, as its mark says; -1
// where that could not be told.
inline int operatorCodes(FPDF_PAGEOBJECT object, const QByteArray& tag) { return markNumber(object, tag, "N"); }

// Text that clips (render modes 4 to 7) shapes what is drawn after it:
// taking it out would uncover more than the user touched.
inline bool clipsText(FPDF_PAGEOBJECT object) { return FPDFTextObj_GetTextRenderMode(object) >= 4; }

// Where an object of the page was drawn: the forms it lies in, each by the
// order its container draws forms, and its operator's number there.
struct OperatorKey {
  std::vector<int> forms;
  long id = -1;
};

// Every object of the page (forms' insides too), with the key of each
// object that a marked page names.
struct PageObjects {
  std::vector<FPDF_PAGEOBJECT> text;
  std::vector<FPDF_PAGEOBJECT> topLevel;
  std::map<FPDF_PAGEOBJECT, OperatorKey> keys;
  std::map<FPDF_PAGEOBJECT, size_t> drawn;  // the order the page draws its objects in
};
// Reads them into `found`; `path` is the forms `form` lies in (empty for the page).
void collectObjects(FPDF_PAGE page, FPDF_PAGEOBJECT form, std::vector<int>& path, const QByteArray& tag,
                    PageObjects& found);

// Whether the kept glyphs of a line drawn in `was` (shown) can move by
// `carried` where the page draws them: their clip holds the new place, and nothing
// painted after them covers the new place that did not cover the old one.
// Else the line is written anew on top of the page.
bool movesWhereDrawn(const LineGlyphCut& line, const QRectF& was, const QPointF& carried, const PageObjects& objects,
                     const PageSpace& space, const QByteArray& tag);

// The drops of the form at `forms` (the page's own for none).
ContentDrops& dropsAt(ContentDrops& root, const std::vector<int>& forms);

// Where the first glyph of each text object starts (user space).
std::map<FPDF_PAGEOBJECT, QPointF> firstGlyphOrigins(FPDF_PAGE page);
