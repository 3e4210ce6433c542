#pragma once
// A file that lives in memory only (memfd): nothing of it reaches a disk,
// and it is gone once the last process holding its descriptor ends, killed
// or not. For what must never lie in a file, such as a locked document's
// copy in the clear.

#include <QByteArray>
#include <QString>

class MemoryOnlyFile {
public:
  MemoryOnlyFile() = default;
  ~MemoryOnlyFile();
  MemoryOnlyFile(const MemoryOnlyFile&) = delete;
  MemoryOnlyFile& operator=(const MemoryOnlyFile&) = delete;

  // Holds `bytes`; false with `error` set when the system gives no such file.
  bool create(const QByteArray& bytes, QString* error);
  // Closed on exec: a child gets it only when it asks (see tieChildToThisProcess).
  int descriptor() const { return fd; }
  // "/proc/self/fd/<n>": this file, in this process and in a child that
  // inherits the descriptor under the same number.
  QString path() const;

private:
  int fd = -1;
};

// In a child handed such a file: the descriptor `path` reaches ("/proc/self/fd/<n>"
// or a link to it), from now on closed on exec here too, so that it goes on
// only to the children it is handed to; -1 when `path` is no such file.
int adoptInheritedMemoryFile(const QString& path);
