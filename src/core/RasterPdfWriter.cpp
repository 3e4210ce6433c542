#include "RasterPdfWriter.h"
#include "CoreText.h"

#include "AtomicFileWrite.h"
#include "PdfBitmapHelpers.h"
#include "PdfiumApi.h"
#include "PdfiumHandles.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kSamplePages = 7;

QByteArray decimal(qint64 value) { return QByteArray::number(value); }

// Appends one framed object and records where its number begins.
void appendPdfObject(QByteArray& file, QList<qint64>& offsets, int number, const QByteArray& body) {
  if (offsets.size() < number + 1) offsets.resize(number + 1, 0);
  offsets[number] = file.size();
  file += RasterPdfWriter::framedObject(number, body);
}

}  // namespace

QByteArray RasterPdfWriter::framedObject(int number, const QByteArray& body) {
  return decimal(number) + " 0 obj\n" + body + "\nendobj\n";
}

RasterPdfWriter::RasterPdfWriter(fpdf_document_t__* document, const PdfDocument::CompressionOptions& options,
                                 void* form, CostOf costOf)
    : document(document), form(form), costOf(std::move(costOf)), options(options), scale(clampedDpi(options.imageDpi) / 72.0) {}

int RasterPdfWriter::clampedDpi(int dpi) { return std::max(36, std::min(dpi, 600)); }

int RasterPdfWriter::clampedJpegQuality(int quality) { return std::max(1, std::min(quality, 100)); }

QByteArray RasterPdfWriter::pdfNumber(double value) {
  QByteArray text = QByteArray::number(value, 'f', 3);
  if (text.contains('.')) {
    while (text.endsWith('0')) text.chop(1);
    if (text.endsWith('.')) text.chop(1);
  }
  if (text == "-0") text = "0";
  return text;
}

qint64 RasterPdfWriter::serializedPdfObjectSize(int number, const QByteArray& body) {
  return decimal(number).size() + body.size() + 15;
}

QByteArray RasterPdfWriter::imageToJpegBytes(QImage image, int quality, bool grayscale) {
  if (image.isNull()) return {};
  if (image.hasAlphaChannel()) {
    QImage flat(image.size(), QImage::Format_RGB32);
    if (flat.isNull()) return {};
    flat.fill(Qt::white);
    QPainter painter(&flat);
    painter.drawImage(0, 0, image);
    painter.end();
    image = flat;
  }
  image = image.convertToFormat(grayscale ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
  if (image.isNull()) return {};

  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly)) return {};
  QImageWriter writer(&buffer, "JPG");
  writer.setQuality(clampedJpegQuality(quality));
  writer.setOptimizedWrite(true);
  if (!writer.write(image)) return {};
  return bytes;
}

QByteArray RasterPdfWriter::imageToMonoFlateBytes(const QImage& image) {
  if (image.isNull()) return {};
  const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
  if (grey.isNull()) return {};
  const qsizetype rowBytes = (grey.width() + 7) / 8;
  QByteArray bits(rowBytes * grey.height(), '\0');
  for (int y = 0; y < grey.height(); ++y) {
    const uchar* src = grey.constScanLine(y);
    auto* row = reinterpret_cast<uchar*>(bits.data()) + y * rowBytes;
    // A set bit is white in 1-bit DeviceGray; light grey counts as paper.
    for (int x = 0; x < grey.width(); ++x)
      if (src[x] > 205) row[x / 8] |= uchar(0x80 >> (x % 8));
  }
  const QByteArray compressed = qCompress(bits, 9);
  // qCompress puts a 4-byte length before the zlib stream that /FlateDecode expects.
  if (compressed.size() <= 4) return {};
  return compressed.mid(4);
}

QList<int> RasterPdfWriter::samplePageIndices(int pageCount) {
  QList<int> pages;
  if (pageCount < 1) return pages;
  if (pageCount <= 20) {  // few enough to be forecast exactly
    for (int i = 0; i < pageCount; ++i) pages.append(i);
    return pages;
  }
  // The middle page of each seventh of the document. First and last pages
  // (title, contents, index) are seldom typical of the rest, so they are not
  // favoured. Seventh parts are at least three pages long here, so the
  // samples are distinct and ascending.
  for (int part = 0; part < kSamplePages; ++part)
    pages.append(int((2 * qint64(part) + 1) * pageCount / (2 * kSamplePages)));
  return pages;
}

qint64 RasterPdfWriter::extrapolatedTotal(qint64 sampleTotal, int pageCount, int sampleCount) {
  if (sampleCount < 1) return 0;
  return qint64(std::ceil(double(sampleTotal) * pageCount / sampleCount));
}

