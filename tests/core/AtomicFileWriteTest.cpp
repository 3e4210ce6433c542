// Replacing files without handing them to anyone else: the temporary copy is
// private and unpredictable, links planted by others are not followed, and
// the target keeps who may read it.
#include "core/AtomicFileWrite.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QTemporaryDir>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t kOtherUser = 65534;  // "nobody"
constexpr gid_t kOtherGroup = 65534;

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeAll(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  ASSERT_EQ(file.write(bytes), bytes.size());
}

struct stat statOf(const QString& path, bool followLinks = true) {
  struct stat info {};
  const QByteArray name = QFile::encodeName(path);
  EXPECT_EQ(followLinks ? ::stat(name.constData(), &info) : ::lstat(name.constData(), &info), 0) << name.constData();
  return info;
}

// Records the temporary file's name and mode at every step the writer reports.
struct TemporaryWatch {
  struct Seen {
    QString path;
    mode_t mode;
    uid_t owner;
  };
  QList<Seen> seen;
  TemporaryWatch() {
    setAtomicFileWriteTestHook([this](const QString& path) {
      const struct stat info = statOf(path, false);
      seen.append({path, mode_t(info.st_mode & 07777), info.st_uid});
    });
  }
  ~TemporaryWatch() { setAtomicFileWriteTestHook({}); }
};

class AtomicFileWriteTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  QTemporaryDir dir;
};

}  // namespace

TEST_F(AtomicFileWriteTest, APrivateTargetIsNeverReadableByOthersWhileItIsWritten) {
  const QString target = dir.filePath("secret.json");
  writeAll(target, "old");
  ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0600), 0);
  const ::mode_t savedUmask = ::umask(0);  // a permissive umask must not open the copy up
  TemporaryWatch watch;
  QString error;
  const bool written = writeFileAtomically(target, QByteArray(1 << 20, 'x'), &error);
  ::umask(savedUmask);
  ASSERT_TRUE(written) << error.toStdString();
  ASSERT_EQ(watch.seen.size(), 3);
  for (const TemporaryWatch::Seen& step : watch.seen) {
    EXPECT_EQ(step.mode & 077, 0u) << step.path.toStdString() << " mode " << std::oct << step.mode;
    EXPECT_EQ(QFileInfo(step.path).absolutePath(), dir.path());
    EXPECT_NE(step.path, target + kTemporarySaveSuffix);
    EXPECT_FALSE(QFile::exists(step.path));
  }
  EXPECT_EQ(statOf(target).st_mode & 07777, 0600u);
  EXPECT_EQ(readAll(target), QByteArray(1 << 20, 'x'));

  // Two writes never use the same temporary name.
  TemporaryWatch again;
  ASSERT_TRUE(writeFileAtomically(target, "new", &error));
  EXPECT_NE(again.seen.first().path, watch.seen.first().path);

  // The private mode can also be asked for, whatever the target had.
  ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0644), 0);
  ASSERT_TRUE(writeFileAtomically(target, "journal", &error, AtomicFileAccess::OwnerOnly));
  EXPECT_EQ(statOf(target).st_mode & 07777, 0600u);
}

TEST_F(AtomicFileWriteTest, ANewFileFollowsTheUmaskAndAReplacedOneKeepsItsGroup) {
  const QString fresh = dir.filePath("fresh.pdf");
  const ::mode_t savedUmask = ::umask(027);
  QString error;
  const bool written = writeFileAtomically(fresh, "data", &error);
  ::umask(savedUmask);
  ASSERT_TRUE(written) << error.toStdString();
  EXPECT_EQ(statOf(fresh).st_mode & 07777, 0640u);

  if (::geteuid() != 0) GTEST_SKIP() << "changing a file's group to another one needs root here";
  const QString shared = dir.filePath("shared.pdf");
  writeAll(shared, "old");
  ASSERT_EQ(::chown(QFile::encodeName(shared).constData(), kOtherUser, kOtherGroup), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 0640), 0);
  TemporaryWatch watch;
  ASSERT_TRUE(writeFileAtomically(shared, "new", &error)) << error.toStdString();
  const struct stat info = statOf(shared);
  EXPECT_EQ(info.st_gid, kOtherGroup);
  EXPECT_EQ(info.st_uid, kOtherUser);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(readAll(shared), "new");
}

