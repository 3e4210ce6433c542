#include "OwnedTemporaryFolder.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

OwnedTemporaryFolder::OwnedTemporaryFolder(const QString& pathTemplate) : folder(pathTemplate) {
  if (!folder.isValid()) return;
  // Locked under a name no sweep looks at, then renamed into place: the lock
  // file never stands there unlocked for a sweep to take.
  QByteArray pending = QFile::encodeName(folder.filePath(QStringLiteral(".ulvo-locking-XXXXXX")));
  const int fd = ::mkostemp(pending.data(), O_CLOEXEC);
  if (fd < 0) {
    folder.remove();
    return;
  }
  const QByteArray inUse = QFile::encodeName(folder.filePath(QLatin1String(kFolderInUseFile)));
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::rename(pending.constData(), inUse.constData()) != 0) {
    ::close(fd);
    folder.remove();
    return;
  }
  lockFd = fd;
}

OwnedTemporaryFolder::~OwnedTemporaryFolder() {
  // Removed while still locked, so no sweep sees it half gone.
  folder.remove();
  if (lockFd >= 0) ::close(lockFd);
}
