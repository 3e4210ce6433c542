#pragma once
// A private temporary folder of this process (owner-only, unpredictable
// name) that says it is in use: a file inside it stays under an exclusive
// lock while the folder exists. Another instance sharing the temporary
// directory, even one in another pid namespace where our process id means
// nothing, can tell it from a dead run's leftover by trying that lock.

#include <QString>
#include <QTemporaryDir>

// The file inside each folder that its living owner keeps locked.
inline constexpr char kFolderInUseFile[] = ".ulvo-in-use";

class OwnedTemporaryFolder {
public:
  // Made as "<temp>/<template>XXXXXX"; isValid() says whether it exists and is locked.
  explicit OwnedTemporaryFolder(const QString& pathTemplate);
  ~OwnedTemporaryFolder();
  OwnedTemporaryFolder(const OwnedTemporaryFolder&) = delete;
  OwnedTemporaryFolder& operator=(const OwnedTemporaryFolder&) = delete;

  bool isValid() const { return lockFd >= 0; }
  QString path() const { return folder.path(); }
  QString filePath(const QString& name) const { return folder.filePath(name); }

private:
  QTemporaryDir folder;
  int lockFd = -1;
};
