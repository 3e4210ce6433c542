#include "ImageFormatProbe.h"

#include "CoreText.h"
#include "PicturePages.h"
#include "RegularFileRead.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QByteArray imageFormatFromSignature(const QByteArray& head) {
  if (head.startsWith("\x89PNG\r\n\x1a\n")) return "png";
  if (head.startsWith("\xff\xd8\xff")) return "jpeg";
  if (head.startsWith("GIF87a") || head.startsWith("GIF89a")) return "gif";
  if (head.startsWith("BM") && head.size() >= 14) return "bmp";
  if (head.startsWith("RIFF") && head.mid(8, 4) == "WEBP") return "webp";
  if (head.startsWith(QByteArray("II*\0", 4)) || head.startsWith(QByteArray("MM\0*", 4))) return "tiff";
  if (head.startsWith("\x1f\x8b")) return "svg";
  QByteArray text = head.trimmed();
  if (text.startsWith("\xef\xbb\xbf")) text.remove(0, 3);
  if (text.startsWith('<') && (text.contains("<svg") || text.contains("<!DOCTYPE svg"))) return "svg";
  return QByteArray();
}

QByteArray imageFormatOfFile(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return QByteArray();
  QByteArray head(kImageSignatureBytes, '\0');
  struct stat info {};
  ssize_t got = -1;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) got = ::read(fd, head.data(), size_t(head.size()));
  ::close(fd);
  if (got <= 0) return QByteArray();
  head.truncate(got);
  return imageFormatFromSignature(head);
}

QImage decodeRasterImage(const QByteArray& bytes) {
  const QByteArray format = imageFormatFromSignature(bytes.left(kImageSignatureBytes));
  if (format.isEmpty() || format == "svg") return QImage();
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, format);
  reader.setAutoDetectImageFormat(false);
  return reader.read();
}

namespace {

// The bytes a pixel takes as the reader decodes it, and as it is kept: a
// picture of 16 bits a channel is made 8 bits a channel at once.
struct PixelBytes {
  int decoded = 4;
  int kept = 4;
};

PixelBytes pixelBytesOf(QImage::Format format) {
  if (format == QImage::Format_Invalid) return {};
  const int decoded = std::max(1, (QImage::toPixelFormat(format).bitsPerPixel() + 7) / 8);
  if (format == QImage::Format_Grayscale16) return {decoded, 1};
  if (decoded == 8) return {decoded, 4};  // 16 bits (or half floats) of four channels
  return {decoded, decoded};
}

QImage keptAtEightBits(QImage image) {
  if (image.format() == QImage::Format_Grayscale16)
    image.convertTo(QImage::Format_Grayscale8);
  else if (image.depth() > 32)
    image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  return image;
}

}  // namespace

QImage readPictureWithinBound(QImageReader& reader, QString* tooLarge) {
  const QSize declared = reader.size();
  const qint64 pixels = declared.isValid() ? qint64(declared.width()) * declared.height() : 0;
  if (pixels > kLargestImportedPicturePixels) {
    if (tooLarge)
      *tooLarge = QStringLiteral("%1 × %2: ").arg(declared.width()).arg(declared.height()) +
             coreText("больше %1 Мпикс").arg(kLargestImportedPicturePixels >> 20);
    return QImage();
  }
  // The bound holds for what is kept; the reader may take what the decoded
  // pixels of such a picture need on the way (Qt's own limit, 128 MB, stops
  // at about 32 megapixels of colour, 16 of 16-bit colour).
  const PixelBytes bytes = pixelBytesOf(reader.imageFormat());
  const qint64 bound = qint64(kLargestDecodedPictureMegabytes) << 20;
  if (pixels * bytes.kept > bound) {
    if (tooLarge)
      *tooLarge = coreText("в распакованном виде %1 × %2 × %3 Б на пиксель = %4 МБ, больше предела %5 МБ")
                 .arg(declared.width())
                 .arg(declared.height())
                 .arg(bytes.kept)
                 .arg((pixels * bytes.kept) >> 20)
                 .arg(kLargestDecodedPictureMegabytes);
    return QImage();
  }
  reader.setAllocationLimit(int(qint64(kLargestDecodedPictureMegabytes) * bytes.decoded / bytes.kept));
  return keptAtEightBits(reader.read());
}

QImage decodeImportedPicture(const QByteArray& bytes, const QByteArray& format, QString* why) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, format);
  reader.setAutoDetectImageFormat(false);
  QString tooLarge;
  const QImage image = readPictureWithinBound(reader, &tooLarge);
  // Qt's own words are English and name no cause a user can act on.
  if (image.isNull() && why) *why = tooLarge.isEmpty() ? coreText("изображение повреждено или обрезано") : tooLarge;
  return image;
}

QImage readImportedPicture(const QString& path, QString* why, qint64 largestFile) {
  if (why) why->clear();
  QByteArray bytes;
  if (readRegularFile(path, largestFile, &bytes, why) != FileReadFailure::None) return QImage();
  const QByteArray format = imageFormatFromSignature(bytes.left(kImageSignatureBytes));
  if (format.isEmpty() || format == "svg") {
    if (why)
      *why = format.isEmpty()
                 ? coreText("это не изображение: формат файла не распознан")
                 : coreText("SVG и сжатые файлы не импортируются: поддерживаются PDF, изображения и таблицы.");
    return QImage();
  }
  return decodeImportedPicture(bytes, format, why);
}