QByteArray RasterPdfWriter::header() { return QByteArray("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n", 15); }

QByteArray RasterPdfWriter::catalogBody() { return "<< /Type /Catalog /Pages 2 0 R >>"; }

QByteArray RasterPdfWriter::pageTreeBody(int pageCount) {
  QByteArray body = "<< /Type /Pages /Kids [ ";
  for (int k = 1; k <= pageCount; ++k) body += decimal(pageObjectNumber(k)) + " 0 R ";
  return body + "] /Count " + decimal(pageCount) + " >>";
}

QByteArray RasterPdfWriter::pageBody(int pageNumber, double width, double height) {
  const int number = pageObjectNumber(pageNumber);
  return "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + pdfNumber(width) + " " + pdfNumber(height) +
         "] /Resources << /XObject << /Im0 " + decimal(number + 1) + " 0 R >> >> /Contents " +
         decimal(number + 2) + " 0 R >>";
}

QByteArray RasterPdfWriter::imageBody(int width, int height, const QByteArray& data) const {
  QByteArray colour;
  if (options.monochrome)
    colour = "/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /FlateDecode ";
  else
    colour = QByteArray("/ColorSpace ") + (options.grayscale ? "/DeviceGray " : "/DeviceRGB ") +
             "/BitsPerComponent 8 /Filter /DCTDecode ";
  return imageObjectBody(width, height, colour, data);
}