TEST_F(AtomicFileWriteTest, AnotherUsersPreparedTemporaryFileIsNeverUsed) {
  if (::geteuid() != 0) GTEST_SKIP() << "preparing a file as another user needs root";
  const QString target = dir.filePath("report.pdf");
  writeAll(target, "old");
  ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 01777), 0);
  // Another user lays the old predictable name and a link at it in wait.
  const QString planted = target + kTemporarySaveSuffix;
  writeAll(planted, "planted");
  ASSERT_EQ(::chown(QFile::encodeName(planted).constData(), kOtherUser, kOtherGroup), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(planted).constData(), 0666), 0);

  TemporaryWatch watch;
  QString error;
  ASSERT_TRUE(writeFileAtomically(target, "signed", &error)) << error.toStdString();
  ASSERT_FALSE(watch.seen.isEmpty());
  EXPECT_NE(watch.seen.first().path, planted);
  EXPECT_EQ(watch.seen.first().owner, ::geteuid());
  const struct stat info = statOf(target);
  EXPECT_EQ(info.st_uid, ::geteuid());
  EXPECT_EQ(info.st_mode & 0002, 0u);
  EXPECT_EQ(readAll(target), "signed");
  EXPECT_EQ(readAll(planted), "planted");
  EXPECT_EQ(statOf(planted).st_uid, kOtherUser);
}

TEST_F(AtomicFileWriteTest, ALinkPlantedByAnotherUserInASharedFolderIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "making a link owned by another user needs root";
  // A sticky folder anyone may write to, as /tmp is.
  const QString shared = dir.filePath("shared");
  ASSERT_TRUE(QDir().mkdir(shared));
  ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
  const QString victim = dir.filePath("victim.conf");  // the user's own file elsewhere
  writeAll(victim, "precious");

  const QString planted = shared + "/export.pdf";
  ASSERT_TRUE(QFile::link(victim, planted));
  ASSERT_EQ(::lchown(QFile::encodeName(planted).constData(), kOtherUser, kOtherGroup), 0);
  QString error;
  EXPECT_FALSE(writeFileAtomically(planted, "overwritten", &error));
  EXPECT_TRUE(error.startsWith("Cannot replace file: ")) << error.toStdString();
  EXPECT_TRUE(error.contains("another user")) << error.toStdString();
  EXPECT_EQ(readAll(victim), "precious");
  EXPECT_TRUE(QFileInfo(planted).isSymLink());
  EXPECT_TRUE(QDir(shared).entryList({"*.~tmp*"}, QDir::Files | QDir::Hidden).isEmpty());

  // The user's own link there is followed, and stays a link.
  const QString own = shared + "/own.pdf";
  ASSERT_TRUE(QFile::link(victim, own));
  ASSERT_TRUE(writeFileAtomically(own, "replaced", &error)) << error.toStdString();
  EXPECT_EQ(readAll(victim), "replaced");
  EXPECT_TRUE(QFileInfo(own).isSymLink());

  // Outside a shared folder a link may be followed whoever made it: anyone
  // who could plant it could replace the file itself.
  const QString privateLink = dir.filePath("private-link.pdf");
  ASSERT_TRUE(QFile::link(victim, privateLink));
  ASSERT_EQ(::lchown(QFile::encodeName(privateLink).constData(), kOtherUser, kOtherGroup), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0700), 0);
  EXPECT_TRUE(writeFileAtomically(privateLink, "again", &error)) << error.toStdString();
  EXPECT_EQ(readAll(victim), "again");
  // But never a link another user made in a folder of their own.
  const QString theirs = dir.filePath("theirs"), theirLink = theirs + "/doc.pdf";
  ASSERT_TRUE(QDir().mkdir(theirs) && QFile::link(victim, theirLink));
  ASSERT_EQ(::lchown(QFile::encodeName(theirLink).constData(), kOtherUser, kOtherGroup), 0);
  ASSERT_EQ(::chown(QFile::encodeName(theirs).constData(), kOtherUser, kOtherGroup), 0);
  EXPECT_FALSE(writeFileAtomically(theirLink, "hijacked", &error));
  EXPECT_EQ(readAll(victim), "again");
}

