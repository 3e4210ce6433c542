#include "RegularFileRead.h"
#include "CoreText.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The system's reason in the program's own words; the system's text follows
// only where there are none.
QString systemReason() {
  const int code = errno;
  switch (code) {
    case ENOENT: return coreText("файл не найден");
    case EACCES:
    case EPERM: return coreText("нет прав на чтение файла");
    case EISDIR: return coreText("это папка, а не файл");
    case ENAMETOOLONG: return coreText("слишком длинное имя файла");
    case EMFILE:
    case ENFILE: return coreText("открыто слишком много файлов");
    case EIO: return coreText("ошибка чтения с диска");
    default: return coreText("ошибка системы: %1").arg(QString::fromLocal8Bit(std::strerror(code)));
  }
}

FileReadFailure failWith(FileReadFailure failure, const QString& text, QString* reason) {
  if (reason) *reason = text;
  return failure;
}

}  // namespace

FileReadFailure readRegularFile(const QString& path, qint64 maxBytes, QByteArray* bytes, QString* reason) {
  bytes->clear();
  // Non-blocking, so that opening a FIFO without a writer returns at once.
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return failWith(FileReadFailure::Open, systemReason(), reason);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};

  struct stat info {};
  if (::fstat(fd, &info) != 0) return failWith(FileReadFailure::Open, systemReason(), reason);
  if (!S_ISREG(info.st_mode))
    return failWith(FileReadFailure::NotRegular,
                    coreText("это не обычный файл (канал, устройство или папка)"), reason);
  if (info.st_size > maxBytes)
    return failWith(FileReadFailure::TooLarge,
                    coreText("файл больше допустимых %1 байт").arg(maxBytes), reason);
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

  // The size taken at the start bounds the read: a file that grows meanwhile
  // is read as it was, one that shrinks is read as far as it goes.
  QByteArray content(qsizetype(info.st_size), Qt::Uninitialized);
  qsizetype done = 0;
  while (done < content.size()) {
    const ssize_t got = ::read(fd, content.data() + done, size_t(content.size() - done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return failWith(FileReadFailure::Read, systemReason(), reason);
    if (got == 0) break;
    done += got;
  }
  content.truncate(done);
  *bytes = std::move(content);
  return FileReadFailure::None;
}

std::optional<QByteArray> regularFileHead(const QString& path, int maxBytes) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  QByteArray head(qMax(maxBytes, 0), '\0');
  qsizetype done = 0;
  while (done < head.size()) {
    const ssize_t got = ::read(fd, head.data() + done, size_t(head.size() - done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    done += got;
  }
  head.truncate(done);
  return head;
}

bool isExistingNonRegularFile(const QString& path) {
  struct stat info {};
  return ::stat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISREG(info.st_mode);
}

bool readPdfFile(const QString& path, QByteArray* bytes, QString* error) {
  constexpr qint64 kLargestPdf = qint64(4) << 30;
  QString reason;
  const FileReadFailure failure = readRegularFile(path, kLargestPdf, bytes, &reason);
  if (failure == FileReadFailure::None) return true;
  // A file that cannot be opened keeps the system's own words.
  *error = failure == FileReadFailure::Open ? reason : coreText("Не удалось открыть PDF: %1.").arg(reason);
  return false;
}
