#include "PicturePages.h"
#include "CoreText.h"
#include "ImageFormatProbe.h"

#include "RasterPdfWriter.h"
#include "RegularFileRead.h"

#include <QIODevice>
#include <QImageReader>
#include <QList>
#include <QPainter>
#include <QSet>

#include <algorithm>
#include <cstring>

namespace {

// The file as it is, but with the header's first directory offset replaced:
// Qt's reader then reads that picture as the file's first, without walking
// the chain from the start for each one (libtiff does, which made a
// many-page file take the square of its page count).
class RedirectedTiff : public QIODevice {
public:
  RedirectedTiff(const QByteArray& file, const QByteArray& header) : file(file), header(header) {
    open(QIODevice::ReadOnly);
  }
  qint64 size() const override { return file.size(); }

protected:
  qint64 readData(char* data, qint64 maxSize) override {
    const qint64 at = pos();
    const qint64 count = std::clamp<qint64>(file.size() - at, 0, maxSize);
    std::memcpy(data, file.constData() + at, size_t(count));
    for (qint64 i = at; i < std::min<qint64>(at + count, header.size()); ++i) data[i - at] = header[i];
    return count;
  }
  qint64 writeData(const char*, qint64) override { return -1; }

private:
  const QByteArray& file;
  const QByteArray header;
};

struct TiffReader {
  const QByteArray& bytes;
  bool little = true;
  bool big = false;

  quint64 number(quint64 at, int width) const {
    if (at + quint64(width) > quint64(bytes.size())) return 0;
    quint64 value = 0;
    for (int i = 0; i < width; ++i) {
      const quint64 byte = static_cast<unsigned char>(bytes[qsizetype(at) + (little ? width - 1 - i : i)]);
      value = value << 8 | byte;
    }
    return value;
  }
  int offsetWidth() const { return big ? 8 : 4; }
  int entryWidth() const { return big ? 20 : 12; }
  int countWidth() const { return big ? 8 : 2; }
};

struct Picture {
  quint64 directory = 0;
  quint64 width = 0;
  quint64 height = 0;
  quint64 bits = 0;
  quint64 photometric = 1;
};

// The first value of a SHORT, LONG or LONG8 entry, inline or where it points.
quint64 firstValue(const TiffReader& tiff, quint64 entry) {
  const quint64 type = tiff.number(entry + 2, 2);
  const int width = type == 3 ? 2 : type == 4 ? 4 : type == 16 ? 8 : 0;
  if (width == 0) return 0;
  const quint64 count = tiff.number(entry + 4, tiff.big ? 8 : 4);
  const quint64 field = entry + 4 + quint64(tiff.offsetWidth());
  const bool inlined = count * quint64(width) <= quint64(tiff.offsetWidth());
  return tiff.number(inlined ? field : tiff.number(field, tiff.offsetWidth()), width);
}

QString colourModel(quint64 photometric) {
  switch (photometric) {
    case 0:
    case 1:
      return coreText("оттенки серого");
    case 2:
      return QStringLiteral("RGB");
    case 3:
      return coreText("палитра");
    case 5:
      return QStringLiteral("CMYK");
    case 6:
      return QStringLiteral("YCbCr");
    case 8:
      return QStringLiteral("CIE L*a*b*");
    default:
      return QStringLiteral("PhotometricInterpretation %1").arg(photometric);
  }
}

}  // namespace

