#include "ScannedPdfWriter.h"
#include "ui/UiLanguage.h"

#include "core/AtomicFileWrite.h"
#include "core/RasterPdfWriter.h"

#include <QIODevice>
#include <QList>

namespace {

// As sharp as the pages have always been; the grey look keeps one channel.
constexpr int kJpegQuality = 94;

QSizeF turned(QSizeF points, int rotation) {
  if (rotation == 90 || rotation == 270) points.transpose();
  return points;
}

// Writes the objects of a file of one image per page in order and keeps
// where each begins, for the cross-reference table at the end.
class PageStream {
 public:
  PageStream(QIODevice* device, int pageCount) : device(device), pageCount(pageCount) {}

  bool begin() {
    return put(RasterPdfWriter::header()) && object(1, RasterPdfWriter::catalogBody()) &&
           object(2, RasterPdfWriter::pageTreeBody(pageCount));
  }
  bool page(int pageNumber, QSizeF points, const QByteArray& imageObject) {
    const int number = RasterPdfWriter::pageObjectNumber(pageNumber);
    return object(number, RasterPdfWriter::pageBody(pageNumber, points.width(), points.height())) &&
           object(number + 1, imageObject) &&
           object(number + 2, RasterPdfWriter::contentBody(points.width(), points.height()));
  }
  bool end() { return put(RasterPdfWriter::crossReferenceAndTrailer(offsets, pageCount, written)); }

 private:
  bool object(int number, const QByteArray& body) {
    if (offsets.size() < number + 1) offsets.resize(number + 1, 0);
    offsets[number] = written;
    return put(RasterPdfWriter::framedObject(number, body));
  }
  bool put(const QByteArray& bytes) {
    if (device->write(bytes) != bytes.size()) return false;
    written += bytes.size();
    return true;
  }

  QIODevice* device;
  int pageCount;
  qint64 written = 0;
  QList<qint64> offsets;
};

}  // namespace

int writeScannedPdf(const QString& target, const ScannedPdfExportOptions& options, const ScannedPdfPages& pages,
                    QString* error) {
  QString reason;
  if (pages.count < 1) reason = QStringLiteral("Документ не содержит страниц.");
  int failedPage = -1;
  // Pages stream into the temporary file beside the target: a long document
  // is never held in memory whole, and a failure leaves the target as it was.
  const auto produce = [&](QIODevice* device, QString* why) {
    PageStream stream(device, pages.count);
    const QString writeFailure = QStringLiteral("Не удалось создать PDF файл.");
    if (!stream.begin()) {
      *why = writeFailure;
      return false;
    }
    for (int i = 0; i < pages.count; ++i) {
      const QImage scanned = applyScannedPdfEffect(pages.render(i, options.dpi / 72.0), options, i, false);
      // The grey look is stored as grey: one channel, not three equal ones.
      const QByteArray jpeg =
          scanned.isNull() ? QByteArray() : RasterPdfWriter::imageToJpegBytes(scanned, kJpegQuality, options.grayscale);
      if (jpeg.isEmpty()) {
        failedPage = i + 1;
        *why = uiTranslate(QStringLiteral("Не удалось отрисовать страницу %1.")).arg(i + 1);
        return false;
      }
      const QByteArray entries = options.grayscale
                                     ? "/ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /DCTDecode "
                                     : "/ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /DCTDecode ";
      const QByteArray image =
          RasterPdfWriter::imageObjectBody(scanned.width(), scanned.height(), entries, jpeg);
      if (!stream.page(i + 1, turned(pages.sizeInPoints(i), options.rotation), image)) {
        *why = writeFailure;
        return false;
      }
      if (pages.progress) pages.progress(i + 1, pages.count);
    }
    if (!stream.end()) {
      *why = writeFailure;
      return false;
    }
    return true;
  };
  if (reason.isEmpty() && writeFileAtomically(target, produce, &reason)) return 0;
  if (error) *error = reason;
  return failedPage > 0 ? failedPage : -1;
}