QByteArray RasterPdfWriter::imageObjectBody(int width, int height, const QByteArray& entries, const QByteArray& data) {
  return "<< /Type /XObject /Subtype /Image /Width " + decimal(width) + " /Height " + decimal(height) + " " +
         entries + "/Length " + decimal(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

QByteArray RasterPdfWriter::flateImageObject(const QImage& image) {
  if (image.isNull()) return {};
  const bool grey = image.format() == QImage::Format_Grayscale8 || image.format() == QImage::Format_Grayscale16;
  const QImage packed = image.convertToFormat(grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
  if (packed.isNull()) return {};
  const qsizetype rowBytes = qsizetype(packed.width()) * (grey ? 1 : 3);
  QByteArray samples;
  samples.reserve(rowBytes * packed.height());
  for (int y = 0; y < packed.height(); ++y)
    samples.append(reinterpret_cast<const char*>(packed.constScanLine(y)), rowBytes);
  // qCompress puts a four-byte length before the zlib stream PDF wants.
  const QByteArray compressed = qCompress(samples, 6);
  if (compressed.size() <= 4) return {};
  const QByteArray entries = QByteArray("/ColorSpace ") + (grey ? "/DeviceGray" : "/DeviceRGB") +
                             " /BitsPerComponent 8 /Filter /FlateDecode ";
  return imageObjectBody(packed.width(), packed.height(), entries, compressed.mid(4));
}

QByteArray RasterPdfWriter::onePageFile(double width, double height, const QByteArray& imageObject) {
  QByteArray file = header();
  QList<qint64> offsets;
  appendPdfObject(file, offsets, 1, catalogBody());
  appendPdfObject(file, offsets, 2, pageTreeBody(1));
  const int number = pageObjectNumber(1);
  appendPdfObject(file, offsets, number, pageBody(1, width, height));
  appendPdfObject(file, offsets, number + 1, imageObject);
  appendPdfObject(file, offsets, number + 2, contentBody(width, height));
  const QByteArray tail = crossReferenceAndTrailer(offsets, 1, file.size());
  return file + tail;
}

QByteArray RasterPdfWriter::contentBody(double width, double height) {
  const QByteArray stream = "q\n" + pdfNumber(width) + " 0 0 " + pdfNumber(height) + " 0 0 cm\n/Im0 Do\nQ\n";
  return "<< /Length " + decimal(stream.size()) + " >>\nstream\n" + stream + "endstream";
}

QByteArray RasterPdfWriter::crossReferenceAndTrailer(const QList<qint64>& offsets, int pageCount,
                                                     qint64 xrefOffset) {
  const int size = 3 * pageCount + 3;
  QByteArray text = "xref\n0 " + decimal(size) + "\n0000000000 65535 f \n";
  text.reserve(text.size() + 20 * size + 80);
  for (int number = 1; number < size; ++number) {
    const qint64 offset = number < offsets.size() ? offsets.at(number) : 0;
    text += decimal(offset).rightJustified(10, '0') + " 00000 n \n";
  }
  return text + "trailer\n<< /Size " + decimal(size) + " /Root 1 0 R >>\nstartxref\n" + decimal(xrefOffset) +
         "\n%%EOF\n";
}

bool RasterPdfWriter::buildPage(int index, PageObjects* objects, QString* error,
                                const QString& encodeFailure) const {
  const int pageNumber = index + 1;
  double width = 0;
  double height = 0;
  QImage image;
  {
    pdfium::Page page(FPDF_LoadPage(document, index));
    if (page) {
      height = FPDF_GetPageHeightF(page.get());
      width = FPDF_GetPageWidthF(page.get());
      image = renderLoadedPageImage(page.get(), scale, form, costOf ? costOf(index) : std::nullopt, document, index);
    }
  }
  if (image.isNull()) {
    if (renderPixelSize(QSizeF(width, height), scale).isEmpty() && width > 0 && height > 0)
      *error = coreText("Страница %1 слишком велика для отрисовки при %2 dpi (%3 × %4 пт): больше %5 млн пикселей.")
                   .arg(pageNumber)
                   .arg(qRound(scale * 72))
                   .arg(qRound(width))
                   .arg(qRound(height))
                   .arg(kMaxRenderPixels / 1'000'000);
    else
      *error = coreText("Не удалось отрисовать страницу %1.").arg(pageNumber);
    return false;
  }
  const int pixelWidth = image.width();
  const int pixelHeight = image.height();
  const QByteArray data = options.monochrome
                              ? imageToMonoFlateBytes(image)
                              : imageToJpegBytes(std::move(image), options.jpegQuality, options.grayscale);
  if (data.isEmpty()) {
    *error = encodeFailure.arg(pageNumber);
    return false;
  }
  objects->page = pageBody(pageNumber, width, height);
  objects->image = imageBody(pixelWidth, pixelHeight, data);
  objects->content = contentBody(width, height);
  return true;
}

bool RasterPdfWriter::write(const QString& path, QString* error) const {
  const int pageCount = FPDF_GetPageCount(document);
  if (pageCount < 1) {
    *error = coreText("Документ не содержит страниц.");
    return false;
  }

  // Every page is rendered and encoded before anything is written; only one
  // page image exists at a time, the encoded pages are kept.
  QList<PageObjects> pages;
  pages.reserve(pageCount);
  qint64 total = 0;
  for (int i = 0; i < pageCount; ++i) {
    PageObjects objects;
    if (!buildPage(i, &objects, error, coreText("Не удалось сжать страницу %1."))) return false;
    total += objects.page.size() + objects.image.size() + objects.content.size() + 3 * 32;
    pages.append(std::move(objects));
  }

  QByteArray file;
  file.reserve(total + 20 * (3 * pageCount + 3) + 1024);
  QList<qint64> offsets;
  file += header();
  appendPdfObject(file, offsets, 1, catalogBody());
  appendPdfObject(file, offsets, 2, pageTreeBody(pageCount));
  for (int k = 1; k <= pageCount; ++k) {
    PageObjects& objects = pages[k - 1];
    const int number = pageObjectNumber(k);
    appendPdfObject(file, offsets, number, objects.page);
    appendPdfObject(file, offsets, number + 1, objects.image);
    appendPdfObject(file, offsets, number + 2, objects.content);
    objects = PageObjects();  // the page's bytes now live in the file only
  }
  file += crossReferenceAndTrailer(offsets, pageCount, file.size());
  return writeFileAtomically(path, file, error);
}

qint64 RasterPdfWriter::estimateSize(bool* sampled, QString* error) const {
  if (sampled) *sampled = false;
  const int pageCount = FPDF_GetPageCount(document);
  if (pageCount < 1) {
    *error = coreText("Документ не содержит страниц.");
    return -1;
  }
  const QList<int> samples = samplePageIndices(pageCount);
  const bool extrapolated = samples.size() != pageCount;
  if (sampled) *sampled = extrapolated;

  qint64 pageTotal = 0;
  for (int index : samples) {
    PageObjects objects;
    if (!buildPage(index, &objects, error, coreText("Не удалось оценить сжатие страницы %1."))) return -1;
    const int number = pageObjectNumber(index + 1);
    pageTotal += serializedPdfObjectSize(number, objects.page) +
                 serializedPdfObjectSize(number + 1, objects.image) +
                 serializedPdfObjectSize(number + 2, objects.content);
  }
  if (extrapolated) pageTotal = extrapolatedTotal(pageTotal, pageCount, int(samples.size()));

  const qint64 objects = header().size() + serializedPdfObjectSize(1, catalogBody()) +
                         serializedPdfObjectSize(2, pageTreeBody(pageCount)) + pageTotal;
  // Offsets are written padded to ten digits, so their values do not change the length.
  return objects + crossReferenceAndTrailer({}, pageCount, objects).size();
}