PicturePages readTiffPages(const QByteArray& bytes, double dpi) {
  PicturePages result;
  TiffReader tiff{bytes};
  tiff.little = bytes.startsWith("II");
  const quint64 magic = tiff.number(2, 2);
  tiff.big = magic == 43;
  if ((!tiff.little && !bytes.startsWith("MM")) || (magic != 42 && magic != 43) ||
      (tiff.big && (tiff.number(4, 2) != 8 || tiff.number(6, 2) != 0))) {
    result.error = coreText("Не удалось прочитать изображение: %1").arg(coreText("это не файл TIFF"));
    return result;
  }
  const quint64 firstField = tiff.big ? 8 : 4;

  // The chain of directories, each seen once: a loop ends it.
  QList<Picture> pictures;
  QSet<quint64> seen;
  bool more = false;
  for (quint64 at = tiff.number(firstField, tiff.offsetWidth()); at != 0 && !seen.contains(at);) {
    const quint64 entries = tiff.number(at, tiff.countWidth());
    const quint64 end = at + quint64(tiff.countWidth()) + entries * quint64(tiff.entryWidth());
    if (at >= quint64(bytes.size()) || end + quint64(tiff.offsetWidth()) > quint64(bytes.size())) break;
    if (pictures.size() == kMostImportedPictures) {
      more = true;
      break;
    }
    seen.insert(at);
    Picture picture;
    picture.directory = at;
    for (quint64 k = 0; k < entries; ++k) {
      const quint64 entry = at + quint64(tiff.countWidth()) + k * quint64(tiff.entryWidth());
      const quint64 tag = tiff.number(entry, 2);
      if (tag == 256) picture.width = firstValue(tiff, entry);
      if (tag == 257) picture.height = firstValue(tiff, entry);
      if (tag == 258) picture.bits = firstValue(tiff, entry);
      if (tag == 262) picture.photometric = firstValue(tiff, entry);
    }
    pictures.append(picture);
    at = tiff.number(end, tiff.offsetWidth());
  }

  QList<qint64> offsets;
  QByteArray& pdf = result.pdf;
  const auto append = [&](int number, const QByteArray& body) {
    if (offsets.size() < number + 1) offsets.resize(number + 1, 0);
    offsets[number] = pdf.size();
    pdf += RasterPdfWriter::framedObject(number, body);
  };
  pdf = RasterPdfWriter::header();
  append(1, RasterPdfWriter::catalogBody());
  for (int index = 0; index < pictures.size(); ++index) {
    const Picture& picture = pictures.at(index);
    const QString which = coreText("страница %1 (%2 × %3, %4, %5 бит на канал)")
                              .arg(index + 1)
                              .arg(picture.width)
                              .arg(picture.height)
                              .arg(colourModel(picture.photometric))
                              .arg(picture.bits);
    if (pdf.size() > kLargestPicturePagesPdf) {
      result.skipped << coreText("страницы с %1 по %2: документ из изображений превысил %3 МБ")
                            .arg(index + 1)
                            .arg(pictures.size())
                            .arg(kLargestPicturePagesPdf >> 20);
      break;
    }
    if (picture.width * picture.height > quint64(kLargestImportedPicturePixels)) {
      result.skipped << which + QStringLiteral(": ") + coreText("больше %1 Мпикс").arg(kLargestImportedPicturePixels >> 20);
      continue;
    }
    QByteArray header = bytes.left(qsizetype(firstField + quint64(tiff.offsetWidth())));
    for (int i = 0; i < tiff.offsetWidth(); ++i)
      header[qsizetype(firstField) + i] =
          char((picture.directory >> (8 * (tiff.little ? i : tiff.offsetWidth() - 1 - i))) & 0xFF);
    RedirectedTiff device(bytes, header);
    QImageReader reader(&device, "tiff");
    reader.setAutoDetectImageFormat(false);
    QString why;
    QImage image = readPictureWithinBound(reader, &why);
    if (image.isNull()) {
      result.skipped << which + QStringLiteral(": ") + (why.isEmpty() ? coreText("не читается") : why);
      continue;
    }
    // A page has no see-through parts: what shows through is white paper.
    if (image.hasAlphaChannel()) {
      QImage flat(image.size(), QImage::Format_RGB32);
      flat.fill(Qt::white);
      QPainter(&flat).drawImage(0, 0, image);
      image = flat;
    }
    const QByteArray object = RasterPdfWriter::flateImageObject(image);
    if (object.isEmpty()) {
      result.skipped << which + QStringLiteral(": ") + coreText("не читается");
      continue;
    }
    const double width = image.width() * 72.0 / dpi;
    const double height = image.height() * 72.0 / dpi;
    image = QImage();
    ++result.pages;
    const int number = RasterPdfWriter::pageObjectNumber(result.pages);
    append(number, RasterPdfWriter::pageBody(result.pages, width, height));
    append(number + 1, object);
    append(number + 2, RasterPdfWriter::contentBody(width, height));
  }
  if (more)
    result.skipped << coreText("страницы после %1-й: в одном файле импортируется не больше %1 страниц")
                          .arg(kMostImportedPictures);
  if (result.pages == 0) {
    result.error = coreText("Не удалось прочитать изображение: %1")
                       .arg(result.skipped.isEmpty() ? coreText("в файле нет страниц") : result.skipped.join(QStringLiteral("; ")));
    result.pdf.clear();
    return result;
  }
  append(2, RasterPdfWriter::pageTreeBody(result.pages));
  pdf += RasterPdfWriter::crossReferenceAndTrailer(offsets, result.pages, pdf.size());
  return result;
}

PicturePages readTiffFile(const QString& path, double dpi) {
  QByteArray bytes;
  QString reason;
  if (readRegularFile(path, qint64(1) << 30, &bytes, &reason) != FileReadFailure::None) {
    PicturePages result;
    result.error = coreText("Не удалось прочитать изображение: %1").arg(reason);
    return result;
  }
  return readTiffPages(bytes, dpi);
}
