// A file whose name is not UTF-8 is reached through a readable link, and what
// is written beside it lands beside the real file, not in the link's folder.
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
  ::unlink(raw.constData());
}
