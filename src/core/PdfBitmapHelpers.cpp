#include "PdfBitmapHelpers.h"

#include "PdfFormFields.h"
#include "PdfiumHandles.h"

#include <algorithm>
#include <cmath>
#include <cstring>

FPDF_BITMAP createBitmapFromQImage(QImage& image) {
  if (image.isNull() || image.format() != QImage::Format_ARGB32) return nullptr;
  return FPDFBitmap_CreateEx(image.width(), image.height(), FPDFBitmap_BGRA, image.bits(),
                             int(image.bytesPerLine()));
}

namespace {

// White is every byte 0xFF in BGRA, so one memset fills the page once.
void renderOnWhite(FPDF_PAGE page, uchar* bits, const QSize& size, int stride, FPDF_FORMHANDLE form) {
  std::memset(bits, 0xFF, size_t(stride) * size_t(size.height()));
  pdfium::Bitmap bitmap(FPDFBitmap_CreateEx(size.width(), size.height(), FPDFBitmap_BGRA, bits, stride));
  if (bitmap) renderPageWithFields(bitmap.get(), page, form, size.width(), size.height(), 0);
}

QSize loadedPagePixelSize(FPDF_PAGE page, double scale) {
  if (!page || !(scale > 0)) return {};
  return renderPixelSize(QSizeF(FPDF_GetPageWidthF(page), FPDF_GetPageHeightF(page)), scale);
}

}  // namespace

QSize readingPixelSize(FPDF_PAGE page, double scale, const std::optional<PageRenderCost>& cost) {
  const QSize size = loadedPagePixelSize(page, scale);
  if (size.isEmpty() || !drawsWhole(cost, (long long)size.width() * size.height(), kMostReadingMilliseconds)) return {};
  return size;
}

QImage renderLoadedPageImage(FPDF_PAGE page, double scale, FPDF_FORMHANDLE form,
                             const std::optional<PageRenderCost>& cost, FPDF_DOCUMENT doc, int index) {
  const QSize size = loadedPagePixelSize(page, scale);
  if (size.isEmpty()) return {};
  return renderLoadedPageBounded(page, size, 0, false, form, cost, doc, index);
}

QImage renderLoadedPageBounded(FPDF_PAGE page, const QSize& pixels, int quarterTurns, bool transparent,
                               FPDF_FORMHANDLE form, const std::optional<PageRenderCost>& cost,
                               FPDF_DOCUMENT doc, int index) {
  const long long area = (long long)pixels.width() * pixels.height();
  const RenderPlan plan = cost ? planRender(*cost, area) : RenderPlan{false, area};
  if (plan.refused || pixels.isEmpty()) return {};
  QImage image(pixels, QImage::Format_ARGB32);
  if (image.isNull()) return {};
  // Whole-width bands draw each object the fewest times; squares only when a
  // band would be thinner than a row of glyphs.
  QSize tile = pixels;
  if (plan.tilePixels < area) {
    const long long rows = plan.tilePixels / pixels.width();
    const int side = std::max(1, int(std::sqrt(double(plan.tilePixels))));
    tile = rows >= 64 ? QSize(pixels.width(), int(rows)) : QSize(std::min(side, pixels.width()), side);
  }
  const FieldsLaidOut fields(page, form, doc, index);
  for (int y = 0; y < pixels.height(); y += tile.height()) {
    for (int x = 0; x < pixels.width(); x += tile.width()) {
      const int w = std::min(tile.width(), pixels.width() - x), h = std::min(tile.height(), pixels.height() - y);
      uchar* bits = image.scanLine(y) + size_t(x) * 4;
      pdfium::Bitmap bitmap(FPDFBitmap_CreateEx(w, h, FPDFBitmap_BGRA, bits, int(image.bytesPerLine())));
      if (!bitmap) {
        for (int row = 0; row < h; ++row) std::memset(bits + row * image.bytesPerLine(), transparent ? 0 : 0xFF, size_t(w) * 4);
        continue;
      }
      // pdfium's fill is the page's only pass before drawing: a page is megabytes.
      FPDFBitmap_FillRect(bitmap.get(), 0, 0, w, h, transparent ? 0u : 0xFFFFFFFFu);
      drawPageWithFields(bitmap.get(), page, fields, x, y, pixels.width(), pixels.height(), quarterTurns);
    }
  }
  return image;
}

