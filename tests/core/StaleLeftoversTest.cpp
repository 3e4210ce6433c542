// What a killed writer leaves behind is removed by the next one, and nothing
// else: a child copy of this test binary is killed with SIGKILL in the middle
// of an atomic write; the next write of that target removes the child's
// half-written copy but keeps files of living writers, other targets' copies,
// look-alikes that are not exactly our name and links. Private folders go
// once the instance that holds them is gone, and only then. A copy kept in
// memory only reaches no child but the one it is handed to.
#include "core/AtomicFileWrite.h"
#include "core/MemoryOnlyFile.h"
#include "core/OwnedLeftovers.h"
#include "core/OwnedTemporaryFolder.h"
#include "core/SignatureChildProcess.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <sys/time.h>
#include <unistd.h>

#include <ctime>
#include <memory>
#include <vector>

namespace {

const char kChildTarget[] = "ULVO_KILLED_WRITER_TARGET";

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

// Starts a child that begins an atomic write of `target`, and kills it once
// the first megabyte is in its temporary copy. Returns the child's pid.
qint64 killWriterMidWrite(const QString& target) {
  QProcess child;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QString::fromLatin1(kChildTarget), target);
  child.setProcessEnvironment(environment);
  child.start(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")),
              {QStringLiteral("--gtest_filter=StaleLeftoversChild.WritesUntilKilled")});
  EXPECT_TRUE(child.waitForStarted(30000));
  QByteArray said;
  while (!said.contains("WRITING") && child.waitForReadyRead(30000)) said += child.readAllStandardOutput();
  EXPECT_TRUE(said.contains("WRITING")) << said.constData();
  const qint64 pid = child.processId();
  child.kill();
  EXPECT_TRUE(child.waitForFinished(30000));
  EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
  return pid;
}

}  // namespace

// Runs only as the child of the test below.
TEST(StaleLeftoversChild, WritesUntilKilled) {
  const QString target = qEnvironmentVariable(kChildTarget);
  if (target.isEmpty()) GTEST_SKIP() << "runs only as the killed writer";
  writeFileAtomically(target, [](QIODevice* device, QString*) {
    device->write(QByteArray(1 << 20, 'x'));
    static_cast<QFileDevice*>(device)->flush();
    std::printf("WRITING\n");
    std::fflush(stdout);
    for (int i = 0; i < 600; ++i) QThread::msleep(100);  // killed long before
    return false;
  }, nullptr);
}

TEST(StaleLeftovers, NextWriteRemovesTheKilledWritersCopyAndNothingElse) {
  QTemporaryDir dir;
  const QString target = dir.filePath(QStringLiteral("report.pdf"));
  writeFile(target, "old content");
  const qint64 dead = killWriterMidWrite(target);
  ASSERT_GT(dead, 0);
  const QStringList afterKill = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
  QString leftover;
  for (const QString& name : afterKill)
    if (name.startsWith(QStringLiteral("report.pdf.~tmp%1-").arg(dead))) leftover = name;
  ASSERT_FALSE(leftover.isEmpty()) << afterKill.join(' ').toStdString();
  EXPECT_EQ(QFile(dir.filePath(leftover)).size(), 1 << 20);

  // What must stay: a living writer's copy (pid 1 always runs), names that
  // only look like ours, a link and a folder under a dead writer's name.
  const QString living = QStringLiteral("report.pdf.~tmp1-AbC123~ulvo-partial");
  // A user's own "report.pdf.~tmp<pid>-backup" starts like our copy of the
  // very target; another target's copy is not this write's business.
  const QStringList lookAlikes = {QStringLiteral("notes.~tmp%1-backup").arg(dead),
                                  QStringLiteral("report.pdf.~tmp%1-backup").arg(dead),
                                  QStringLiteral("report.pdf.~tmp%1-Zx9Qw2~ulvo-partial.old").arg(dead),
                                  QStringLiteral("other.pdf.~tmp%1-Zx9Qw2").arg(dead),
                                  QStringLiteral("report.pdf.bak.~tmp%1-abcdef").arg(dead),
                                  QStringLiteral("notes.~tmp%1-abc").arg(dead), QStringLiteral("notes.~tmp%1-abcdefg").arg(dead),
                                  QStringLiteral("notes.~tmpXYZ-abcdef"), QStringLiteral(".~tmp%1-abcdef").arg(dead),
                                  QStringLiteral("notes.~tmp%1_abcdef").arg(dead)};
  writeFile(dir.filePath(living), "in progress");
  for (const QString& name : lookAlikes) writeFile(dir.filePath(name), "user data");
  const QString outside = dir.filePath(QStringLiteral("outside.txt"));
  writeFile(outside, "keep");
  const QString link = dir.filePath(QStringLiteral("linked.pdf.~tmp%1-qwerty").arg(dead));
  ASSERT_TRUE(QFile::link(outside, link));
  const QString folder = dir.filePath(QStringLiteral("folder.~tmp%1-zxcvbn").arg(dead));
  ASSERT_TRUE(QDir().mkpath(folder));

  // A save of another file in the folder removes nothing of this target's.
  QString error;
  ASSERT_TRUE(writeFileAtomically(dir.filePath(QStringLiteral("next.pdf")), QByteArray("next"), &error))
      << error.toStdString();
  EXPECT_TRUE(QFile::exists(dir.filePath(leftover)));
  for (const QString& name : lookAlikes) EXPECT_TRUE(QFile::exists(dir.filePath(name))) << name.toStdString();

  // The next save of the target itself removes its killed writer's copy.
  ASSERT_TRUE(writeFileAtomically(target, QByteArray("new content"), &error)) << error.toStdString();
  EXPECT_FALSE(QFile::exists(dir.filePath(leftover)));
  EXPECT_TRUE(QFile::exists(dir.filePath(living)));
  for (const QString& name : lookAlikes) EXPECT_TRUE(QFile::exists(dir.filePath(name))) << name.toStdString();
  EXPECT_TRUE(QFileInfo(link).isSymLink());
  EXPECT_TRUE(QFileInfo(folder).isDir());
  QFile saved(target);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(saved.readAll(), QByteArray("new content"));
}

