#include "PdfDocument.h"
#include "PdfFormFields.h"
#include "CoreText.h"

#include "ImageFormatProbe.h"
#include "PdfEncryptionKeeping.h"
#include "PdfObjectStreamPacking.h"

#include "DocumentLock.h"
#include "PageLoadGuard.h"
#include "PageObjectWriters.h"
#include "PdfFileWriter.h"
#include "PdfiumHandles.h"
#include "PicturePages.h"
#include "RasterPdfWriter.h"
#include "RegularFileRead.h"


#include <algorithm>
#include <numeric>
#include <vector>

namespace {

// Imported images become pages at this resolution.
constexpr double kImportDpi = 150.0;
// Bigger image files than this do not decode within the image reader's own
// memory limit anyway.
constexpr qint64 kLargestImportedImage = qint64(1) << 30;

// The colour components of a baseline or progressive JPEG (its first frame
// header); 0 when the data is no JPEG this can tell.
int jpegComponentCount(const QByteArray& data) {
  const auto byte = [&data](qsizetype at) { return at < data.size() ? static_cast<unsigned char>(data[at]) : 0u; };
  if (byte(0) != 0xFF || byte(1) != 0xD8) return 0;
  qsizetype at = 2;
  while (at + 4 <= data.size()) {
    if (byte(at) != 0xFF) return 0;
    const unsigned marker = byte(at + 1);
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    const qsizetype length = qsizetype(byte(at + 2) << 8 | byte(at + 3));
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) return at + 9 < data.size() ? int(byte(at + 9)) : 0;
    if (marker == 0xDA || length < 2) return 0;  // image data before any frame header
    at += 2 + length;
  }
  return 0;
}

// Whether a widget of the page is the kid of a field.
bool holdsFieldKids(FPDF_PAGE page) {
  for (int i = 0, count = FPDFPage_GetAnnotCount(page); i < count; ++i) {
    pdfium::Annotation annotation(FPDFPage_GetAnnot(page, i));
    if (annotation && FPDFAnnot_GetSubtype(annotation.get()) == FPDF_ANNOT_WIDGET &&
        FPDFAnnot_HasKey(annotation.get(), "Parent"))
      return true;
  }
  return false;
}

bool allPagesExist(FPDF_DOCUMENT document, const int* indices, unsigned long count) {
  const int pages = FPDF_GetPageCount(document);
  return std::all_of(indices, indices + count, [pages](int i) { return i >= 0 && i < pages; });
}

}  // namespace

bool PdfDocument::deletePage(int index) {
  DocumentLock lock(mutex);
  if (!doc || index < 0 || index >= FPDF_GetPageCount(doc)) return false;
  FPDFPage_Delete(doc, index);
  loadGuard->removePage(index);
  refreshPageMetricsUnlocked();
  modified = true;
  return true;
}

bool PdfDocument::rotatePage(int page, int degrees) {
  DocumentLock lock(mutexAfterCheck(page));
  if (!doc) return false;
  pdfium::Page loaded(loadPageUnlocked(page));
  if (!loaded) return false;
  const int current = std::max(0, FPDFPage_GetRotation(loaded.get()));
  const int added = (((degrees % 360) + 360) % 360) / 90;
  FPDFPage_SetRotation(loaded.get(), (current + added) % 4);
  generateContentUnlocked(loaded.get());
  loaded.reset();
  refreshPageMetricsUnlocked();
  modified = true;
  return true;
}

bool PdfDocument::movePage(int from, int to) {
  DocumentLock lock(mutex);
  if (!doc) return false;
  const int indices[] = {from};
  if (!FPDF_MovePages(doc, indices, 1, to)) return false;
  loadGuard->movePage(from, to);
  refreshPageMetricsUnlocked();
  modified = true;
  return true;
}

bool PdfDocument::movePages(int first, int count, int to) {
  DocumentLock lock(mutex);
  if (!doc || count < 1) return false;
  std::vector<int> indices(static_cast<size_t>(count));
  std::iota(indices.begin(), indices.end(), first);
  if (!allPagesExist(doc, indices.data(), indices.size()) ||
      !FPDF_MovePages(doc, indices.data(), static_cast<unsigned long>(count), to))
    return false;
  for (int k = 0; k < count; ++k) loadGuard->movePage(first + k, to + k);
  refreshPageMetricsUnlocked();
  modified = true;
  return true;
}

