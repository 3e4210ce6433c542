#include "ForeignFileNames.h"

#include "OwnedLeftovers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <climits>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// This process's link folder, made on first use and removed at exit.
QTemporaryDir* linkFolder() {
  static std::unique_ptr<QTemporaryDir> folder;
  if (!folder) {
    removeStaleOwnedFolders(QDir::tempPath(), QLatin1String(kForeignNameFolderPrefix));
    folder = std::make_unique<QTemporaryDir>(
        QDir(QDir::tempPath()).filePath(ownedTemporaryFolderTemplate(QLatin1String(kForeignNameFolderPrefix)) +
                                        QStringLiteral("XXXXXX")));
  }
  return folder->isValid() ? folder.get() : nullptr;
}

QByteArray absoluteRaw(const QByteArray& raw) {
  if (raw.startsWith('/')) return raw;
  char cwd[PATH_MAX];
  if (!::getcwd(cwd, sizeof cwd)) return raw;
  return QByteArray(cwd) + '/' + raw;
}

}  // namespace

QString openablePathForArgument(const QByteArray& raw) {
  const QString decoded = QFile::decodeName(raw);
  if (QFile::encodeName(decoded) == raw) return decoded;
  struct stat info {};
  if (::stat(raw.constData(), &info) != 0) return decoded;
  QTemporaryDir* folder = linkFolder();
  if (!folder) return decoded;
  // One subfolder per link: two raw names may decode to the same text.
  static int made = 0;
  const QString holder = folder->filePath(QString::number(++made));
  if (!QDir().mkpath(holder)) return decoded;
  QString name = QFileInfo(decoded).fileName();
  if (name.isEmpty()) name = QStringLiteral("file");
  const QString link = QDir(holder).filePath(name);
  if (::symlink(absoluteRaw(raw).constData(), QFile::encodeName(link).constData()) != 0) return decoded;
  return link;
}

QString folderBeside(const QString& path) {
  const QFileInfo info(path);
  const QString own = info.absolutePath();
  if (!info.isSymLink()) return own;
  // Only our own links: <temp>/<prefix><pid>-<random>/<n>/<name>.
  const QString holderParent = QFileInfo(own).absolutePath();
  if (QFileInfo(holderParent).absolutePath() != QFileInfo(QDir::tempPath()).absoluteFilePath() ||
      !QFileInfo(holderParent).fileName().startsWith(QLatin1String(kForeignNameFolderPrefix)))
    return own;
  char target[PATH_MAX];
  const ssize_t length = ::readlink(QFile::encodeName(path).constData(), target, sizeof target - 1);
  if (length <= 0) return own;
  const QByteArray raw(target, length);
  const qsizetype slash = raw.lastIndexOf('/');
  if (slash < 0) return own;
  const QByteArray folder = slash == 0 ? QByteArray("/") : raw.left(slash);
  const QString decoded = QFile::decodeName(folder);
  // A folder whose own name is not UTF-8 cannot be named either; ours goes
  // when the program ends, so the home folder takes what is written.
  return QFile::encodeName(decoded) == folder ? decoded : QDir::homePath();
}
