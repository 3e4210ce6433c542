#include "PdfDocument.h"

#include "DocumentLock.h"
#include "PdfBitmapHelpers.h"
#include "PdfFormFields.h"
#include "PageLoadGuard.h"
#include "PdfiumHandles.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

struct RemovedObject {
  int index;
  FPDF_PAGEOBJECT object;
};

// Takes out the objects a layer must not show; the page is closed right after
// rendering, so the document itself never changes.
std::vector<RemovedObject> removeObjectsForLayer(FPDF_PAGE page, PdfRenderLayer layer) {
  std::vector<RemovedObject> removed;
  if (layer != PdfRenderLayer::NoText && layer != PdfRenderLayer::TextOnly) return removed;
  for (int i = FPDFPage_CountObjects(page) - 1; i >= 0; --i) {
    FPDF_PAGEOBJECT object = FPDFPage_GetObject(page, i);
    if (!object) continue;
    const bool isText = FPDFPageObj_GetType(object) == FPDF_PAGEOBJ_TEXT;
    if ((layer == PdfRenderLayer::NoText) == isText && FPDFPage_RemoveObject(page, object))
      removed.push_back({i, object});
  }
  return removed;
}

void restoreObjects(FPDF_PAGE page, std::vector<RemovedObject>& removed) {
  std::sort(removed.begin(), removed.end(),
            [](const RemovedObject& a, const RemovedObject& b) { return a.index < b.index; });
  for (const RemovedObject& r : removed) {
    if (!FPDFPage_InsertObjectAtIndex(page, r.object, size_t(r.index))) FPDFPageObj_Destroy(r.object);
  }
}

}  // namespace

QImage PdfDocument::renderPageLayer(int page, double scale, int rotation, PdfRenderLayer layer,
                                    bool transparent) const {
  return renderPageImage(page, scale, rotation, layer, transparent, true);
}

QImage PdfDocument::renderPageImage(int page, double scale, int rotation, PdfRenderLayer layer, bool transparent,
                                    bool withFields) const {
  // A page not yet checked is checked before the document is locked, so
  // that everything else done with the document goes on meanwhile.
  if (!isOpen() || loadGuard->refuses(page)) return {};
  // Known too costly at this size: no wait for the document's lock to learn it.
  if (isRenderRefused(page, scale)) return {};
  DocumentLock lock(mutex);
  if (!doc) return {};
  pdfium::Page loaded(loadPageUnlocked(page));
  if (!loaded) return {};
  std::vector<RemovedObject> removed = removeObjectsForLayer(loaded.get(), layer);
  const QImage image = renderLoadedPageUnlocked(loaded.get(), page, scale, rotation, transparent, withFields);
  restoreObjects(loaded.get(), removed);
  return image;
}

QImage PdfDocument::renderLoadedPageUnlocked(FPDF_PAGE page, int index, double scale, int rotation,
                                             bool transparent, bool withFields) const {
  QSizeF points(FPDF_GetPageWidthF(page), FPDF_GetPageHeightF(page));
  const int quarterTurns = (((rotation % 360) + 360) % 360) / 90;
  if (quarterTurns % 2) points.transpose();
  // The form environment is made for a page with widgets only: that page's
  // check made it too, within the check's bounds.
  const bool fields = withFields && pageHasWidgets(page);
  return renderLoadedPageBounded(page, renderPixelSize(points, scale), quarterTurns, transparent,
                                 fields ? formHandleUnlocked() : nullptr, loadGuard->renderCost(index),
                                 withFields ? doc : nullptr, index);
}

bool PdfDocument::isRenderRefused(int page, double scale) const {
  if (loadGuard->refused(page)) return true;
  const std::optional<PageRenderCost> cost = loadGuard->renderCost(page);
  const QSize pixels = renderPixelSize(pageSize(page), scale);
  // Larger than any image drawn: it shows when zoomed out.
  if (pixels.isEmpty()) return true;
  return cost && planRender(*cost, (long long)pixels.width() * pixels.height()).refused;
}

bool PdfDocument::isPageBeingChecked(int page) const { return loadGuard->undecided(page); }

bool PdfDocument::pageCheckEndsWithin(int page, int waitMs) const {
  return !isOpen() || loadGuard->decide(page, std::max(0, waitMs)).has_value();
}

void PdfDocument::interruptPageChecks(bool interrupt) const { loadGuard->interruptChecks(interrupt); }

QImage PdfDocument::renderPage(int page, double scale, int rotation) const {
  return renderPageLayer(page, scale, rotation, PdfRenderLayer::Full, false);
}

QImage PdfDocument::renderPageContent(int page, double scale) const {
  return renderPageImage(page, scale, 0, PdfRenderLayer::Full, false, false);
}

QImage PdfDocument::renderPageRegion(int page, double scale, const QRectF& region) const {
  const QImage whole = renderPageLayer(page, scale, 0, PdfRenderLayer::Full, false);
  if (whole.isNull()) return {};
  const double pageHeight = pageSize(page).height();
  const QRect pixels = QRect(int(std::lround(region.x() * scale)),
                             int(std::lround((pageHeight - region.y() - region.height()) * scale)),
                             int(std::lround(region.width() * scale)),
                             int(std::lround(region.height() * scale)))
                           .normalized()
                           .intersected(whole.rect());
  if (pixels.isEmpty()) return {};
  return whole.copy(pixels);
}