// Runs only as the child of the test below: holds a private folder of every
// kind, each with a file in it, until it is killed.
TEST(StaleLeftoversChild, HoldsFoldersUntilKilled) {
  if (qEnvironmentVariableIsEmpty("ULVO_HOLD_FOLDERS")) GTEST_SKIP() << "runs only as the folder holder";
  std::vector<std::unique_ptr<OwnedTemporaryFolder>> held;
  for (const char* prefix : {kFitCopyFolderPrefix, kForeignNameFolderPrefix, kSignSourceFolderPrefix,
                             kCompressFolderPrefix, kPrintFolderPrefix}) {
    held.push_back(newOwnedTemporaryFolder(prefix));
    ASSERT_TRUE(held.back()->isValid());
    writeFile(held.back()->filePath(QStringLiteral("sheet.pdf")), "printed sheet");
  }
  std::printf("HELD\n");
  std::fflush(stdout);
  QThread::sleep(120);  // killed long before
}

// Another instance holds its folders from another pid namespace, where its
// process id is one that names no process here: they stay while it lives,
// whatever its id says, and all go, print folders too, once it is killed.
TEST(StaleLeftovers, FoldersGoOnlyWhenTheirOwnerIsGone) {
  QTemporaryDir parent;
  QProcess probe;  // an id that certainly names no process here now
  probe.start(QStringLiteral("true"), {});
  ASSERT_TRUE(probe.waitForStarted(30000));
  const qint64 dead = probe.processId();
  ASSERT_TRUE(probe.waitForFinished(30000));
  ASSERT_FALSE(isProcessAlive(dead));
  const QString self = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
  const QString filter = QStringLiteral("--gtest_filter=StaleLeftoversChild.HoldsFoldersUntilKilled");
  QProcess holder;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("ULVO_HOLD_FOLDERS"), QStringLiteral("1"));
  environment.insert(QStringLiteral("TMPDIR"), parent.path());
  holder.setProcessEnvironment(environment);
  const bool namespaced = QProcess::execute(QStringLiteral("unshare"), {"-pf", "--mount-proc", "true"}) == 0;
  if (namespaced)  // the holder gets the dead id inside its own namespace
    holder.start(QStringLiteral("unshare"), QStringList{"-pf", "--mount-proc", "--kill-child", "sh", "-c",
                                                       "echo $(($1 - 1)) > /proc/sys/kernel/ns_last_pid; \"$0\" \"$2\" & wait",
                                                       self, QString::number(dead), filter});
  else
    holder.start(self, {filter});
  QByteArray said;
  while (!said.contains("HELD") && holder.waitForReadyRead(30000)) said += holder.readAllStandardOutput();
  ASSERT_TRUE(said.contains("HELD")) << said.constData();
  const QStringList made = QDir(parent.path()).entryList({"ulvo-*"}, QDir::Dirs);
  ASSERT_EQ(made.size(), 5) << made.join(' ').toStdString();
  if (namespaced) {
    for (const QString& name : made) EXPECT_TRUE(name.contains(QStringLiteral("-%1-").arg(dead))) << name.toStdString();
  }

  // Look-alikes that no sweep may take: wrong shapes, another prefix, a
  // folder still being made (no lock file yet), and a link with our name.
  const QStringList kept = {QStringLiteral("ulvo-fit-%1-short").arg(dead), QStringLiteral("my-ulvo-fit-%1-aB3dE6").arg(dead),
                            QStringLiteral("ulvo-names-%1-aB3dE6").arg(dead)};
  for (const QString& name : kept) ASSERT_TRUE(QDir(parent.path()).mkpath(name));
  for (const QString& name : kept.mid(0, 2)) writeFile(parent.filePath(name + "/" + kFolderInUseFile), "");
  QTemporaryDir elsewhere;
  writeFile(elsewhere.filePath(QStringLiteral("precious.txt")), "keep");
  const QString link = parent.filePath(QStringLiteral("ulvo-fit-%1-LiNkEd").arg(dead));
  ASSERT_TRUE(QFile::link(elsewhere.path(), link));

  EXPECT_EQ(removeStaleOwnedTemporaryFolders(parent.path()), 0);
  holder.kill();
  ASSERT_TRUE(holder.waitForFinished(30000));
  int removed = 0;  // the kernel lets go of a killed process's locks as it reaps it
  for (int i = 0; i < 100 && removed < 5; ++i, QThread::msleep(50)) removed += removeStaleOwnedTemporaryFolders(parent.path());
  EXPECT_EQ(removed, 5);
  // The print folder with its sheets went like the others; the rest stayed.
  QStringList expected = kept + QStringList{QFileInfo(link).fileName()};
  expected.sort();
  EXPECT_EQ(QDir(parent.path()).entryList({"*ulvo-*"}, QDir::Dirs, QDir::Name), expected);
  EXPECT_TRUE(QFile::exists(elsewhere.filePath(QStringLiteral("precious.txt"))));
}

