// Compression of the open document: the raster copy, the in-place
// recompression of image objects and the size forecasts.
#include "PdfDocument.h"
#include "CoreText.h"

#include "DocumentLock.h"
#include "PageObjectBounds.h"
#include "PdfBitmapHelpers.h"
#include "PdfFileWriter.h"
#include "PdfObjectStreamPacking.h"
#include "PdfiumApi.h"
#include "PdfiumHandles.h"
#include "RasterPdfWriter.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// An image that shows the page through it (soft mask, stencil mask, colour
// key) cannot become an opaque JPEG without painting over what lies beneath.
bool isFullyOpaque(FPDF_BITMAP bitmap) {
  if (!bitmap) return false;
  const int format = FPDFBitmap_GetFormat(bitmap);
  if (format != FPDFBitmap_BGRA && format != FPDFBitmap_BGRA_Premul) return true;
  const int width = FPDFBitmap_GetWidth(bitmap);
  const int height = FPDFBitmap_GetHeight(bitmap);
  const int stride = FPDFBitmap_GetStride(bitmap);
  const auto* buffer = static_cast<const uchar*>(FPDFBitmap_GetBuffer(bitmap));
  if (!buffer || width < 1 || height < 1 || stride < width * 4) return false;
  for (int y = 0; y < height; ++y) {
    const uchar* row = buffer + qsizetype(y) * stride;
    for (int x = 0; x < width; ++x)
      if (row[x * 4 + 3] != 255) return false;
  }
  return true;
}

struct RecompressionTarget {
  int dpi;
  int quality;
  bool grayscale;
  bool recompressSmallImages;
};

// Re-encodes one image object of a loaded page of the working copy; false
// (object untouched) when it is skipped or cannot be replaced.
bool recompressImageObject(FPDF_DOCUMENT copy, FPDF_PAGE page, FPDF_PAGEOBJECT object,
                           const RecompressionTarget& target) {
  FS_MATRIX matrix{};
  const bool hasMatrix = FPDFPageObj_GetMatrix(object, &matrix);

  // Only a grey colour space is grey: an indexed image has 8 bits per pixel
  // and may still be in full colour.
  FPDF_IMAGEOBJ_METADATA metadata{};
  const bool greySource = FPDFImageObj_GetImageMetadata(object, page, &metadata) &&
                          (metadata.colorspace == FPDF_COLORSPACE_DEVICEGRAY ||
                           metadata.colorspace == FPDF_COLORSPACE_CALGRAY);

  pdfium::Bitmap rendered(FPDFImageObj_GetRenderedBitmap(copy, page, object));
  if (!isFullyOpaque(rendered.get())) return false;
  QImage image;
  {
    pdfium::Bitmap own(FPDFImageObj_GetBitmap(object));
    image = own ? qImageFromPdfiumBitmap(own.get()) : qImageFromPdfiumBitmap(rendered.get());
  }
  rendered.reset();
  if (image.isNull()) return false;

  const QRectF bounds = pageObjectBounds(object, FPDF_PAGEOBJ_IMAGE);
  if (bounds.width() <= 0.1 || bounds.height() <= 0.1) return false;
  const int targetWidth = std::max(1, int(std::ceil(bounds.width() * target.dpi / 72.0)));
  const int targetHeight = std::max(1, int(std::ceil(bounds.height() * target.dpi / 72.0)));

  QSize size = image.size();
  if (targetWidth < size.width() || targetHeight < size.height())
    size = size.scaled(targetWidth, targetHeight, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
  if (image.width() > size.width() || image.height() > size.height())
    image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  else if (!target.recompressSmallImages)
    return false;

  QByteArray jpeg = RasterPdfWriter::imageToJpegBytes(std::move(image), target.quality,
                                                      target.grayscale || greySource);
  if (jpeg.isEmpty()) return false;
  FPDF_FILEACCESS access{static_cast<unsigned long>(jpeg.size()), readBytesBlock, &jpeg};
  FPDF_PAGE pages[] = {page};
  if (!FPDFImageObj_LoadJpegFileInline(pages, 1, object, &access)) return false;
  if (hasMatrix) FPDFPageObj_SetMatrix(object, &matrix);
  return true;
}

struct MinimumPreset {
  const char* label;
  int dpi;
  int quality;
  bool monochrome;
};

}  // namespace

bool PdfDocument::compressTo(const QString& path, const CompressionOptions& options) {
  DocumentLock lock(mutex);
  if (!doc) {
    lastErrorMessage = coreText("Нет открытого документа.");
    return false;
  }
  if (FPDF_GetPageCount(doc) < 1) {
    lastErrorMessage = coreText("Документ не содержит страниц.");
    return false;
  }
  if (!options.rasterizePages) return recompressImagesUnlocked(path, options);

  QString error;
  if (!RasterPdfWriter(doc, options).write(path, &error)) {
    lastErrorMessage = error.isEmpty() ? coreText("Не удалось сжать PDF.") : error;
    return false;
  }
  return true;
}

