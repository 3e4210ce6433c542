#pragma once
// Which file stands at a path and what it held when last looked at, as far
// as its metadata tells: a file replaced (even by a rename onto its name) or
// written since gives another stamp.

#include <QString>

#include <optional>

struct FileStamp {
  quint64 device = 0;
  quint64 inode = 0;
  qint64 size = 0;
  qint64 modifiedNs = 0;
  bool operator==(const FileStamp&) const = default;
};

// Nothing for a path where no regular file is (a save there fails anyway).
std::optional<FileStamp> fileStampOf(const QString& path);