// Earlier versions kept no lock file in their folders and left signing
// requests beside them: both go once older than any run, and not before.
TEST(StaleLeftovers, LockFreeLeftoversOfEarlierVersionsGoAfterADay) {
  QTemporaryDir parent;
  const auto aged = [&](const QString& name, long seconds) {
    const QString path = parent.filePath(name);
    if (!name.endsWith(".json")) ASSERT_TRUE(QDir(parent.path()).mkpath(name + "/sub"));
    else writeFile(path, "{\"pkcs12Password\":\"secret\"}");
    const struct timeval when[2] = {{::time(nullptr) - seconds, 0}, {::time(nullptr) - seconds, 0}};
    ASSERT_EQ(::utimes(QFile::encodeName(path).constData(), when), 0);
  };
  for (const char* name : {"ulvo-sign-source-41-aB3dE6", "ulvo-sign-request-aB3dE6.json", "ulvo-sign-request-x.json"})
    aged(name, kLongestRunSeconds + 60);
  for (const char* name : {"ulvo-sign-source-42-aB3dE6", "ulvo-sign-request-xY7zW9.json"})
    aged(name, kLongestRunSeconds - 60);
  EXPECT_EQ(removeStaleOwnedTemporaryFolders(parent.path()), 2);
  EXPECT_EQ(QDir(parent.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
            QStringList({"ulvo-sign-request-x.json", "ulvo-sign-request-xY7zW9.json", "ulvo-sign-source-42-aB3dE6"}));
}

TEST(MemoryOnlyCopy, ReachesOnlyTheChildItIsHandedTo) {
  MemoryOnlyFile copy;
  ASSERT_TRUE(copy.create("%PDF-1.7 in the clear", nullptr));
  for (const bool handed : {false, true}) {
    QProcess child;
    if (handed) tieChildToThisProcess(&child, copy.descriptor());
    child.start(QStringLiteral("/bin/cat"), {copy.path()});
    EXPECT_EQ(child.waitForFinished() && child.readAllStandardOutput() == "%PDF-1.7 in the clear", handed);
  }
}
