#include "PageObjectWriters.h"

#include "PageSpace.h"
#include "PdfBitmapHelpers.h"
#include "PdfiumHandles.h"

#include <cstring>

bool insertImageObject(FPDF_DOCUMENT document, FPDF_PAGE page, const QRectF& rect, const QImage& image) {
  if (rect.width() <= 0.1 || rect.height() <= 0.1) return false;
  return placeImageObject(document, page, rect, image);
}

namespace {

// `argb` is Format_ARGB32.
bool everyPixelOpaque(const QImage& argb) {
  for (int y = 0; y < argb.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    for (int x = 0; x < argb.width(); ++x)
      if (qAlpha(row[x]) != 255) return false;
  }
  return true;
}

// The unit square onto the shown rectangle, then into user space, so the
// image stands upright on a turned page as well; then onto the page.
bool finishImageObject(FPDF_PAGE page, pdfium::PageObject& object, const QRectF& rect) {
  const QTransform shown(rect.width(), 0, 0, rect.height(), rect.x(), rect.y());
  const QTransform m = shown * PageSpace::ofPage(page).userFromShown();
  if (!FPDFImageObj_SetMatrix(object.get(), m.m11(), m.m12(), m.m21(), m.m22(), m.dx(), m.dy())) return false;
  FPDFPage_InsertObject(page, object.release());
  return true;
}

}  // namespace

bool placeImageObject(FPDF_DOCUMENT document, FPDF_PAGE page, const QRectF& rect, const QImage& image) {
  if (!document || !page || image.isNull() || !(rect.width() > 0) || !(rect.height() > 0)) return false;
  QImage pixels = imageForPdfiumBitmap(image);
  if (pixels.isNull()) return false;
  // An opaque picture goes in without an alpha channel (the same bytes, the
  // alpha byte ignored), so it gets no soft mask it does not need.
  const bool opaque = !image.hasAlphaChannel() || everyPixelOpaque(pixels);
  pdfium::Bitmap bitmap(FPDFBitmap_CreateEx(pixels.width(), pixels.height(), opaque ? FPDFBitmap_BGRx : FPDFBitmap_BGRA,
                                            pixels.bits(), int(pixels.bytesPerLine())));
  if (!bitmap) return false;
  pdfium::PageObject object(FPDFPageObj_NewImageObj(document));
  if (!object) return false;
  FPDF_PAGE pages[] = {page};
  if (!FPDFImageObj_SetBitmap(pages, 1, object.get(), bitmap.get())) return false;
  return finishImageObject(page, object, rect);
}

bool placeJpegObject(FPDF_DOCUMENT document, FPDF_PAGE page, const QRectF& rect, const QByteArray& jpeg) {
  if (!document || !page || jpeg.isEmpty() || !(rect.width() > 0) || !(rect.height() > 0)) return false;
  pdfium::PageObject object(FPDFPageObj_NewImageObj(document));
  if (!object) return false;
  QByteArray bytes = jpeg;
  FPDF_FILEACCESS access{static_cast<unsigned long>(bytes.size()), readBytesBlock, &bytes};
  FPDF_PAGE pages[] = {page};
  // Inline: the data is copied into the document now, not read later.
  if (!FPDFImageObj_LoadJpegFileInline(pages, 1, object.get(), &access)) return false;
  return finishImageObject(page, object, rect);
}

void insertWhiteRect(FPDF_PAGE page, const QRectF& rect, double margin) {
  if (!page) return;
  const QRectF grown = rect.normalized().adjusted(-margin, -margin, margin, margin);
  if (grown.width() <= 0.1 || grown.height() <= 0.1) return;
  const QRectF user = PageSpace::ofPage(page).toUser(grown);
  pdfium::PageObject path(FPDFPageObj_CreateNewRect(float(user.x()), float(user.y()), float(user.width()),
                                                    float(user.height())));
  if (!path) return;
  FPDFPageObj_SetFillColor(path.get(), 255, 255, 255, 255);
  FPDFPath_SetDrawMode(path.get(), FPDF_FILLMODE_WINDING, 0);
  FPDFPage_InsertObject(page, path.release());
}
