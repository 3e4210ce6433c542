#include "ForeignFileNames.h"

#include "OwnedLeftovers.h"
#include "OwnedTemporaryFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>

#include <climits>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// This process's link folder: made on first use and removed at exit.
std::unique_ptr<OwnedTemporaryFolder>& linkFolderSlot() {
  static std::unique_ptr<OwnedTemporaryFolder> folder;
  return folder;
}

OwnedTemporaryFolder* linkFolder() {
  std::unique_ptr<OwnedTemporaryFolder>& folder = linkFolderSlot();
  if (!folder) {
    removeStaleOwnedFolders(QDir::tempPath(), QLatin1String(kForeignNameFolderPrefix));
    folder = newOwnedTemporaryFolder(kForeignNameFolderPrefix);
  }
  return folder->isValid() ? folder.get() : nullptr;
}

QByteArray absoluteRaw(const QByteArray& raw) {
  if (raw.startsWith('/')) return raw;
  char cwd[PATH_MAX];
  if (!::getcwd(cwd, sizeof cwd)) return raw;
  return QByteArray(cwd) + '/' + raw;
}

// The link made for each raw name, so that one file named twice is one link.
// Writers on any thread read it (recordedLinkTarget): always under its lock.
QHash<QByteArray, QString>& madeLinks() {
  static QHash<QByteArray, QString> links;
  return links;
}
QMutex& madeLinksLock() {
  static QMutex lock;
  return lock;
}

QString madeLinkFor(const QByteArray& absolute) {
  const QMutexLocker lock(&madeLinksLock());
  return madeLinks().value(absolute);
}

// Stored names of files whose own name is not text: the real path's bytes.
const QLatin1String kRawNameMarker("file://");

}  // namespace

QString openablePathForArgument(const QByteArray& raw) {
  const QString decoded = QFile::decodeName(raw);
  if (QFile::encodeName(decoded) == raw) return decoded;
  struct stat info {};
  if (::stat(raw.constData(), &info) != 0) return decoded;
  const QByteArray absolute = absoluteRaw(raw);
  if (const QString made = madeLinkFor(absolute); !made.isEmpty() && ownLinkTarget(made) == absolute) return made;
  OwnedTemporaryFolder* folder = linkFolder();
  if (!folder) return decoded;
  // One subfolder per link: two raw names may decode to the same text.
  static int made = 0;
  const QString holder = folder->filePath(QString::number(++made));
  if (!QDir().mkpath(holder)) return decoded;
  QString name = QFileInfo(decoded).fileName();
  if (name.isEmpty()) name = QStringLiteral("file");
  const QString link = QDir(holder).filePath(name);
  if (::symlink(absolute.constData(), QFile::encodeName(link).constData()) != 0) return decoded;
  const QMutexLocker lock(&madeLinksLock());
  madeLinks().insert(absolute, link);
  return link;
}

std::optional<std::pair<quint64, quint64>> existingFileIdentity(const QString& path) {
  struct stat info {};
  if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0) return std::nullopt;
  return std::make_pair(quint64(info.st_dev), quint64(info.st_ino));
}

QByteArray ownLinkTarget(const QString& path) {
  const std::unique_ptr<OwnedTemporaryFolder>& folder = linkFolderSlot();
  if (!folder || !folder->isValid() || path.isEmpty()) return QByteArray();
  // Only <our folder>/<n>/<name>, and only the link itself, never through it.
  const QFileInfo info(path);
  const QString holder = info.absolutePath();
  if (QFileInfo(holder).absolutePath() != QFileInfo(folder->path()).absoluteFilePath()) return QByteArray();
  struct stat link {};
  const QByteArray encoded = QFile::encodeName(info.absoluteFilePath());
  if (::lstat(encoded.constData(), &link) != 0 || !S_ISLNK(link.st_mode) || link.st_uid != ::geteuid())
    return QByteArray();
  char target[PATH_MAX];
  const ssize_t length = ::readlink(encoded.constData(), target, sizeof target - 1);
  if (length <= 0 || target[0] != '/') return QByteArray();
  return QByteArray(target, length);
}

QByteArray recordedLinkTarget(const QString& path) {
  if (path.isEmpty()) return QByteArray();
  const QString absolute = QFileInfo(path).absoluteFilePath();
  const QMutexLocker lock(&madeLinksLock());
  for (auto made = madeLinks().constBegin(); made != madeLinks().constEnd(); ++made)
    if (*made == absolute) return made.key();
  return QByteArray();
}

bool isInNameLinkFolder(const QString& path) {
  // <temp>/<prefix>.../<n>/<name>, of this run or any other.
  const QString holderParent = QFileInfo(QFileInfo(path).absolutePath()).absolutePath();
  return QFileInfo(holderParent).absolutePath() == QFileInfo(QDir::tempPath()).absoluteFilePath() &&
         QFileInfo(holderParent).fileName().startsWith(QLatin1String(kForeignNameFolderPrefix));
}

QString folderBeside(const QString& path) {
  const QString own = QFileInfo(path).absolutePath();
  const QByteArray raw = ownLinkTarget(path);
  if (raw.isEmpty()) return own;
  const qsizetype slash = raw.lastIndexOf('/');
  if (slash < 0) return own;
  const QByteArray folder = slash == 0 ? QByteArray("/") : raw.left(slash);
  const QString decoded = QFile::decodeName(folder);
  // A folder whose own name is not UTF-8 cannot be named either; ours goes
  // when the program ends, so the home folder takes what is written.
  return QFile::encodeName(decoded) == folder ? decoded : QDir::homePath();
}

QString storedFileName(const QString& path) {
  const QByteArray raw = ownLinkTarget(path);
  if (raw.isEmpty()) return QFileInfo(path).absoluteFilePath();
  return kRawNameMarker + QString::fromLatin1(raw.toPercentEncoding("/"));
}

QString openablePathForStored(const QString& stored) {
  if (stored.startsWith(kRawNameMarker)) {
    const QByteArray raw = QByteArray::fromPercentEncoding(stored.mid(kRawNameMarker.size()).toLatin1());
    if (!raw.startsWith('/')) return QString();
    struct stat info {};
    // A file that is gone gets no link; it stays in the list as it was.
    if (::stat(raw.constData(), &info) != 0) return QString();
    const QString path = openablePathForArgument(raw);
    return QFile::encodeName(path) == raw || !ownLinkTarget(path).isEmpty() ? path : QString();
  }
  // A link of another run, or one recreated by someone else since, is never
  // opened under the name it shows.
  if (isInNameLinkFolder(stored)) return QString();
  return stored;
}
