#include "ScannedPagePdf.h"

#include "core/AtomicFileWrite.h"

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
  const QByteArray width = QByteArray::number(points.width(), 'f', 3);
  const QByteArray height = QByteArray::number(points.height(), 'f', 3);
  const QByteArray content = "q " + width + " 0 0 " + height + " 0 0 cm /Im0 Do Q\n";

  QByteArray pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  QList<qsizetype> offsets;
  const auto object = [&](const QByteArray& body) {
    offsets << pdf.size();
    pdf += QByteArray::number(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
  };
  object("<< /Type /Catalog /Pages 2 0 R >>");
  object("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + width + " " + height +
         "] /Resources << /XObject << /Im0 4 0 R >> >> /Contents 5 0 R >>");
  object("<< /Type /XObject /Subtype /Image /Width " + QByteArray::number(image.width()) + " /Height " +
         QByteArray::number(image.height()) + " /ColorSpace " + colourSpace + " /BitsPerComponent " +
         QByteArray::number(bits) + " /Filter /FlateDecode /Length " + QByteArray::number(deflated.size()) +
         " >>\nstream\n" + deflated + "\nendstream");
  object("<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "endstream");
  const qsizetype xref = pdf.size();
  pdf += "xref\n0 " + QByteArray::number(offsets.size() + 1) + "\n0000000000 65535 f \n";
  for (qsizetype offset : offsets) pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
  pdf += "trailer\n<< /Size " + QByteArray::number(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         QByteArray::number(xref) + "\n%%EOF\n";
  return pdf;
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
