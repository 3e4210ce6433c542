// Collision-free sibling names never name an existing file.
#include "UniqueSiblingPath.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

void touch(const QString& path) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

}  // namespace

TEST(UniqueSiblingPath, NumbersTakenNamesLikeABrowser) {
  struct Case {
    QStringList existing;
    QString wanted;
    QString expected;
  };
  const QList<Case> cases = {
      {{}, "a.pdf", "a.pdf"},
      {{"a.pdf"}, "a.pdf", "a (1).pdf"},
      {{"a.pdf", "a (1).pdf"}, "a.pdf", "a (2).pdf"},
      {{"a.pdf", "a (2).pdf"}, "a.pdf", "a (1).pdf"},
      {{"archive.tar.gz"}, "archive.tar.gz", "archive.tar (1).gz"},
      {{"README"}, "README", "README (1)"},
      {{}, ".pdf", ".pdf.pdf"},
      {{}, "", "document"},
  };
  for (const Case& c : cases) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const QString& name : c.existing) touch(dir.filePath(name));
    const QString wanted = c.wanted.isEmpty() ? dir.path() + "/" : dir.filePath(c.wanted);
    EXPECT_EQ(uniqueSiblingPathLikeChrome(wanted), dir.filePath(c.expected)) << c.wanted.toStdString();
  }
}

TEST(UniqueSiblingPath, RelativePathsBecomeAbsolute) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  touch(dir.filePath("out.pdf"));
  const QString result = uniqueSiblingPathLikeChrome("out.pdf");
  QDir::setCurrent(previous);
  EXPECT_TRUE(QDir::isAbsolutePath(result));
  EXPECT_EQ(result, QDir(dir.path()).filePath("out (1).pdf"));
}

TEST(UniqueSiblingPath, NeverReturnsAnExistingPathPastTheNumberedRange) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  touch(dir.filePath("x.pdf"));
  for (int n = 1; n <= 9999; ++n) touch(dir.filePath(QStringLiteral("x (%1).pdf").arg(n)));
  const QString result = uniqueSiblingPathLikeChrome(dir.filePath("x.pdf"));
  EXPECT_FALSE(QFile::exists(result)) << result.toStdString();
  const QRegularExpression pattern(QRegularExpression::escape(dir.path()) + R"(/x \((\d+)\)\.pdf)");
  const QRegularExpressionMatch match = pattern.match(result);
  ASSERT_TRUE(match.hasMatch()) << result.toStdString();
  EXPECT_GT(match.captured(1).toLongLong(), 9999);
  EXPECT_LT(match.captured(1).toLongLong(), 1000000);
}
