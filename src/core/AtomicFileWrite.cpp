#include "AtomicFileWrite.h"

#include "ForeignFileNames.h"
#include "OwnedLeftovers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::function<void(const QString&)>& testHook() {
  static std::function<void(const QString&)> hook;
  return hook;
}

void callTestHook(const QString& temporary) {
  if (testHook()) testHook()(temporary);
}

std::function<int(int)>& syncCall() {
  static std::function<int(int)> sync = ::fsync;
  return sync;
}

QString systemError(const QString& what, const QString& path) {
  const QString reason = QString::fromLocal8Bit(std::strerror(errno));
  return QStringLiteral("%1: %2 (%3)").arg(what, QDir::toNativeSeparators(path), reason);
}

// Makes the rename itself survive a crash.
void syncDirectory(const QByteArray& dir) {
  const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  syncCall()(fd);
  ::close(fd);
}

QByteArray folderOf(const QByteArray& path) {
  const qsizetype slash = path.lastIndexOf('/');
  if (slash < 0) return QByteArray(".");
  if (slash == 0) return QByteArray("/");
  return path.left(slash);
}

// The process's umask without changing it (umask() would race other threads).
mode_t currentUmask() {
  if (FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    while (std::fgets(line, sizeof line, status)) {
      unsigned value = 0;
      if (std::sscanf(line, "Umask: %o", &value) == 1) {
        std::fclose(status);
        return mode_t(value & 0777);
      }
    }
    std::fclose(status);
  }
  return 022;
}

// The kernel's protected-links rule: in a sticky folder anyone may write to,
// a link is followed only by its owner or when the folder's owner made it.
// Beyond it, a link another user made in a folder of that user's own is
// never followed: it would let them aim our write at any file of ours
// (root's links excepted, root needs no such detour).
bool mayFollowLink(const QByteArray& link, const struct stat& linkInfo) {
  if (linkInfo.st_uid == ::geteuid()) return true;
  struct stat folder {};
  if (::stat(folderOf(link).constData(), &folder) != 0) return false;
  if (linkInfo.st_uid != 0 && folder.st_uid == linkInfo.st_uid) return false;
  const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
  return !shared || linkInfo.st_uid == folder.st_uid;
}

// Resolves links at the last component of `path` only; the folders on the way
// are resolved by the kernel, under its own rules, at create and rename time.
bool resolveTarget(const QString& path, AtomicFileLinks links, QByteArray* target, QString* message) {
  // A file reached through this process's own link is written at its real
  // path, checked below like any other, whatever stands at the link now.
  const QByteArray linked = recordedLinkTarget(path);
  QByteArray current = linked.isEmpty() ? QFile::encodeName(path) : linked;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (::lstat(current.constData(), &info) != 0) {
      if (errno == ENOENT) break;  // a new file
      *message = systemError(QStringLiteral("Cannot create"), QFile::decodeName(current));
      return false;
    }
    if (!S_ISLNK(info.st_mode)) {
      if (!S_ISREG(info.st_mode)) {
        errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        *message = QStringLiteral("Cannot replace file: %1 (not a regular file)")
                       .arg(QDir::toNativeSeparators(QFile::decodeName(current)));
        return false;
      }
      break;
    }
    if (links == AtomicFileLinks::Refuse) {
      errno = ELOOP;
      *message = QStringLiteral("Cannot replace file: %1 (a symbolic link)")
                     .arg(QDir::toNativeSeparators(QFile::decodeName(current)));
      return false;
    }
    if (!mayFollowLink(current, info)) {
      *message = QStringLiteral("Cannot replace file: %1 (a link made by another user in a shared folder)")
                     .arg(QDir::toNativeSeparators(QFile::decodeName(current)));
      return false;
    }
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink(current.constData(), buffer, sizeof buffer - 1);
    if (length <= 0) {
      *message = systemError(QStringLiteral("Cannot create"), QFile::decodeName(current));
      return false;
    }
    const QByteArray next(buffer, length);
    current = next.startsWith('/') ? next : folderOf(current) + '/' + next;
    if (hops == 39) {
      errno = ELOOP;
      *message = systemError(QStringLiteral("Cannot create"), path);
      return false;
    }
  }
  *target = current;
  return true;
}

// "<target>.~tmp<pid>-<six characters>~ulvo-partial": this writer's temporary name for
// that one target. Returns the pid, or 0 when `name` is not of that form.
pid_t temporaryOwnerPid(const char* name, const QByteArray& targetName) {
  if (targetName.isEmpty() || std::strncmp(name, targetName.constData(), size_t(targetName.size())) != 0) return 0;
  const char* marker = name + targetName.size();
  if (std::strncmp(marker, kTemporarySaveSuffix, std::strlen(kTemporarySaveSuffix)) != 0) return 0;
  const char* digits = marker + std::strlen(kTemporarySaveSuffix);
  const char* p = digits;
  long long pid = 0;
  while (*p >= '0' && *p <= '9' && p - digits < 10) pid = pid * 10 + (*p++ - '0');
  if (p == digits || *p != '-') return 0;
  const char* random = p + 1;
  for (int i = 0; i < 6; ++i)
    if (!std::isalnum(static_cast<unsigned char>(random[i]))) return 0;
  if (std::strcmp(random + 6, kTemporarySaveMarker) != 0 || pid <= 0 || pid != (long long)pid_t(pid)) return 0;
  return pid_t(pid);
}

