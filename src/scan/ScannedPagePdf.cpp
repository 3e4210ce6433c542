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
  const bool mono = image.depth() == 1;
  const bool grey = image.format() == QImage::Format_Grayscale8 || image.format() == QImage::Format_Grayscale16;
  QByteArray samples;
  int bits = 8;
  QByteArray colourSpace = "/DeviceRGB";
  if (mono) {
    const QImage bitmap = image.convertToFormat(QImage::Format_Mono);
    // Qt's own index 0 may be white or black: the PDF gets 1 for white.
    const bool zeroIsBlack = qGray(bitmap.color(0)) < 128;
    const int rowBytes = (bitmap.width() + 7) / 8;
    samples.reserve(qsizetype(rowBytes) * bitmap.height());
    for (int y = 0; y < bitmap.height(); ++y) {
      const uchar* line = bitmap.constScanLine(y);
      for (int x = 0; x < rowBytes; ++x) samples.append(char(zeroIsBlack ? line[x] : uchar(~line[x])));
    }
    bits = 1;
    colourSpace = "/DeviceGray";
  } else if (grey) {
    const QImage g = image.convertToFormat(QImage::Format_Grayscale8);
    for (int y = 0; y < g.height(); ++y) samples.append(reinterpret_cast<const char*>(g.constScanLine(y)), g.width());
    colourSpace = "/DeviceGray";
  } else {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < rgb.height(); ++y)
      samples.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), qsizetype(rgb.width()) * 3);
  }
  // qCompress puts a four-byte length before the zlib stream PDF wants.
  const QByteArray deflated = qCompress(samples, 6).mid(4);
  const QSizeF points = scannedPageSizePoints(image);
  const QByteArray entries =
      "/ColorSpace " + colourSpace + " /BitsPerComponent " + QByteArray::number(bits) + " /Filter /FlateDecode ";
  return RasterPdfWriter::onePageFile(points.width(), points.height(),
                                      RasterPdfWriter::imageObjectBody(image.width(), image.height(), entries, deflated));
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
