#include "AtomicFileWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(const QString& what, const QString& path) {
  const QString reason = QString::fromLocal8Bit(std::strerror(errno));
  return QStringLiteral("%1: %2 (%3)").arg(what, QDir::toNativeSeparators(path), reason);
}

// Makes the rename itself survive a crash.
void syncDirectory(const QString& dir) {
  const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error) {
  QString ignored;
  QString& message = error ? *error : ignored;
  if (path.isEmpty()) {
    message = QStringLiteral("No file name given");
    return false;
  }
  // A link stays a link: its target file is the one replaced.
  const QFileInfo info(path);
  const QString target = info.isSymLink() && !info.canonicalFilePath().isEmpty() ? info.canonicalFilePath() : path;
  const QString temporary = target + QLatin1String(kTemporarySaveSuffix);
  const QByteArray temporaryName = QFile::encodeName(temporary);

  const int fd = ::open(temporaryName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) {
    message = systemError(QStringLiteral("Cannot create"), temporary);
    return false;
  }
  auto fail = [&](const QString& what) {
    message = systemError(what, temporary);
    ::close(fd);
    ::unlink(temporaryName.constData());
    return false;
  };

  const char* data = bytes.constData();
  qsizetype left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, size_t(left));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = ENOSPC;
      return fail(QStringLiteral("Cannot write"));
    }
    data += written;
    left -= written;
  }
  // Keep who may read the file: a replaced file keeps its mode bits.
  struct stat existing {};
  if (::stat(QFile::encodeName(target).constData(), &existing) == 0 &&
      ::fchmod(fd, existing.st_mode & 07777) != 0)
    return fail(QStringLiteral("Cannot set permissions of"));
  if (::fsync(fd) != 0) return fail(QStringLiteral("Cannot flush"));
  if (::close(fd) != 0) {
    message = systemError(QStringLiteral("Cannot close"), temporary);
    ::unlink(temporaryName.constData());
    return false;
  }
  if (::rename(temporaryName.constData(), QFile::encodeName(target).constData()) != 0) {
    message = systemError(QStringLiteral("Cannot replace file"), target);
    ::unlink(temporaryName.constData());
    return false;
  }
  syncDirectory(QFileInfo(target).absolutePath());
  return true;
}
