// What a page draws over one of its lines. An edited line is written back
// where the old one was drawn, so whatever the page draws after it (a cover
// box, a sticker, a stamp) still covers the new words: the view lays this
// over its picture of the edited line to show the same.
#include "PdfDocument.h"

#include "DocumentLock.h"
#include "PageLoadGuard.h"
#include "PageObjectBounds.h"
#include "PageSpace.h"
#include "PdfiumHandles.h"

#include <algorithm>
#include <map>
#include <vector>

namespace {

// Every object the page draws, in drawing order: what forms draw in place of
// the forms, each leaf with the top-level object it is part of.
struct DrawnObject {
  FPDF_PAGEOBJECT object;
  FPDF_PAGEOBJECT topLevel;
};

void collectDrawn(FPDF_PAGE page, FPDF_PAGEOBJECT form, FPDF_PAGEOBJECT top, int depth, std::vector<DrawnObject>& out) {
  const int count = form ? FPDFFormObj_CountObjects(form) : FPDFPage_CountObjects(page);
  for (int i = 0; i < count; ++i) {
    FPDF_PAGEOBJECT object = form ? FPDFFormObj_GetObject(form, (unsigned long)i) : FPDFPage_GetObject(page, i);
    if (!object) continue;
    if (FPDFPageObj_GetType(object) == FPDF_PAGEOBJ_FORM && depth < 12)
      collectDrawn(page, object, top ? top : object, depth + 1, out);
    else
      out.push_back({object, top ? top : object});
  }
}

}  // namespace

QImage PdfDocument::renderDrawnOver(int page, double scale, int rotation, const QRectF& place,
                                   const std::vector<QRectF>& gone) const {
  if (!isOpen() || loadGuard->refuses(page)) return {};
  DocumentLock lock(mutex);
  if (!doc) return {};
  pdfium::Page loaded(loadPageUnlocked(page));
  if (!loaded) return {};
  const PageSpace space = PageSpace::ofPage(loaded.get());
  std::vector<DrawnObject> drawn;
  collectDrawn(loaded.get(), nullptr, nullptr, 0, drawn);
  std::map<FPDF_PAGEOBJECT, size_t> order;
  for (size_t i = 0; i < drawn.size(); ++i) order.emplace(drawn[i].object, i);

  // The line's own objects: those drawing a character in its place.
  std::vector<bool> ownLine(drawn.size(), false);
  std::vector<bool> leaving(drawn.size(), false);
  size_t first = drawn.size();
  {
    pdfium::TextPage text(FPDFText_LoadPage(loaded.get()));
    const int count = text ? FPDFText_CountChars(text.get()) : 0;
    for (int i = 0; i < count; ++i) {
      double left = 0, right = 0, bottom = 0, top = 0;
      FPDF_PAGEOBJECT object = FPDFText_GetTextObject(text.get(), i);
      const auto it = order.find(object);
      if (it == order.end() || !FPDFText_GetCharBox(text.get(), i, &left, &right, &bottom, &top)) continue;
      const QPointF centre = space.toShown(QPointF((left + right) / 2, (bottom + top) / 2));
      if (!place.contains(centre)) {
        leaving[it->second] = leaving[it->second] || std::any_of(gone.begin(), gone.end(), [&centre](const QRectF& r) {
                                return r.contains(centre);
                              });
        continue;
      }
      ownLine[it->second] = true;
      first = std::min(first, it->second);
    }
  }
  // Nothing drawn after the line reaches into its place: nothing to show.
  bool covered = false;
  for (size_t i = first + 1; i < drawn.size() && !covered; ++i) {
    if (ownLine[i] || leaving[i]) continue;
    const int type = FPDFPageObj_GetType(drawn[i].topLevel);
    const QRectF bounds = space.toShown(pageObjectBounds(drawn[i].topLevel, type)).normalized();
    covered = bounds.isEmpty() || bounds.intersects(place);
  }
  if (!covered) return {};

  for (size_t i = 0; i < drawn.size(); ++i)
    if (i <= first || ownLine[i] || leaving[i]) FPDFPageObj_SetIsActive(drawn[i].object, false);
  // The page is closed right after: the document itself never changes.
  return renderLoadedPageUnlocked(loaded.get(), page, scale, rotation, true, true);
}