bool PdfDocument::recompressImagesUnlocked(const QString& path, const CompressionOptions& options) {
  // A copy of the whole document, which alone is changed: the outline, links,
  // metadata and text stay as they are; only image objects are re-encoded.
  QByteArray source;
  if (!serializePdf(doc, FPDF_NO_INCREMENTAL, &source)) {
    lastErrorMessage = pdfiumErrorString();
    return false;
  }
  // pdfium keeps the file's encryption in the copy, which then opens with
  // the password the document was opened with.
  pdfium::Document copy(FPDF_LoadMemDocument64(source.constData(), size_t(source.size()),
                                               openPassword.isEmpty() ? nullptr : openPassword.constData()));
  if (!copy) {
    lastErrorMessage = pdfiumErrorString();
    return false;
  }
  const int pageCount = FPDF_GetPageCount(copy.get());

  const RecompressionTarget target{RasterPdfWriter::clampedDpi(options.imageDpi),
                                   RasterPdfWriter::clampedJpegQuality(options.jpegQuality), options.grayscale,
                                   options.recompressSmallImages};
  for (int i = 0; i < pageCount; ++i) {
    pdfium::Page page(FPDF_LoadPage(copy.get(), i));
    if (!page) {
      lastErrorMessage = coreText("Не удалось открыть страницу %1 для сжатия.").arg(i + 1);
      return false;
    }
    bool changed = false;
    const int objectCount = FPDFPage_CountObjects(page.get());
    for (int j = 0; j < objectCount; ++j) {
      FPDF_PAGEOBJECT object = FPDFPage_GetObject(page.get(), j);
      if (!object || FPDFPageObj_GetType(object) != FPDF_PAGEOBJ_IMAGE) continue;
      if (recompressImageObject(copy.get(), page.get(), object, target)) changed = true;
    }
    if (changed && !FPDFPage_GenerateContent(page.get())) {
      lastErrorMessage = coreText("Не удалось обновить содержимое страницы %1.").arg(i + 1);
      return false;
    }
  }

  QByteArray bytes;
  if (!serializePdf(copy.get(), FPDF_NO_INCREMENTAL, &bytes)) {
    lastErrorMessage = pdfiumErrorString();
    return false;
  }
  copy.reset();
  // pdfium writes every object on its own; packed into object streams the
  // copy is not larger than a compact original only because of that.
  QByteArray packed;
  if (packObjectStreams(bytes, &packed) && packed.size() < bytes.size()) bytes = std::move(packed);
  QString error;
  if (!writeFileAtomically(path, bytes, &error)) {
    lastErrorMessage = error;
    return false;
  }
  return true;
}

qint64 PdfDocument::estimateCompressedSize(const CompressionOptions& options, bool* sampled) {
  if (sampled) *sampled = false;
  DocumentLock lock(mutex);
  if (!doc) {
    lastErrorMessage = coreText("Нет открытого документа.");
    return -1;
  }
  if (!options.rasterizePages) {
    // The in-place branch is not forecast: the file as last saved stands for it.
    const qint64 size = currentFilePath.isEmpty() ? 0 : QFileInfo(currentFilePath).size();
    return size < 1 ? -1 : size;
  }
  QString error;
  const qint64 bytes = RasterPdfWriter(doc, options).estimateSize(sampled, &error);
  if (bytes < 0) lastErrorMessage = error.isEmpty() ? coreText("Не удалось оценить размер PDF.") : error;
  return bytes;
}

PdfDocument::CompressionEstimate PdfDocument::estimateMinimumCompressedSize() {
  static const MinimumPreset presets[] = {
      {"рекомендуемое сжатие, 150 dpi", 150, 55, false},
      {"экстремальное сжатие, 72 dpi", 72, 28, false},
      {"монохром, 150 dpi", 150, 55, true},
      {"монохром, 72 dpi", 72, 35, true},
  };
  CompressionEstimate best;
  for (const MinimumPreset& preset : presets) {
    CompressionOptions options;
    options.imageDpi = preset.dpi;
    options.jpegQuality = preset.quality;
    options.monochrome = preset.monochrome;
    bool sampled = false;
    const qint64 bytes = estimateCompressedSize(options, &sampled);
    if (bytes > 0 && (best.bytes <= 0 || bytes < best.bytes)) {
      best.bytes = bytes;
      best.label = coreText(preset.label);
      best.options = options;
      best.sampled = sampled;
    }
  }
  return best;
}
