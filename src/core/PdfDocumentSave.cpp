#include "PdfDocument.h"
#include "CoreText.h"

#include "DocumentLock.h"
#include "PageLoadGuard.h"
#include "PdfFileWriter.h"
#include "PdfEncryptionKeeping.h"
#include "PdfGeneratedStateRepair.h"
#include "PdfObjectStreamPacking.h"
#include "RepeatedFontMerging.h"
#include "PdfiumHandles.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <utility>

namespace {

const QStringList& imageFormats() {
  static const QStringList formats{QStringLiteral("png"), QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                   QStringLiteral("bmp")};
  return formats;
}

// One page of several: "scan.png" gives "scan_001.png"; more pages than three
// digits hold simply get a longer number.
QString pageImagePath(const QString& path, int page, int pageCount) {
  if (pageCount == 1) return path;
  const QFileInfo info(path);
  const QString name = QStringLiteral("%1_%2.%3")
                           .arg(info.completeBaseName(), QStringLiteral("%1").arg(page, 3, 10, QLatin1Char('0')),
                                info.suffix());
  return info.dir().filePath(name);
}

}  // namespace

bool PdfDocument::save(const QString& path) {
  DocumentLock lock(mutex);
  if (!doc) return false;
  lastErrorMessage.clear();
  const bool inPlace = !currentFilePath.isEmpty() && QFileInfo(currentFilePath) == QFileInfo(path);

  // The whole file is made in memory first, so nothing on disk changes until
  // it is complete; the target is then replaced in one rename.
  QByteArray bytes;
  if (!savedBytesUnlocked(&bytes)) return false;
  if (!writeFileAtomically(path, bytes, &lastErrorMessage)) return false;

  if (inPlace) {
    // Continue on exactly what is now on disk; the saved bytes stand in for a reread.
    FPDF_DOCUMENT reopened = FPDF_LoadMemDocument64(bytes.constData(), size_t(bytes.size()),
                                                    openPassword.isEmpty() ? nullptr : openPassword.constData());
    if (!reopened) {
      lastErrorMessage = pdfiumErrorString();
      return false;
    }
    dropDoc();
    fileData = std::move(bytes);
    fileDataMarks = modified.marks;
    doc = reopened;
    opened.store(true, std::memory_order_release);
    loadGuard->reset(fileData, openPassword, FPDF_GetPageCount(doc));
    refreshPageMetricsUnlocked();
  }
  currentFilePath = path;
  envelope = false;  // the file now named is a PDF of its own
  modified = false;
  return true;
}

bool PdfDocument::saveAs(const QString& path) { return save(path); }

bool PdfDocument::savedBytesUnlocked(QByteArray* bytes) {
  // An encrypted file is written in the clear by pdfium and locked again by
  // qpdf with the opened file's own parameters; a file that cannot be locked
  // again is not saved, never saved open.
  const bool encrypted = FPDF_GetSecurityHandlerRevision(doc) >= 0;
  if (!serializePdf(doc, encrypted ? FPDF_REMOVE_SECURITY : 0, bytes)) {
    lastErrorMessage = pdfiumErrorString();
    return false;
  }
  QByteArray repaired;
  if (contentGenerated && restoreDroppedResources(fileData, openPassword, *bytes, &repaired)) *bytes = std::move(repaired);
  if (repairGeneratedStreams(*bytes, contentGenerated, &repaired)) *bytes = std::move(repaired);
  // A font an earlier save embedded is kept once, however often it was loaded again.
  const bool packed = !encrypted && usesObjectStreams(fileData);
  QByteArray merged;
  const bool fontsMerged = mergeRepeatedFonts(*bytes, packed, &merged);
  if (fontsMerged) *bytes = std::move(merged);
  if (encrypted) {
    QByteArray locked;
    if (!encryptLikeOriginal(fileData, openPassword, *bytes, usesObjectStreams(fileData), &locked,
                             &lastErrorMessage))
      return false;
    *bytes = std::move(locked);
    return true;
  }
  if (packed && !fontsMerged) {
    QByteArray repacked;
    if (packObjectStreams(*bytes, &repacked)) *bytes = std::move(repacked);
  }
  return true;
}

