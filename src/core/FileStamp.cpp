#include "FileStamp.h"

#include <QFile>

#include <sys/stat.h>

std::optional<FileStamp> fileStampOf(const QString& path) {
  struct stat info {};
  if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
    return std::nullopt;
  return FileStamp{quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size),
                   qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}
