// The facsimile store: the folder of PNG pictures, the name rule and the
// default placement size.
#include "Facsimiles.h"

#include "SignatureStampStorage.h"
#include "SignatureTexts.h"
#include "core/AtomicFileWrite.h"
#include "core/ImageFormatProbe.h"
#include "core/PicturePages.h"
#include "core/RegularFileRead.h"
#include "paint/ImageSizeLimit.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

QString facsimileFolder() { return appDataDirectory() + QStringLiteral("/facsimiles"); }

QStringList listFacsimileFiles(const QString& folder) {
  QStringList files;
  const QDir root(folder);
  if (folder.isEmpty() || !root.exists()) return files;
  // Without QDir::Hidden, hidden files (and what hidden folders hold) stay out.
  QDirIterator it(folder, {QStringLiteral("*.png")}, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    if (!path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive)) continue;
    files << root.relativeFilePath(path);
  }
  std::sort(files.begin(), files.end(),
            [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
  return files;
}

QString facsimileGroupDir(const QString& facsimileFolder) {
  return QDir(facsimileFolder).filePath(QStringLiteral("groups"));
}

namespace {

// Names the system keeps for itself on some file systems the folder may be
// copied to.
bool isReservedName(const QString& name) {
  static const QRegularExpression reserved(QStringLiteral("^(con|prn|aux|nul|com[0-9]|lpt[0-9])(\\..*)?$"),
                                           QRegularExpression::CaseInsensitiveOption);
  return reserved.match(name).hasMatch();
}

}  // namespace

namespace {

// What a name may hold before it is cleaned: far more than the 200 bytes a
// cleaned name keeps, small enough that cleaning stays quick.
constexpr qsizetype kLongestNameInput = 1024;
constexpr qsizetype kLongestNameBytes = 200;
// A PNG of the largest picture the store takes, written at worst without
// any compression: no picture it stores is too large to read back.
constexpr qint64 kLargestPicture = qint64(kLargestDecodedPictureMegabytes + 16) << 20;
constexpr qint64 kLargestGroupFile = 1 << 20;

// The longest prefix of `text` whose UTF-8 form fits in `bytes`, whole
// characters only.
QString fitUtf8(const QString& text, qsizetype bytes) {
  qsizetype used = 0;
  qsizetype end = 0;
  while (end < text.size()) {
    const bool pair = text.at(end).isHighSurrogate() && end + 1 < text.size() && text.at(end + 1).isLowSurrogate();
    const char16_t unit = text.at(end).unicode();
    const qsizetype size = pair ? 4 : unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3;
    if (used + size > bytes) break;
    used += size;
    end += pair ? 2 : 1;
  }
  return text.left(end);
}

}  // namespace

QString normalizeFacsimileName(const QString& name) {
  QString text = name.trimmed().left(kLongestNameInput);
  for (const QChar c : {u'\\', u':', u'*', u'?', u'"', u'<', u'>', u'|'}) text.replace(c, QLatin1Char('_'));
  // Control characters make names that cannot be typed back.
  for (QChar& c : text)
    if (c.unicode() < 0x20 || c.unicode() == 0x7f) c = QLatin1Char('_');
  while (text.contains(QLatin1String("//"))) text.replace(QLatin1String("//"), QLatin1String("/"));
  text.replace(QLatin1String(".."), QLatin1String("_"));
  text = text.trimmed();
  if (text.isEmpty()) text = uiText("факсимиле");
  text.replace(QLatin1Char('/'), QLatin1Char('_'));
  // A leading dot would hide the file from the list.
  if (text.startsWith(QLatin1Char('.'))) text[0] = QLatin1Char('_');
  if (isReservedName(text)) text.prepend(QLatin1Char('_'));
  // File names are limited in bytes; ".png" and the atomic write's suffix must still fit.
  text = fitUtf8(text, kLongestNameBytes);
  return text.trimmed();
}

QSizeF defaultFacsimileSizeMm(const QList<QImage>& images) {
  if (images.size() > 1) return QSizeF(85, 32);
  if (images.isEmpty() || images.first().isNull()) return QSizeF(45, 18);
  const QImage& image = images.first();
  const double aspect = double(image.width()) / std::max(1, image.height());
  if (aspect > 2.0) return QSizeF(45, 18);
  if (aspect < 0.75) return QSizeF(24, 45);
  return QSizeF(40, 40);
}

bool writeFacsimilePng(const QString& path, const QImage& image, QString* error) {
  // What could not be read back and edited is never stored.
  if (const QString tooLarge = editorImageSizeProblem(image.size()); !tooLarge.isEmpty()) {
    if (error) *error = tooLarge;
    return false;
  }
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (image.isNull() || !image.save(&buffer, "PNG")) {
    if (error) *error = uiText("Не удалось закодировать изображение.");
    return false;
  }
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
    if (error) *error = uiText("Не удалось создать папку: %1").arg(QFileInfo(path).absolutePath());
    return false;
  }
  return writeFileAtomically(path, png, error, AtomicFileAccess::AsTarget, AtomicFileLinks::Refuse);
}

bool isFacsimileFile(const QString& path) { return QFileInfo::exists(path) && !isExistingNonRegularFile(path); }

QImage readFacsimileImage(const QString& path, QString* why) {
  QString reason;
  QImage image = readImportedPicture(path, &reason, kLargestPicture);
  if (!image.isNull() && !(reason = editorImageSizeProblem(image.size())).isEmpty()) image = QImage();
  if (why) *why = reason;
  return image;
}

QImage readFacsimileThumbnail(const QString& path, const QSize& size) {
  const QImage picture = readFacsimileImage(path, nullptr);
  return picture.isNull() ? picture : picture.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QByteArray readFacsimileGroupFile(const QString& path) {
  QByteArray bytes;
  if (readRegularFile(path, kLargestGroupFile, &bytes, nullptr) != FileReadFailure::None) return QByteArray();
  return bytes;
}