bool PdfDocument::generateContentUnlocked(FPDF_PAGE page) {
  contentGenerated = true;
  return FPDFPage_GenerateContent(page);
}

bool PdfDocument::continueOnRewriteUnlocked(QByteArray bytes) {
  FPDF_DOCUMENT reopened = FPDF_LoadMemDocument64(bytes.constData(), size_t(bytes.size()),
                                                  openPassword.isEmpty() ? nullptr : openPassword.constData());
  if (!reopened) return false;
  if (FPDF_GetPageCount(reopened) != FPDF_GetPageCount(doc)) {
    FPDF_CloseDocument(reopened);
    return false;
  }
  dropDoc();
  fileData = std::move(bytes);
  doc = reopened;
  opened.store(true, std::memory_order_release);
  loadGuard->reset(fileData, openPassword, FPDF_GetPageCount(doc));
  refreshPageMetricsUnlocked();
  modified = true;
  fileDataMarks = modified.marks;
  return true;
}

bool PdfDocument::saveCopy(const QString& path, bool keepLock) const {
  QByteArray bytes;
  return saveCopy(&bytes, keepLock) && writeFileAtomically(path, bytes, nullptr);
}

bool PdfDocument::saveCopy(QByteArray* copy, bool keepLock) const {
  DocumentLock lock(mutex);
  if (!doc) return false;
  QByteArray bytes;
  // Copies are the input of the program's own workers, which open files
  // without a password: a locked document's copy is in the clear unless the
  // lock is asked for, and its caller keeps it where no run outlives it.
  const bool encrypted = FPDF_GetSecurityHandlerRevision(doc) >= 0;
  if (!serializePdf(doc, encrypted ? FPDF_REMOVE_SECURITY : FPDF_NO_INCREMENTAL, &bytes)) return false;
  if (encrypted && keepLock) {
    QByteArray locked;
    if (!encryptLikeOriginal(fileData, openPassword, bytes, usesObjectStreams(fileData), &locked, nullptr)) return false;
    bytes = std::move(locked);
  }
  *copy = std::move(bytes);
  return true;
}

bool PdfDocument::exportDocument(const QString& path, const QString& format, int dpi) {
  const QString kind = format.toLower();
  if (kind == QLatin1String("pdf")) return save(path);

  if (kind == QLatin1String("txt") || kind == QLatin1String("html") || kind == QLatin1String("xhtml")) {
    const QString text = extractAllTextAllPages();
    const QString content =
        kind == QLatin1String("txt")
            ? text
            : QStringLiteral("<!doctype html><html><body><pre>%1</pre></body></html>").arg(text.toHtmlEscaped());
    return writeFileAtomically(path, content.toUtf8(), &lastErrorMessage);
  }

  if (!imageFormats().contains(kind)) {
    lastErrorMessage = QStringLiteral("Export format is not implemented in the PDFium backend yet: %1").arg(format);
    return false;
  }
  const double scale = std::clamp(dpi, 36, 600) / 72.0;
  const QByteArray writerFormat = kind == QLatin1String("png") || kind == QLatin1String("bmp")
                                      ? kind.toLatin1()
                                      : QByteArrayLiteral("JPG");
  const int pages = pageCount();
  for (int p = 1; p <= pages; ++p) {
    const QImage image = renderPageLayer(p - 1, scale, 0, PdfRenderLayer::Full, false);
    if (image.isNull()) {
      lastErrorMessage = coreText("Не удалось отрисовать страницу %1.").arg(p);
      return false;
    }
    const QString file = pageImagePath(path, p, pages);
    QByteArray encoded;
    QBuffer buffer(&encoded);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, writerFormat.constData()) ||
        !writeFileAtomically(file, encoded, nullptr)) {
      lastErrorMessage = coreText("Не удалось сохранить изображение:\n%1").arg(file);
      return false;
    }
  }
  return true;
}
