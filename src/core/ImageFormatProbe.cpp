#include "ImageFormatProbe.h"

#include "CoreText.h"
#include "PicturePages.h"
#include "RegularFileRead.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>

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

QImage decodeImportedPicture(const QByteArray& bytes, const QByteArray& format, QString* why) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, format);
  reader.setAutoDetectImageFormat(false);
  // Qt's own limit (128 MB) stops at about 32 megapixels of colour.
  reader.setAllocationLimit(kLargestDecodedPictureMegabytes);
  const QSize declared = reader.size();
  if (declared.isValid() && qint64(declared.width()) * declared.height() > kLargestImportedPicturePixels) {
    if (why)
      *why = QStringLiteral("%1 × %2: ").arg(declared.width()).arg(declared.height()) +
             coreText("больше %1 Мпикс").arg(kLargestImportedPicturePixels >> 20);
    return QImage();
  }
  QImage image = reader.read();
  // Qt's own words are English and name no cause a user can act on.
  if (image.isNull() && why) *why = coreText("изображение повреждено или обрезано");
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