bool PdfDocument::duplicatePage(int page) {
  DocumentLock lock(mutex);
  if (!doc || page < 0 || page >= FPDF_GetPageCount(doc)) return false;
  lastErrorMessage.clear();
  // Widgets kept under fields come through pdfium's copy with a /Parent that
  // points into a document closed below: such a page is copied instead from
  // the whole document with each widget holding what it inherits. A page not
  // yet let through its check is not loaded (nor waited for) to find out.
  const bool guarded = loadGuard->pageCount() == FPDF_GetPageCount(doc);
  // A page its check refused is not copied either: the copy would cost what
  // drawing it would.
  if (guarded && loadGuard->refused(page)) {
    lastErrorMessage = coreText("Страница %1 не прошла проверку: её нельзя открыть, и она не копируется.").arg(page + 1);
    return false;
  }
  const bool loadable = guarded && !loadGuard->undecided(page);
  pdfium::Page loaded(loadable ? FPDF_LoadPage(doc, page) : nullptr);
  const bool kids = !loaded || holdsFieldKids(loaded.get());
  loaded.reset();
  // The page goes through a document in memory: never a file, so a locked
  // document's page is not written anywhere in the clear.
  QByteArray bytes;
  if (kids) {
    const bool encrypted = FPDF_GetSecurityHandlerRevision(doc) >= 0;
    QByteArray whole;
    std::optional<QByteArray> unparented;
    QString refusal;
    if (serializePdf(doc, encrypted ? FPDF_REMOVE_SECURITY : 0, &whole))
      unparented = widgetsWithoutParents(whole, {}, {page}, &refusal);
    if (!unparented) {
      lastErrorMessage = refusal.isEmpty() ? coreText("Не удалось открыть страницу %1.").arg(page + 1) : refusal;
      return false;
    }
    bytes = unparented->isEmpty() ? std::move(whole) : std::move(*unparented);
  } else {
    pdfium::Document single(FPDF_CreateNewDocument());
    const int indices[] = {page};
    if (!single || !FPDF_ImportPagesByIndex(single.get(), doc, indices, 1, 0) ||
        !serializePdf(single.get(), 0, &bytes)) {
      lastErrorMessage = pdfiumErrorString();
      return false;
    }
  }
  const int copied = kids ? page : 0;
  pdfium::Document copy(FPDF_LoadMemDocument64(bytes.constData(), size_t(bytes.size()), nullptr));
  if (!copy || !FPDF_ImportPagesByIndex(doc, copy.get(), &copied, 1, page + 1)) {
    lastErrorMessage = pdfiumErrorString();
    return false;
  }
  copy.reset();
  loadGuard->duplicatePage(page);
  refreshPageMetricsUnlocked();
  modified = true;
  return true;
}

bool PdfDocument::insertBlankPage(int index, QSizeF size) {
  DocumentLock lock(mutex);
  // A page needs an area; viewers choke on empty media boxes.
  if (!doc || !(size.width() > 0) || !(size.height() > 0)) return false;
  pdfium::Page created(FPDFPage_New(doc, index, size.width(), size.height()));
  if (!created) return false;
  generateContentUnlocked(created.get());
  created.reset();
  loadGuard->insertMadePage(index);
  refreshPageMetricsUnlocked();
  modified = true;
  return true;
}