// Half-written copies of this very target that writers killed mid-write
// (crash, kill -9) left beside it: removed when they are the user's regular
// files and their process is gone. A name that only starts like ours (a
// user's "report.pdf.~tmp4242-backup") lacks the marker and is never touched.
void removeStaleTemporaries(const QByteArray& target) {
  const QByteArray folder = folderOf(target);
  const QByteArray targetName = target.mid(target.lastIndexOf('/') + 1);
  const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return;
  DIR* dir = ::fdopendir(dirFd);
  if (!dir) {
    ::close(dirFd);
    return;
  }
  const uid_t self = ::geteuid();
  while (const dirent* entry = ::readdir(dir)) {
    const pid_t owner = temporaryOwnerPid(entry->d_name, targetName);
    if (owner == 0 || owner == ::getpid() || isProcessAlive(owner)) continue;
    struct stat info {};
    if (::fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(info.st_mode) || info.st_uid != self) continue;
    ::unlinkat(dirFd, entry->d_name, 0);
  }
  ::closedir(dir);
}

// Owner, group and mode the finished file gets.
struct FinalAccess {
  mode_t mode = 0600;
  bool keepOwnership = false;
  uid_t owner = 0;
  gid_t group = 0;
};

FinalAccess finalAccessFor(const QByteArray& target, AtomicFileAccess access) {
  FinalAccess result;
  struct stat existing {};
  const bool exists = ::stat(target.constData(), &existing) == 0;
  if (exists) {
    result.keepOwnership = true;
    result.owner = existing.st_uid;
    result.group = existing.st_gid;
  }
  if (access == AtomicFileAccess::OwnerOnly) result.mode = 0600;
  else result.mode = exists ? (existing.st_mode & 07777) : (0666 & ~currentUmask());
  return result;
}

bool writeAll(int fd, const QByteArray& bytes) {
  const char* data = bytes.constData();
  qsizetype left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, size_t(left));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = ENOSPC;
      return false;
    }
    data += written;
    left -= written;
  }
  return true;
}

}  // namespace

void setAtomicFileWriteTestHook(std::function<void(const QString& temporaryPath)> hook) {
  testHook() = std::move(hook);
}

void setAtomicFileSyncForTest(std::function<int(int fd)> sync) {
  syncCall() = sync ? std::move(sync) : std::function<int(int)>(::fsync);
}

namespace {

// The common road of both writers; `writeData` fills the temporary file and
// on failure may name the reason.
bool writeThroughTemporary(const QString& path, const std::function<bool(int fd, QString* reason)>& writeData,
                           QString* error, AtomicFileAccess access, AtomicFileLinks links) {
  QString ignored;
  QString& message = error ? *error : ignored;
  if (path.isEmpty()) {
    message = QStringLiteral("No file name given");
    return false;
  }
  QByteArray target;
  if (!resolveTarget(path, links, &target, &message)) return false;
  const FinalAccess finalAccess = finalAccessFor(target, access);

  removeStaleTemporaries(target);
  // A fresh name that nobody can have prepared: mkostemp creates it with
  // O_EXCL and mode 0600. The process id lets a later write tell a dead
  // writer's leftover from a write in progress.
  QByteArray temporaryName =
      target + kTemporarySaveSuffix + QByteArray::number(qint64(::getpid())) + "-XXXXXX" + kTemporarySaveMarker;
  const int fd = ::mkostemps(temporaryName.data(), int(std::strlen(kTemporarySaveMarker)), O_CLOEXEC);
  const QString temporary = QFile::decodeName(temporaryName);
  if (fd < 0) {
    message = systemError(QStringLiteral("Cannot create"), QFile::decodeName(target) + kTemporarySaveSuffix);
    return false;
  }
  auto fail = [&](const QString& what) {
    message = systemError(what, temporary);
    ::close(fd);
    ::unlink(temporaryName.constData());
    return false;
  };
  callTestHook(temporary);

  // Ownership first (changing it may clear set-id bits), then the mode, both
  // before any data is in the file. Keeping the owner needs privileges and
  // keeping the group membership of it; without them the file is the user's.
  if (finalAccess.keepOwnership && ::fchown(fd, finalAccess.owner, finalAccess.group) != 0 &&
      ::fchown(fd, uid_t(-1), finalAccess.group) != 0) {
    // Not allowed: the replaced file becomes the user's own, with the user's group.
  }
  if (::fchmod(fd, finalAccess.mode) != 0) return fail(QStringLiteral("Cannot set permissions of"));
  callTestHook(temporary);

  QString reason;
  if (!writeData(fd, &reason)) {
    fail(QStringLiteral("Cannot write"));
    if (!reason.isEmpty()) message = reason;
    return false;
  }
  callTestHook(temporary);
  if (syncCall()(fd) != 0) return fail(QStringLiteral("Cannot flush"));
  if (::close(fd) != 0) {
    message = systemError(QStringLiteral("Cannot close"), temporary);
    ::unlink(temporaryName.constData());
    return false;
  }
  if (::rename(temporaryName.constData(), target.constData()) != 0) {
    message = systemError(QStringLiteral("Cannot replace file"), QFile::decodeName(target));
    ::unlink(temporaryName.constData());
    return false;
  }
  syncDirectory(folderOf(target));
  return true;
}

}  // namespace

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error, AtomicFileAccess access,
                         AtomicFileLinks links) {
  return writeThroughTemporary(path, [&bytes](int fd, QString*) { return writeAll(fd, bytes); }, error, access,
                               links);
}

bool writeFileAtomically(const QString& path, const std::function<bool(QIODevice* device, QString* error)>& produce,
                         QString* error, AtomicFileAccess access, AtomicFileLinks links) {
  return writeThroughTemporary(
      path,
      [&produce](int fd, QString* reason) {
        QFile file;
        if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) return false;
        const bool produced = produce(&file, reason);
        const bool flushed = file.flush() && file.error() == QFileDevice::NoError;
        file.close();
        return produced && flushed;
      },
      error, access, links);
}
