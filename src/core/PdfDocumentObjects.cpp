#include "PdfDocument.h"

#include "DocumentLock.h"
#include "PageObjectWriters.h"
#include "PageSpace.h"
#include "PdfiumHandles.h"
#include "PdfWideString.h"

#include <algorithm>

namespace {

// Markup tints: translucent enough to read through, strong enough to see.
constexpr int kMarkupMinAlpha = 20;
constexpr int kMarkupMaxAlpha = 120;
const QColor kDefaultMarkupColor(255, 230, 0, 90);
// A note shows as an icon of this side, in points; viewers print it.
constexpr double kNoteIconSide = 24.0;
constexpr int kAnnotPrintFlag = 4;

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
  DocumentLock lock(mutex);
  if (!doc) {
    lastErrorMessage = QStringLiteral("Документ не открыт.");
    return false;
  }
  pdfium::Page loaded(FPDF_LoadPage(doc, page));
  if (!loaded) {
    lastErrorMessage = QStringLiteral("Не удалось открыть страницу %1.").arg(page + 1);
    return false;
  }
  // The note's icon, centred on the position.
  const QRectF user = PageSpace::ofPage(loaded.get())
                          .toUser(QRectF(position.x() - kNoteIconSide / 2, position.y() - kNoteIconSide / 2,
                                         kNoteIconSide, kNoteIconSide))
                          .normalized();
  pdfium::Annotation note(FPDFPage_CreateAnnot(loaded.get(), FPDF_ANNOT_TEXT));
  const FS_RECTF rect{float(user.left()), float(user.bottom()), float(user.right()), float(user.top())};
  const bool written = note && FPDFAnnot_SetRect(note.get(), &rect) &&
                       FPDFAnnot_SetStringValue(note.get(), "Contents",
                                                reinterpret_cast<FPDF_WIDESTRING>(toPdfWide(text).constData())) &&
                       FPDFAnnot_SetStringValue(note.get(), "T",
                                                reinterpret_cast<FPDF_WIDESTRING>(toPdfWide(author).constData())) &&
                       FPDFAnnot_SetColor(note.get(), FPDFANNOT_COLORTYPE_Color, 255, 230, 0, 255) &&
                       FPDFAnnot_SetFlags(note.get(), kAnnotPrintFlag);
  if (!written) {
    // A half-written note is taken off the page again.
    if (note) {
      note.reset();
      FPDFPage_RemoveAnnot(loaded.get(), FPDFPage_GetAnnotCount(loaded.get()) - 1);
    }
    lastErrorMessage = QStringLiteral("Не удалось добавить заметку на страницу %1.").arg(page + 1);
    return false;
  }
  modified = true;
  return true;
}