bool PdfDocument::appendRenderedPage(const QImage& image, QSizeF size) {
  if (!isOpen() && !createEmpty()) return false;
  // An opaque picture goes in Flate-compressed: placed as pixels, a page
  // would hold its raw samples in memory until the document is saved (6 MB
  // for a mostly white A4 page at 150 dpi, which compresses to kilobytes).
  if (!image.isNull() && !image.hasAlphaChannel() && size.width() > 0 && size.height() > 0) {
    const QByteArray imageObject = RasterPdfWriter::flateImageObject(image);
    if (!imageObject.isEmpty()) {
      const QByteArray file = RasterPdfWriter::onePageFile(size.width(), size.height(), imageObject);
      DocumentLock lock(mutex);
      if (doc && importPdfBytesUnlocked(file, nullptr, 0)) return true;
    }
  }
  const int index = pageCount();
  if (!insertBlankPage(index, size)) {
    lastErrorMessage = coreText("Не удалось добавить страницу.");
    return false;
  }
  if (addImageToPage(index, QPointF(0, 0), size, image)) return true;
  // A page without its image is no import: the document stays as it was.
  deletePage(index);
  lastErrorMessage = coreText("Не удалось поместить изображение на страницу.");
  return false;
}

bool PdfDocument::appendPage(const QString& path, int index) {
  DocumentLock lock(mutex);
  if (!doc) return false;
  const int indices[] = {index};
  return importPagesUnlocked(path, indices, 1);
}

bool PdfDocument::importDocument(const QString& path, const QByteArray& password) {
  // Probing the format would wait on a pipe for ever.
  if (isExistingNonRegularFile(path)) {
    lastErrorMessage = coreText("Не удалось открыть файл: это не обычный файл (канал, устройство или папка).");
    return false;
  }
  // The format comes from the file's signature: never from Qt guessing
  // across its plugins, which parses SVG whole to answer.
  const QByteArray format = imageFormatOfFile(path);
  if (format == "svg") {
    lastErrorMessage = coreText("SVG и сжатые файлы не импортируются: поддерживаются PDF, изображения и таблицы.");
    return false;
  }
  if (!format.isEmpty()) {
    // Read once: decoded from memory, and a JPEG then placed as it is.
    QByteArray bytes;
    QString reason;
    if (readRegularFile(path, kLargestImportedImage, &bytes, &reason) != FileReadFailure::None) {
      lastErrorMessage = coreText("Не удалось прочитать изображение: %1").arg(reason);
      return false;
    }
    // The pictures of a TIFF are its pages (not frames of an animation, as a
    // GIF's are): every one becomes a page, in order.
    if (format == "tiff") return importPicturePages(readTiffPages(bytes, kImportDpi));
    skippedPictureLines.clear();
    QString why;
    const QImage image = decodeImportedPicture(bytes, format, &why);
    if (image.isNull()) {
      lastErrorMessage = coreText("Не удалось прочитать изображение: %1").arg(why);
      return false;
    }
    const QSizeF size(image.width() * 72.0 / kImportDpi, image.height() * 72.0 / kImportDpi);
    const int before = pageCount();
    const bool wasModified = isModified();
    if ((format == "jpeg" && appendJpegPage(bytes, size)) || appendRenderedPage(image, size)) return true;
    // Part of a picture file is no import: the document stays as it was.
    while (pageCount() > before && deletePage(pageCount() - 1)) {
    }
    DocumentLock lock(mutex);
    modified = wasModified;
    return false;
  }
  DocumentLock lock(mutex);
  if (!doc) return false;
  return importPagesUnlocked(path, nullptr, 0, password);
}

bool PdfDocument::importPicturePages(const PicturePages& pages) {
  skippedPictureLines = pages.skipped;
  if (pages.pdf.isEmpty()) {
    lastErrorMessage = pages.error;
    return false;
  }
  if (!isOpen() && !createEmpty()) return false;
  DocumentLock lock(mutex);
  pdfium::Document source(FPDF_LoadMemDocument64(pages.pdf.constData(), size_t(pages.pdf.size()), nullptr));
  const int end = FPDF_GetPageCount(doc);
  if (!source || !FPDF_ImportPages(doc, source.get(), nullptr, end)) {
    lastErrorMessage = pdfiumErrorString();
    return false;
  }
  // One import, one count of the pages: the time stays linear in them.
  for (int page = end, count = FPDF_GetPageCount(doc); page < count; ++page) loadGuard->insertMadePage(page);
  refreshPageMetricsUnlocked();
  modified = true;
  return true;
}

