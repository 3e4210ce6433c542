#include "PdfDocument.h"

#include "DocumentLock.h"
#include "PageObjectWriters.h"
#include "PageSpace.h"
#include "PdfiumHandles.h"

#include <algorithm>

namespace {

// Markup tints: translucent enough to read through, strong enough to see.
constexpr int kMarkupMinAlpha = 20;
constexpr int kMarkupMaxAlpha = 120;
const QColor kDefaultMarkupColor(255, 230, 0, 90);

}  // namespace

bool PdfDocument::addImageToPage(int page, QPointF position, QSizeF size, const QImage& image) {
  DocumentLock lock(mutex);
  if (!doc || image.isNull() || size.width() <= 0 || size.height() <= 0) return false;
  pdfium::Page loaded(FPDF_LoadPage(doc, page));
  if (!loaded) return false;
  if (!placeImageObject(doc, loaded.get(), QRectF(position, size), image)) return false;
  FPDFPage_GenerateContent(loaded.get());
  modified = true;
  return true;
}

bool PdfDocument::addMarkupAnnot(int page, const QRectF& rect, const QColor& color, int kind) {
  Q_UNUSED(kind);  // highlight, underline and strike-out all mark the rectangle the caller chose
  DocumentLock lock(mutex);
  if (!doc) return false;
  pdfium::Page loaded(FPDF_LoadPage(doc, page));
  if (!loaded) return false;
  const QRectF user = PageSpace::ofPage(loaded.get()).toUser(rect);
  pdfium::PageObject mark(
      FPDFPageObj_CreateNewRect(float(user.x()), float(user.y()), float(user.width()), float(user.height())));
  if (!mark) return false;
  const QColor fill = color.isValid() ? color : kDefaultMarkupColor;
  FPDFPageObj_SetFillColor(mark.get(), unsigned(fill.red()), unsigned(fill.green()), unsigned(fill.blue()),
                           unsigned(std::clamp(fill.alpha(), kMarkupMinAlpha, kMarkupMaxAlpha)));
  FPDFPath_SetDrawMode(mark.get(), FPDF_FILLMODE_WINDING, 0);
  // On top of everything, so a scanned page's image cannot hide it; multiplied,
  // so dark text under it stays dark and readable.
  FPDFPageObj_SetBlendMode(mark.get(), "Multiply");
  FPDFPage_InsertObject(loaded.get(), mark.release());
  FPDFPage_GenerateContent(loaded.get());
  modified = true;
  return true;
}

bool PdfDocument::addHighlightAnnot(int page, const QRectF& rect, const QColor& color) {
  return addMarkupAnnot(page, rect, color, 0);
}

bool PdfDocument::addStickyNote(int page, QPointF position, const QString& text, const QString& author) {
  Q_UNUSED(page);
  Q_UNUSED(position);
  Q_UNUSED(text);
  Q_UNUSED(author);
  lastErrorMessage = QStringLiteral("Sticky notes are not implemented in the PDFium backend yet.");
  return false;
}
