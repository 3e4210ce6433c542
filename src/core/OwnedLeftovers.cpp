#include "OwnedLeftovers.h"

#include "OwnedTemporaryFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

bool isProcessAlive(qint64 pid) {
  if (pid <= 0 || pid != qint64(pid_t(pid))) return false;
  if (::kill(pid_t(pid), 0) == 0) return true;
  return errno != ESRCH;
}

QString ownedTemporaryFolderTemplate(const QString& prefix) {
  return prefix + QString::number(QCoreApplication::applicationPid()) + QLatin1Char('-');
}

namespace {

bool isOlderThanAnyRun(time_t modified) { return ::time(nullptr) - modified > kLongestRunSeconds; }

}  // namespace

int removeStaleOwnedFolders(const QString& parent, const QString& prefix) {
  const QRegularExpression pattern(QStringLiteral("^") + QRegularExpression::escape(prefix) +
                                   QStringLiteral("([0-9]{1,10})-[A-Za-z0-9]{6}$"));
  int removed = 0;
  const QDir folder(parent);
  for (const QString& name : folder.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks)) {
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch()) continue;
    // The process id in the name is no test of life: an instance in another
    // pid namespace shares this folder with ids of its own. Only its lock is.
    const QString path = folder.filePath(name);
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid())
      continue;
    const QByteArray lockFile = QFile::encodeName(QDir(path).filePath(QLatin1String(kFolderInUseFile)));
    const int lock = ::open(lockFile.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (lock < 0) {
      // Without its lock file: being made this instant, or left by an
      // earlier version that kept none; older than any run, it is the latter.
      if (errno == ENOENT && isOlderThanAnyRun(info.st_mtime) && QDir(path).removeRecursively()) ++removed;
      continue;
    }
    // QDir::removeRecursively does not follow links out of the folder; the
    // lock is kept until the folder is gone.
    if (::flock(lock, LOCK_EX | LOCK_NB) == 0 && QDir(path).removeRecursively()) ++removed;
    ::close(lock);
  }
  return removed;
}

int removeStaleOwnedTemporaryFolders(const QString& parent) {
  int removed = 0;
  // Signing requests with their passwords, as earlier versions wrote them
  // beside these folders; no run reads one after a day.
  const QDir folder(parent);
  const QRegularExpression request(QStringLiteral("^ulvo-sign-request-[A-Za-z0-9]{6}\\.json$"));
  for (const QString& name : folder.entryList({QStringLiteral("ulvo-sign-request-*")}, QDir::Files | QDir::Hidden)) {
    struct stat info {};
    const QByteArray path = QFile::encodeName(folder.filePath(name));
    if (request.match(name).hasMatch() && ::lstat(path.constData(), &info) == 0 && S_ISREG(info.st_mode) &&
        info.st_uid == ::geteuid() && isOlderThanAnyRun(info.st_mtime) && ::unlink(path.constData()) == 0)
      ++removed;
  }
  for (const char* prefix : kOwnedTemporaryFolderPrefixes)
    removed += removeStaleOwnedFolders(parent, QLatin1String(prefix));
  return removed;
}

std::unique_ptr<OwnedTemporaryFolder> newOwnedTemporaryFolder(const char* prefix) {
  return std::make_unique<OwnedTemporaryFolder>(
      QDir(QDir::tempPath()).filePath(ownedTemporaryFolderTemplate(QLatin1String(prefix)) + QStringLiteral("XXXXXX")));
}