bool PdfDocument::appendJpegPage(const QByteArray& jpeg, QSizeF size) {
  // Grey and YCbCr JPEGs go in as they are; CMYK ones (often stored inverted)
  // and anything unusual are decoded and placed as pixels instead.
  const int components = jpegComponentCount(jpeg);
  if (components != 1 && components != 3) return false;
  if (!isOpen() && !createEmpty()) return false;
  const int index = pageCount();
  if (!insertBlankPage(index, size)) return false;
  bool placed = false;
  {
    DocumentLock lock(mutex);
    pdfium::Page loaded(loadPageUnlocked(index));
    if (loaded && placeJpegObject(doc, loaded.get(), QRectF(QPointF(0, 0), size), jpeg)) {
      generateContentUnlocked(loaded.get());
      placed = true;
    }
  }
  if (!placed) deletePage(index);
  return placed;
}

bool PdfDocument::importPagesUnlocked(const QString& path, const int* indices, unsigned long count,
                                      const QByteArray& password) {
  QByteArray bytes;
  if (!readPdfFile(path, &bytes, &lastErrorMessage)) return false;
  return importPdfBytesUnlocked(bytes, indices, count, password);
}

bool PdfDocument::importPdfBytesUnlocked(const QByteArray& bytes, const int* indices, unsigned long count,
                                         const QByteArray& password) {
  const QByteArray secret = password + '\0';
  // Widgets kept under fields would point into this document once copied.
  QString refusal;
  const std::optional<QByteArray> unparented =
      widgetsWithoutParents(bytes, password, indices ? std::vector<int>(indices, indices + count) : std::vector<int>(),
                            &refusal);
  if (!refusal.isEmpty()) {
    lastErrorMessage = refusal;
    return false;
  }
  const bool cleaned = unparented && !unparented->isEmpty();
  const QByteArray& copied = cleaned ? *unparented : bytes;
  pdfium::Document source(FPDF_LoadMemDocument64(copied.constData(), size_t(copied.size()),
                                                 password.isEmpty() || cleaned ? nullptr : secret.constData()));
  if (!source) {
    lastErrorMessage = pdfiumErrorString();
    return false;
  }
  // pdfium may import a blank page for an index the source does not have.
  if (!allPagesExist(source.get(), indices, count)) return false;
  const int end = FPDF_GetPageCount(doc);
  const bool imported = indices ? FPDF_ImportPagesByIndex(doc, source.get(), indices, count, end)
                                : FPDF_ImportPages(doc, source.get(), nullptr, end);
  if (imported) loadGuard->appendFrom(bytes, password, indices, count, FPDF_GetPageCount(source.get()));
  // The copied pages hold nothing of the source: it closes before its bytes go.
  source.reset();
  if (!imported) return false;
  refreshPageMetricsUnlocked();
  modified = true;
  return true;
}

bool PdfDocument::extractPageSubset(const QList<int>& pages, const QString& path) {
  DocumentLock lock(mutex);
  if (!doc || pages.isEmpty()) return false;
  const std::vector<int> indices(pages.cbegin(), pages.cend());
  if (!allPagesExist(doc, indices.data(), static_cast<unsigned long>(indices.size()))) {
    lastErrorMessage = coreText("Страницы нет в документе.");
    return false;
  }
  pdfium::Document subset(FPDF_CreateNewDocument());
  if (!subset) return false;
  QByteArray bytes;
  if (!FPDF_ImportPagesByIndex(subset.get(), doc, indices.data(), static_cast<unsigned long>(indices.size()), 0) ||
      !serializePdf(subset.get(), 0, &bytes)) {
    lastErrorMessage = pdfiumErrorString();
    return false;
  }
  // Pages taken from a locked file stay locked as a save keeps it: the same
  // algorithm, passwords and permissions. Never written in the clear instead.
  if (FPDF_GetSecurityHandlerRevision(doc) >= 0) {
    QByteArray locked;
    if (!encryptLikeOriginal(fileData, openPassword, bytes, usesObjectStreams(fileData), &locked, &lastErrorMessage))
      return false;
    bytes = std::move(locked);
  }
  return writeFileAtomically(path, bytes, &lastErrorMessage);
}
