#include "PdfDocument.h"

#include "DocumentLock.h"
#include "PdfBitmapHelpers.h"
#include "PdfFormFields.h"
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
  DocumentLock lock(mutex);
  if (!doc) return {};
  pdfium::Page loaded(loadPageUnlocked(page));
  if (!loaded) return {};
  std::vector<RemovedObject> removed = removeObjectsForLayer(loaded.get(), layer);
  const QImage image = renderLoadedPageUnlocked(loaded.get(), scale, rotation, transparent, withFields);
  restoreObjects(loaded.get(), removed);
  return image;
}

QImage PdfDocument::renderLoadedPageUnlocked(FPDF_PAGE page, double scale, int rotation, bool transparent,
                                             bool withFields) const {
  QSizeF points(FPDF_GetPageWidthF(page), FPDF_GetPageHeightF(page));
  const int quarterTurns = (((rotation % 360) + 360) % 360) / 90;
  if (quarterTurns % 2) points.transpose();
  const QSize pixels = renderPixelSize(points, scale);

  QImage image(pixels, QImage::Format_ARGB32);
  if (image.isNull()) return {};
  // pdfium's fill is the page's only pass before drawing: a page is megabytes.
  if (pdfium::Bitmap bitmap{createBitmapFromQImage(image)}) {
    FPDFBitmap_FillRect(bitmap.get(), 0, 0, pixels.width(), pixels.height(), transparent ? 0u : 0xFFFFFFFFu);
    if (withFields)
      renderPageWithFields(bitmap.get(), page, formHandleUnlocked(), pixels.width(), pixels.height(), quarterTurns);
    else
      FPDF_RenderPageBitmap(bitmap.get(), page, 0, 0, pixels.width(), pixels.height(), quarterTurns, FPDF_LCD_TEXT);
  } else {
    image.fill(transparent ? Qt::transparent : Qt::white);
  }
  return image;
}

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
