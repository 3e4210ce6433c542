// Compression of the open document: the raster copy, the copy with its image
// streams re-encoded and the size forecasts.
#include "PdfDocument.h"
#include "CoreText.h"

#include "DocumentLock.h"
#include "PageLoadGuard.h"
#include "ImageStreamTable.h"
#include "PdfBitmapHelpers.h"
#include "PdfEncryptionKeeping.h"
#include "PdfFileWriter.h"
#include "PdfiumApi.h"
#include "PdfiumHandles.h"
#include "QpdfInMemory.h"
#include "RasterPdfWriter.h"

#include <QFileInfo>
#include <QSet>
#include <QTransform>

#include <qpdf/QPDFPageDocumentHelper.hh>

#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>
#include <map>
#include <vector>

namespace {

// An image that shows the page through it cannot become an opaque JPEG
// without painting over what lies beneath. Masks named in its dictionary keep
// the stream table from offering it; this catches alpha in its own data (JPX).
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
  int* keptWhole;  // counts the images too large to decode
};

// What the pages tell of one group of image streams: the most pixels any of
// its uses needs, and where its first use is found again (page, then object
// indices down through forms).
struct ImageUses {
  QSize pixels;
  int page = -1;
  std::vector<int> path;
};

// A matrix may hold anything; the pixels it asks for stay within sane bounds.
int pixelsFor(double points, int dpi) {
  const double pixels = std::ceil(points * dpi / 72.0 - 1e-6);
  return pixels >= 1 ? int(std::min(pixels, 1e6)) : 1;
}

using ImageVisit = std::function<void(FPDF_PAGEOBJECT, const QTransform&, const std::vector<int>&)>;

// Every image object of the page, also in forms up to kMaxImageFormDepth
// deep (as far as the stream table looks), with its matrix to page space.
void forEachImage(FPDF_PAGE page, FPDF_PAGEOBJECT form, const QTransform& toPage, std::vector<int>& path,
                  const ImageVisit& visit) {
  const int count = form ? FPDFFormObj_CountObjects(form) : FPDFPage_CountObjects(page);
  for (int i = 0; i < count; ++i) {
    FPDF_PAGEOBJECT object = form ? FPDFFormObj_GetObject(form, static_cast<unsigned long>(i))
                                  : FPDFPage_GetObject(page, i);
    const int type = object ? FPDFPageObj_GetType(object) : FPDF_PAGEOBJ_UNKNOWN;
    FS_MATRIX m{};
    if ((type != FPDF_PAGEOBJ_IMAGE && type != FPDF_PAGEOBJ_FORM) || !FPDFPageObj_GetMatrix(object, &m)) continue;
    const QTransform matrix = QTransform(m.a, m.b, m.c, m.d, m.e, m.f) * toPage;
    path.push_back(i);
    if (type == FPDF_PAGEOBJ_IMAGE)
      visit(object, matrix, path);
    else if (int(path.size()) <= kMaxImageFormDepth)
      forEachImage(page, object, matrix, path, visit);
    path.pop_back();
  }
}

FPDF_PAGEOBJECT objectAt(FPDF_PAGE page, const std::vector<int>& path) {
  FPDF_PAGEOBJECT object = nullptr;
  for (const int index : path)
    object = object ? FPDFFormObj_GetObject(object, static_cast<unsigned long>(index)) : FPDFPage_GetObject(page, index);
  return object;
}

// The stream group an image object draws from; none for an inline image, a
// stream that must stay as it is, or bytes no stream holds.
ImageStreamGroup* streamGroupOf(FPDF_PAGEOBJECT object, QHash<QByteArray, ImageStreamGroup>& groups,
                                const QSet<qsizetype>& rawSizes) {
  const unsigned long size = FPDFImageObj_GetImageDataRaw(object, nullptr, 0);
  if (!rawSizes.contains(qsizetype(size))) return nullptr;
  QByteArray raw(qsizetype(size), Qt::Uninitialized);
  if (FPDFImageObj_GetImageDataRaw(object, raw.data(), size) != size) return nullptr;
  const auto found = groups.find(imageStreamKey(raw));
  return found != groups.end() && found->replaceable ? &*found : nullptr;
}

