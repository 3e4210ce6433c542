// A file whose name is not UTF-8 is reached through a readable link, and what
// is written beside it lands beside the real file, not in the link's folder.
#include "core/AtomicFileWrite.h"
#include "core/ForeignFileNames.h"
#include "core/SignatureService.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

TEST(ForeignFileNames, UnreadableNamesOpenAndOutputsGoBesideTheRealFile) {
  QTemporaryDir dir;
  const QByteArray raw = QFile::encodeName(dir.path()) + "/Gr\xfc\xdf" "e.pdf";  // Latin-1 "Grüße.pdf"
  const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "%PDF-1.4 content", 16), 16);
  ::close(fd);
  // Qt's own decoding loses the bytes and finds nothing.
  EXPECT_FALSE(QFile::exists(QFile::decodeName(raw)));

  const QString path = openablePathForArgument(raw);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
  EXPECT_EQ(file.readAll(), QByteArray("%PDF-1.4 content"));
  EXPECT_EQ(QFileInfo(path).fileName(), QStringLiteral("Gr\uFFFD\uFFFDe.pdf"));
  EXPECT_EQ(folderBeside(path), dir.path());
  EXPECT_EQ(SignatureService::defaultOutputPath(path, SignatureMode::EmbeddedPdf),
            dir.path() + QStringLiteral("/Gr\uFFFD\uFFFDe.signed.pdf"));

  // Readable names and missing files are passed on as they are.
  EXPECT_EQ(openablePathForArgument(QFile::encodeName(dir.filePath(QStringLiteral("обычный.pdf")))),
            dir.filePath(QStringLiteral("обычный.pdf")));
  EXPECT_EQ(folderBeside(dir.filePath(QStringLiteral("обычный.pdf"))), dir.path());
  EXPECT_EQ(openablePathForArgument("/nonexistent/\xff.pdf"), QFile::decodeName("/nonexistent/\xff.pdf"));

  // Kept in the settings as the real file, never as the link, and reopened
  // through a link of this run.
  const QString stored = storedFileName(path);
  EXPECT_FALSE(stored.contains(QLatin1String(kForeignNameFolderPrefix))) << stored.toStdString();
  QFile reopened(openablePathForStored(stored));
  ASSERT_TRUE(reopened.open(QIODevice::ReadOnly)) << stored.toStdString();
  EXPECT_EQ(reopened.readAll(), QByteArray("%PDF-1.4 content"));

  // Whatever comes to stand at the link's path, a save reaches the real file.
  const QString decoy = dir.filePath(QStringLiteral("decoy.pdf"));
  ASSERT_TRUE(QFile::remove(path) && QFile::link(decoy, path));
  QString error;
  ASSERT_TRUE(writeFileAtomically(path, QByteArray("%PDF-1.4 saved"), &error)) << error.toStdString();
  EXPECT_FALSE(QFile::exists(decoy));
  char saved[32] = {};
  const int in = ::open(raw.constData(), O_RDONLY);
  EXPECT_EQ(::read(in, saved, sizeof saved - 1), 14);
  ::close(in);
  EXPECT_STREQ(saved, "%PDF-1.4 saved");
  ::unlink(raw.constData());
  EXPECT_TRUE(openablePathForStored(stored).isEmpty());  // gone: nothing to open
}

// Only this process's own link folder is trusted: a link of the same shape in
// another run's folder (left behind, or made by another user of the shared
// temporary folder) places nothing beside its target and is never reopened.
TEST(ForeignFileNames, LinksOutsideThisRunsOwnFolderAreTrustedForNothing) {
  QTemporaryDir target;
  const QString victim = target.filePath(QStringLiteral("victim.pdf"));
  QFile file(victim);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("%PDF-1.4 victim");
  file.close();
  const QString holder = QDir(QDir::tempPath()).filePath(QStringLiteral("%1999999-aB3dE6/1").arg(QLatin1String(kForeignNameFolderPrefix)));
  ASSERT_TRUE(QDir().mkpath(holder));
  const QString planted = QDir(holder).filePath(QStringLiteral("Gr\uFFFD\uFFFDe.pdf"));
  ASSERT_TRUE(QFile::link(victim, planted));

  EXPECT_EQ(folderBeside(planted), holder);
  EXPECT_TRUE(ownLinkTarget(planted).isEmpty());
  EXPECT_TRUE(openablePathForStored(planted).isEmpty());
  EXPECT_EQ(storedFileName(planted), planted);
  // A file of our own is stored and reopened as it is.
  EXPECT_EQ(openablePathForStored(victim), victim);
  EXPECT_EQ(storedFileName(victim), victim);
  QDir(QFileInfo(holder).absolutePath()).removeRecursively();
}
