#include "PageObjectWriters.h"

#include "PageSpace.h"
#include "PdfBitmapHelpers.h"
#include "PdfiumHandles.h"

bool insertImageObject(FPDF_DOCUMENT document, FPDF_PAGE page, const QRectF& rect, const QImage& image) {
  if (rect.width() <= 0.1 || rect.height() <= 0.1) return false;
  return placeImageObject(document, page, rect, image);
}

bool placeImageObject(FPDF_DOCUMENT document, FPDF_PAGE page, const QRectF& rect, const QImage& image) {
  if (!document || !page || image.isNull() || !(rect.width() > 0) || !(rect.height() > 0)) return false;
  QImage pixels = imageForPdfiumBitmap(image);
  if (pixels.isNull()) return false;
  pdfium::Bitmap bitmap(createBitmapFromQImage(pixels));
  if (!bitmap) return false;
  pdfium::PageObject object(FPDFPageObj_NewImageObj(document));
  if (!object) return false;
  FPDF_PAGE pages[] = {page};
  if (!FPDFImageObj_SetBitmap(pages, 1, object.get(), bitmap.get())) return false;

  // The unit square onto the shown rectangle, then into user space, so the
  // image stands upright on a turned page as well.
  const QTransform shown(rect.width(), 0, 0, rect.height(), rect.x(), rect.y());
  const QTransform m = shown * PageSpace::ofPage(page).userFromShown();
  if (!FPDFImageObj_SetMatrix(object.get(), m.m11(), m.m12(), m.m21(), m.m22(), m.dx(), m.dy())) return false;
  FPDFPage_InsertObject(page, object.release());
  return true;
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
