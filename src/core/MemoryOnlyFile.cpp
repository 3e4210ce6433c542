#include "MemoryOnlyFile.h"

#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

MemoryOnlyFile::~MemoryOnlyFile() {
  if (fd >= 0) ::close(fd);
}

bool MemoryOnlyFile::create(const QByteArray& bytes, QString* error) {
  const int made = ::memfd_create("ulvo-memory-file", MFD_CLOEXEC);
  qsizetype written = 0;
  while (made >= 0 && written < bytes.size()) {
    const ssize_t step = ::write(made, bytes.constData() + written, size_t(bytes.size() - written));
    if (step < 0 && errno == EINTR) continue;
    if (step <= 0) break;
    written += step;
  }
  if (made < 0 || written != bytes.size()) {
    if (error) *error = QString::fromLocal8Bit(std::strerror(errno));
    if (made >= 0) ::close(made);
    return false;
  }
  if (fd >= 0) ::close(fd);
  fd = made;
  return true;
}

QString MemoryOnlyFile::path() const {
  return fd < 0 ? QString() : QStringLiteral("/proc/self/fd/%1").arg(fd);
}

int adoptInheritedMemoryFile(const QString& path) {
  static const QRegularExpression descriptorPath(QStringLiteral("^/proc/self/fd/(\\d+)$"));
  QRegularExpressionMatch match = descriptorPath.match(path);
  char target[PATH_MAX] = {};
  if (!match.hasMatch()) {
    const ssize_t length = ::readlink(QFile::encodeName(path).constData(), target, sizeof target - 1);
    if (length > 0) match = descriptorPath.match(QFile::decodeName(QByteArray(target, int(length))));
  }
  // The standard streams are never such a file.
  const int fd = match.hasMatch() ? match.captured(1).toInt() : -1;
  return fd > 2 && ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0 ? fd : -1;
}
