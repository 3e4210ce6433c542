#include "PageObjectWriters.h"

#include "PageSpace.h"
#include "PdfBitmapHelpers.h"
#include "PdfiumHandles.h"
#include "TurnedRect.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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

// `image` with no more pixels along each side than the side it is drawn
// over (in points, by the image matrix `unitToUser`) takes at the densest.
QImage atMostDensest(const QImage& image, const QTransform& unitToUser) {
  const auto most = [](double points) {
    return std::max(1, int(std::ceil(points / 72.0 * kDensestPlacedPicturePpi)));
  };
  const int width = std::min(image.width(), most(std::hypot(unitToUser.m11(), unitToUser.m12())));
  const int height = std::min(image.height(), most(std::hypot(unitToUser.m21(), unitToUser.m22())));
  if (width == image.width() && height == image.height()) return image;
  return image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

bool finishImageObject(FPDF_PAGE page, pdfium::PageObject& object, const QTransform& m) {
  if (!FPDFImageObj_SetMatrix(object.get(), m.m11(), m.m12(), m.m21(), m.m22(), m.dx(), m.dy())) return false;
  FPDFPage_InsertObject(page, object.release());
  return true;
}

}  // namespace

QTransform shownImageMatrix(FPDF_PAGE page, const QRectF& rect, double degrees) {
  const QTransform shown(rect.width(), 0, 0, rect.height(), rect.x(), rect.y());
  return shown * turnAbout(rect.center(), degrees) * PageSpace::ofPage(page).userFromShown();
}

std::optional<QTransform> shownPixelOrder(const QTransform& unitToUser, const PageSpace& space) {
  // Pixel rows run down, the unit square and the shown page up.
  const QTransform flip(1, 0, 0, -1, 0, 0);
  const QTransform m = flip * QTransform(unitToUser.m11(), unitToUser.m12(), unitToUser.m21(), unitToUser.m22(), 0, 0) *
                       space.userFromShown().inverted() * flip;
  const double a = m.m11(), b = m.m12(), c = m.m21(), d = m.m22();
  const double scale = std::max({std::abs(a), std::abs(b), std::abs(c), std::abs(d)});
  if (!(scale > 0)) return std::nullopt;
  const auto sign = [](double v) { return v < 0 ? -1.0 : 1.0; };
  const double tiny = 1e-6 * scale;
  if (std::abs(b) < tiny && std::abs(c) < tiny) return QTransform(sign(a), 0, 0, sign(d), 0, 0);
  if (std::abs(a) < tiny && std::abs(d) < tiny) return QTransform(0, sign(b), sign(c), 0, 0, 0);
  return std::nullopt;
}

QImage reorderedPixels(const QImage& image, const QTransform& order) {
  const int a = int(std::lround(order.m11())), b = int(std::lround(order.m12()));
  const int c = int(std::lround(order.m21())), d = int(std::lround(order.m22()));
  if (std::abs(a) + std::abs(b) != 1 || std::abs(c) + std::abs(d) != 1 || std::abs(a * d - b * c) != 1) return image;
  if (b == 0) return image.mirrored(a < 0, d < 0);
  // A quarter turn clockwise (x' = -y, y' = x), then the mirror that is left.
  return image.transformed(QTransform(0, 1, -1, 0, 0, 0)).mirrored(c > 0, b < 0);
}

bool placeImageObject(FPDF_DOCUMENT document, FPDF_PAGE page, const QRectF& rect, const QImage& image) {
  if (!page || !(rect.width() > 0) || !(rect.height() > 0)) return false;
  return placeImageObject(document, page, shownImageMatrix(page, rect, 0), image);
}

bool placeImageObject(FPDF_DOCUMENT document, FPDF_PAGE page, const QTransform& unitToUser, const QImage& image) {
  if (!document || !page || image.isNull() || std::abs(unitToUser.determinant()) < 1e-9) return false;
  QImage pixels = imageForPdfiumBitmap(atMostDensest(image, unitToUser));
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
  return finishImageObject(page, object, unitToUser);
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
  return finishImageObject(page, object, shownImageMatrix(page, rect, 0));
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
