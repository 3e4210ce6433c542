#include "PageChars.h"

#include "LineRoom.h"
#include "PageTextCharacters.h"
#include "PdfiumHandles.h"

#include <algorithm>

std::vector<PageChar> readPageChars(FPDF_PAGE page, const PageSpace& space) {
  pdfium::TextPage textPage(FPDFText_LoadPage(page));
  return readPageChars(textPage.get(), space);
}

std::vector<PageChar> readPageChars(FPDF_TEXTPAGE textPage, const PageSpace& space) {
  std::vector<PageChar> chars;
  if (!textPage) return chars;
  const int count = FPDFText_CountChars(textPage);
  for (int i = 0; i < count; ++i) {
    const unsigned int u = FPDFText_GetUnicode(textPage, i);
    // Blanks draw nothing; a ligature at a control code (TeX's "fi" at form feed) does.
    if (u != 0 && u <= 0xFFFF && QChar(char16_t(u)).isSpace() && isBlank(lettersOfCode(u))) continue;
    FPDF_PAGEOBJECT object = FPDFText_GetTextObject(textPage, i);
    double left = 0, right = 0, bottom = 0, top = 0;
    if (!object || !FPDFText_GetCharBox(textPage, i, &left, &right, &bottom, &top)) continue;
    const QPointF centre = space.toShown(QPointF((left + right) / 2, (bottom + top) / 2));
    double originX = 0, originY = 0;
    const double baseline = FPDFText_GetCharOrigin(textPage, i, &originX, &originY)
                                ? space.toShown(QPointF(originX, originY)).y()
                                : std::nan("");
    chars.push_back({object, centre, isHiddenTextObject(object), u != 0, baseline, char32_t(u)});
  }
  return chars;
}

double baselineIn(const std::vector<PageChar>& chars, const QRectF& rect) {
  std::vector<double> found;
  for (const PageChar& c : chars)
    if (!c.hidden && c.mapped && !std::isnan(c.baseline) && rect.contains(c.centre)) found.push_back(c.baseline);
  if (found.empty()) return std::nan("");
  std::nth_element(found.begin(), found.begin() + found.size() / 2, found.end());
  return found[found.size() / 2];
}
