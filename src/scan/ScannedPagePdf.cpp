#include "ScannedPagePdf.h"

#include "core/AtomicFileWrite.h"
#include "core/RasterPdfWriter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <cmath>

namespace {

constexpr double kDotsPerMetrePerDpi = 39.3701;

double dpiOf(int dotsPerMetre) { return dotsPerMetre > 0 ? dotsPerMetre / kDotsPerMetrePerDpi : 300.0; }

}  // namespace

QSizeF scannedPageSizePoints(const QImage& image) {
  return QSizeF(image.width() * 72.0 / dpiOf(image.dotsPerMeterX()), image.height() * 72.0 / dpiOf(image.dotsPerMeterY()));
}

QByteArray scannedPagePdfBytes(const QImage& image) {
  if (image.isNull()) return QByteArray();
  // The image goes in as it is: colour stays RGB, grey stays 8-bit grey and
  // black and white stays one bit per pixel.
  const QSizeF points = scannedPageSizePoints(image);
  if (image.depth() != 1)
    return RasterPdfWriter::onePageFile(points.width(), points.height(), RasterPdfWriter::flateImageObject(image));
  const QByteArray deflated = RasterPdfWriter::imageToMonoFlateBytes(image);
  return RasterPdfWriter::onePageFile(
      points.width(), points.height(),
      RasterPdfWriter::imageObjectBody(image.width(), image.height(),
                                       "/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /FlateDecode ", deflated));
}

QString writeScannedPagePdf(const QImage& image, QString* error) {
  const auto fail = [error](const QString& text) {
    if (error) *error = text;
    return QString();
  };
  if (image.isNull()) return fail(QStringLiteral("Пустое изображение"));
  const QByteArray pdf = scannedPagePdfBytes(image);
  if (pdf.isEmpty()) return fail(QStringLiteral("PDF пуст"));

  QTemporaryFile file(QDir(QDir::tempPath())
                          .filePath(QStringLiteral("ulvo_scan_%1_XXXXXX.pdf").arg(QDateTime::currentMSecsSinceEpoch())));
  file.setAutoRemove(false);
  if (!file.open()) return fail(file.errorString());
  const QString path = file.fileName();
  file.close();
  QString writeError;
  if (!writeFileAtomically(path, pdf, &writeError)) {
    QFile::remove(path);
    return fail(writeError);
  }
  return path;
}