// The image `object` shows as a JPEG that serves a use of `pixels`; empty when
// the rules leave it alone or the JPEG is no smaller than `rawSize`.
QByteArray reencodedImage(FPDF_PAGE page, FPDF_PAGEOBJECT object, QSize pixels, qsizetype rawSize,
                          const RecompressionTarget& target, QSize* size, bool* grey) {
  // pdfium decodes an image whole at the size its dictionary declares, which
  // a few bytes of data can make gigapixels: only a size within the bound
  // (read from the dictionary, nothing decoded) is decoded.
  unsigned int width = 0;
  unsigned int height = 0;
  if (!FPDFImageObj_GetImagePixelSize(object, &width, &height) || width == 0 || height == 0) return {};
  if (qint64(width) * height > PdfDocument::kLargestRecompressedImagePixels) {
    ++*target.keptWhole;
    return {};
  }
  // Only a grey colour space is grey: an indexed image has 8 bits per pixel
  // and may still be in full colour.
  FPDF_IMAGEOBJ_METADATA metadata{};
  *grey = target.grayscale || (FPDFImageObj_GetImageMetadata(object, page, &metadata) &&
                               (metadata.colorspace == FPDF_COLORSPACE_DEVICEGRAY ||
                                metadata.colorspace == FPDF_COLORSPACE_CALGRAY));
  QImage image;
  {
    pdfium::Bitmap own(FPDFImageObj_GetBitmap(object));
    if (!isFullyOpaque(own.get())) return {};
    image = qImageFromPdfiumBitmap(own.get());
  }
  if (image.isNull()) return {};
  *size = image.size();
  if (pixels.width() < size->width() || pixels.height() < size->height())
    *size = size->scaled(pixels, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
  if (image.width() > size->width() || image.height() > size->height())
    image = image.scaled(*size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  else if (!target.recompressSmallImages)
    return {};
  const QByteArray jpeg = RasterPdfWriter::imageToJpegBytes(std::move(image), target.quality, *grey);
  return jpeg.size() < rawSize ? jpeg : QByteArray();
}

// Swaps the data of the image streams the pages of `copy` draw; false with the
// number of a page pdfium cannot load.
bool recompressImageStreams(FPDF_DOCUMENT copy, QHash<QByteArray, ImageStreamGroup>& groups,
                            const RecompressionTarget& target, int* failedPage) {
  QSet<qsizetype> rawSizes;
  for (const ImageStreamGroup& group : groups)
    if (group.replaceable) rawSizes.insert(group.rawSize);

  // First every use, for the size a shared image needs (and every page is
  // seen to load: the copy must hold what the document shows); then each
  // image decoded once, where it was first seen.
  std::map<ImageStreamGroup*, ImageUses> uses;
  const int pageCount = FPDF_GetPageCount(copy);
  for (int i = 0; i < pageCount; ++i) {
    pdfium::Page page(FPDF_LoadPage(copy, i));
    if (!page) {
      *failedPage = i;
      return false;
    }
    std::vector<int> path;
    forEachImage(page.get(), nullptr, QTransform(), path,
                 [&](FPDF_PAGEOBJECT object, const QTransform& m, const std::vector<int>& at) {
                   ImageStreamGroup* group = streamGroupOf(object, groups, rawSizes);
                   if (!group) return;
                   ImageUses& use = uses[group];
                   use.pixels = use.pixels.expandedTo(QSize(pixelsFor(std::hypot(m.m11(), m.m12()), target.dpi),
                                                            pixelsFor(std::hypot(m.m21(), m.m22()), target.dpi)));
                   if (use.page < 0) use = {use.pixels, i, at};
                 });
  }
  std::vector<std::pair<ImageStreamGroup*, const ImageUses*>> work;
  for (const auto& [group, use] : uses) work.emplace_back(group, &use);
  std::sort(work.begin(), work.end(), [](const auto& a, const auto& b) { return a.second->page < b.second->page; });
  pdfium::Page page;
  int loaded = -1;
  for (const auto& [group, use] : work) {
    if (use->page != loaded) {
      page.reset(FPDF_LoadPage(copy, loaded = use->page));
      if (!page) {
        *failedPage = use->page;
        return false;
      }
    }
    FPDF_PAGEOBJECT object = objectAt(page.get(), use->path);
    QSize size;
    bool grey = false;
    const QByteArray jpeg = object ? reencodedImage(page.get(), object, use->pixels, group->rawSize, target, &size, &grey)
                                   : QByteArray();
    if (!jpeg.isEmpty()) replaceWithJpeg(*group, jpeg, size, grey);
  }
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
  if (!allPagesLoadableUnlocked()) return false;
  if (!options.rasterizePages) return recompressImagesUnlocked(path, options);

  QString error;
  if (!RasterPdfWriter(doc, options, formHandleUnlocked(), pageCostsUnlocked()).write(path, &error)) {
    lastErrorMessage = error.isEmpty() ? coreText("Не удалось сжать PDF.") : error;
    return false;
  }
  return true;
}

std::function<std::optional<PageRenderCost>(int)> PdfDocument::pageCostsUnlocked() const {
  if (loadGuard->pageCount() != FPDF_GetPageCount(doc)) return {};
  const PageLoadGuard* guard = loadGuard.get();
  return [guard](int page) { return guard->renderCost(page); };
}

bool PdfDocument::allPagesLoadableUnlocked() {
  // The copies below are loaded page by page past the document's own guard.
  for (int page = 0, count = FPDF_GetPageCount(doc); page < count; ++page) {
    bool refused = false;
    if (loadGuard->pageCount() == count) {
      PdfiumLock::Released others;
      refused = loadGuard->refuses(page);
    }
    if (refused) {
      lastErrorMessage = coreText("Не удалось открыть страницу %1 для сжатия.").arg(page + 1);
      return false;
    }
  }
  return true;
}

bool PdfDocument::recompressImagesUnlocked(const QString& path, const CompressionOptions& options) {
  // The document is written out as it is and read twice: pdfium decodes the
  // images and tells where they are drawn, qpdf swaps the data of their
  // streams. No page content is written anew, so nothing else on a page can
  // change (pdfium's content writer loses colours, shadings and text it read).
  const bool encrypted = FPDF_GetSecurityHandlerRevision(doc) >= 0;
  QByteArray clear;
  if (!serializePdf(doc, encrypted ? FPDF_REMOVE_SECURITY : FPDF_NO_INCREMENTAL, &clear)) {
    lastErrorMessage = pdfiumErrorString();
    return false;
  }
  pdfium::Document copy(FPDF_LoadMemDocument64(clear.constData(), size_t(clear.size()), nullptr));
  if (!copy) {
    lastErrorMessage = pdfiumErrorString();
    return false;
  }
  keptWholeImages = 0;
  const RecompressionTarget target{RasterPdfWriter::clampedDpi(options.imageDpi),
                                   RasterPdfWriter::clampedJpegQuality(options.jpegQuality), options.grayscale,
                                   options.recompressSmallImages, &keptWholeImages};
  QByteArray bytes;
  try {
    // A file qpdf would have to rebuild could come out other than pdfium shows it.
    QPDF pdf;
    pdf.setSuppressWarnings(true);
    pdf.setAttemptRecovery(false);
    pdf.processMemoryFile("document.pdf", clear.constData(), size_t(clear.size()));
    QHash<QByteArray, ImageStreamGroup> groups = collectImageStreams(pdf);
    // What qpdf only warns of in pdfium's file (a stale object count, a page
    // listed twice) changes nothing drawn; the same pages must be there.
    pdf.getWarnings();
    if (QPDFPageDocumentHelper(pdf).getAllPages().size() != size_t(FPDF_GetPageCount(copy.get()))) {
      lastErrorMessage = coreText("Не удалось сжать PDF.");
      return false;
    }
    int failedPage = 0;
    if (!recompressImageStreams(copy.get(), groups, target, &failedPage)) {
      lastErrorMessage = coreText("Не удалось открыть страницу %1 для сжатия.").arg(failedPage + 1);
      return false;
    }
    // Packed into object streams as well: the copy is smaller for it.
    if (!writeQpdfToMemory(pdf, true, &bytes, true)) {
      lastErrorMessage = coreText("Не удалось сжать PDF.");
      return false;
    }
  } catch (const std::exception&) {
    lastErrorMessage = coreText("Не удалось сжать PDF.");
    return false;
  }
  copy.reset();
  if (encrypted) {
    QByteArray locked;
    if (!encryptLikeOriginal(fileData, openPassword, bytes, true, &locked, &lastErrorMessage)) return false;
    bytes = std::move(locked);
  }
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
  if (!allPagesLoadableUnlocked()) return -1;
  QString error;
  const qint64 bytes = RasterPdfWriter(doc, options, formHandleUnlocked(), pageCostsUnlocked()).estimateSize(sampled, &error);
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