TEST_F(AtomicFileWriteTest, SomethingThatIsNotAFileIsNeverReplaced) {
  const QString fifo = dir.filePath("pipe");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  ASSERT_TRUE(QFile::link("/dev/null", dir.filePath("null-link")));
  for (const QString& target : {fifo, dir.filePath("null-link")}) {
    QString error;
    EXPECT_FALSE(writeFileAtomically(target, "data", &error));
    EXPECT_TRUE(error.contains("not a regular file")) << error.toStdString();
  }
  EXPECT_TRUE(QFileInfo(fifo).exists());
  EXPECT_EQ(statOf("/dev/null").st_mode & S_IFMT, mode_t(S_IFCHR));
  EXPECT_TRUE(QDir(dir.path()).entryList({"*.~tmp*"}, QDir::Files | QDir::Hidden | QDir::System).isEmpty());
}

TEST_F(AtomicFileWriteTest, TheNewContentIsOnDiskBeforeItReplacesTheTarget) {
  const QString target = dir.filePath("report.pdf");
  writeAll(target, "old");
  // Which files were synced, and whether the temporary copy still stood
  // under its own name (so the rename had not happened yet).
  QString temporary;
  struct Synced {
    ino_t inode;
    bool beforeRename;
  };
  QList<Synced> synced;
  setAtomicFileWriteTestHook([&](const QString& path) { temporary = path; });
  setAtomicFileSyncForTest([&](int fd) {
    struct stat info {};
    ::fstat(fd, &info);
    synced.append({info.st_ino, !temporary.isEmpty() && QFile::exists(temporary)});
    return ::fsync(fd);
  });
  const bool written = writeFileAtomically(target, "new content", nullptr);
  setAtomicFileSyncForTest({});
  setAtomicFileWriteTestHook({});
  ASSERT_TRUE(written);
  EXPECT_EQ(readAll(target), "new content");
  const ino_t final = statOf(target).st_ino;
  EXPECT_TRUE(std::any_of(synced.begin(), synced.end(),
                          [&](const Synced& s) { return s.inode == final && s.beforeRename; }));
  // And the folder, so that the rename itself survives a crash.
  const ino_t folder = statOf(dir.path()).st_ino;
  EXPECT_TRUE(std::any_of(synced.begin(), synced.end(), [&](const Synced& s) { return s.inode == folder; }));
}

// Content streamed in by a producer replaces the target only when the
// producer finishes; one that gives up leaves the old file and no trace.
TEST_F(AtomicFileWriteTest, AStreamedWriteReplacesTheTargetOnlyWhenComplete) {
  const QString target = dir.filePath(QStringLiteral("streamed.pdf"));
  writeAll(target, "old");
  QString error;
  const auto giveUp = [](QIODevice* device, QString* why) {
    device->write("half of the new");
    *why = QStringLiteral("page 3 failed");
    return false;
  };
  EXPECT_FALSE(writeFileAtomically(target, giveUp, &error));
  EXPECT_EQ(error, QStringLiteral("page 3 failed"));
  EXPECT_EQ(readAll(target), QByteArray("old"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("streamed.pdf")});

  const auto complete = [](QIODevice* device, QString*) { return device->write("new ") == 4 && device->write("content") == 7; };
  EXPECT_TRUE(writeFileAtomically(target, complete, &error));
  EXPECT_EQ(readAll(target), QByteArray("new content"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("streamed.pdf")});
}