QImage renderLoadedPageIntoBuffer(FPDF_PAGE page, double scale, std::vector<quint32>& pixels,
                                  const std::optional<PageRenderCost>& cost) {
  const QSize size = readingPixelSize(page, scale, cost);
  if (size.isEmpty()) return {};
  const size_t needed = size_t(size.width()) * size_t(size.height());
  if (pixels.size() < needed) {
    pixels = {};  // no copy of the old pixels into the grown buffer
    pixels.resize(needed);
  }
  auto* bits = reinterpret_cast<uchar*>(pixels.data());
  const int stride = size.width() * 4;
  renderOnWhite(page, bits, size, stride, nullptr);
  return QImage(static_cast<const uchar*>(bits), size.width(), size.height(), stride, QImage::Format_ARGB32);
}

QImage qImageFromPdfiumBitmap(FPDF_BITMAP bitmap) {
  if (!bitmap) return {};
  const int width = FPDFBitmap_GetWidth(bitmap);
  const int height = FPDFBitmap_GetHeight(bitmap);
  const int stride = FPDFBitmap_GetStride(bitmap);
  const auto* buffer = static_cast<const uchar*>(FPDFBitmap_GetBuffer(bitmap));
  if (width < 1 || height < 1 || stride <= 0 || !buffer) return {};

  const int format = FPDFBitmap_GetFormat(bitmap);
  if (format < FPDFBitmap_Gray || format > FPDFBitmap_BGRA_Premul) return {};
  QImage image(width, height,
               format == FPDFBitmap_BGRA_Premul ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32);
  if (image.isNull()) return {};

  for (int y = 0; y < height; ++y) {
    const uchar* src = buffer + qsizetype(y) * stride;
    auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
    switch (format) {
      case FPDFBitmap_BGRA:
      case FPDFBitmap_BGRA_Premul:
        std::memcpy(dst, src, size_t(std::min<qsizetype>(image.bytesPerLine(), stride)));
        break;
      case FPDFBitmap_BGRx:
        for (int x = 0; x < width && x * 4 + 2 < stride; ++x)
          dst[x] = qRgb(src[x * 4 + 2], src[x * 4 + 1], src[x * 4]);
        break;
      case FPDFBitmap_BGR:
        for (int x = 0; x < width && x * 3 + 2 < stride; ++x)
          dst[x] = qRgb(src[x * 3 + 2], src[x * 3 + 1], src[x * 3]);
        break;
      case FPDFBitmap_Gray:
        for (int x = 0; x < width && x < stride; ++x) dst[x] = qRgb(src[x], src[x], src[x]);
        break;
    }
  }
  return image;
}

QImage imageForPdfiumBitmap(const QImage& image) {
  if (image.isNull()) return {};
  QImage converted = image.convertToFormat(QImage::Format_ARGB32);
  return converted.isNull() ? QImage() : converted;
}

bool formContainsImageObject(FPDF_PAGEOBJECT form, int depth) {
  if (!form || depth >= 5) return false;
  const int count = FPDFFormObj_CountObjects(form);
  for (int i = 0; i < count; ++i) {
    FPDF_PAGEOBJECT object = FPDFFormObj_GetObject(form, static_cast<unsigned long>(i));
    if (!object) continue;
    const int type = FPDFPageObj_GetType(object);
    if (type == FPDF_PAGEOBJ_IMAGE) return true;
    if (type == FPDF_PAGEOBJ_FORM && formContainsImageObject(object, depth + 1)) return true;
  }
  return false;
}


int readBytesBlock(void* param, unsigned long position, unsigned char* buffer, unsigned long size) {
  const auto* bytes = static_cast<const QByteArray*>(param);
  if (!bytes || !buffer) return 0;
  const auto length = static_cast<unsigned long>(bytes->size());
  if (position > length || length - position < size) return 0;
  std::memcpy(buffer, bytes->constData() + position, size);
  return 1;
}
