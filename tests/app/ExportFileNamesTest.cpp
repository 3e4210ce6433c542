// Derived PDF names in the interface language, the extraction field's page
// list and the shell actions' file checks: plain functions, no window.
#include "ExportFileNames.h"
#include "PageListParsing.h"
#include "ShellActionFiles.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

class LanguageScope {
 public:
  explicit LanguageScope(const char* code) { qApp->setProperty("uiLanguage", QString::fromUtf8(code)); }
  ~LanguageScope() { qApp->setProperty("uiLanguage", QVariant()); }
};

}  // namespace

TEST(ExportFileNames, WordsOfTheThreeKindsInEnglishAndRussian) {
  struct Case {
    const char* language;
    const char* kind;
    const char* word;
  };
  const QList<Case> cases = {
      {"ru", "compressed", "сжатый"}, {"ru", "merged", "объединённый"}, {"ru", "scanned", "сканированный"},
      {"en", "compressed", "compressed"}, {"en", "merged", "merged"}, {"en", "scanned", "scanned"},
      {"sv", "merged", "merged"},   // a language without words falls back to English
      {"en", "signed", "scanned"},  // any other kind uses the scanned words
      {"uk", "merged", "об'єднаний"}, {"zh", "compressed", "压缩"}};
  for (const Case& c : cases) {
    LanguageScope language(c.language);
    EXPECT_EQ(localizedExportSuffix(QString::fromUtf8(c.kind)), QString::fromUtf8(c.word)) << c.language << c.kind;
  }
}

TEST(ExportFileNames, PathsGetTheWordOnceAndAlwaysEndInPdf) {
  {
    LanguageScope language("ru");
    const QString once = withLocalizedPdfSuffix(QStringLiteral("/tmp/report.pdf"), QStringLiteral("compressed"));
    EXPECT_EQ(once, QStringLiteral("/tmp/report_сжатый.pdf"));
    EXPECT_EQ(withLocalizedPdfSuffix(once, QStringLiteral("compressed")), once);
    EXPECT_EQ(withLocalizedPdfSuffix(QStringLiteral("/tmp/scan.tiff"), QStringLiteral("scanned")),
              QStringLiteral("/tmp/scan_сканированный.pdf"));
  }
  LanguageScope language("en");
  EXPECT_EQ(withLocalizedPdfSuffix(QStringLiteral("/tmp/report_COMPRESSED.pdf"), QStringLiteral("compressed")),
            QStringLiteral("/tmp/report_COMPRESSED.pdf"));
  EXPECT_EQ(withLocalizedPdfSuffix(QStringLiteral("/data/photo.final.png"), QStringLiteral("merged")),
            QStringLiteral("/data/photo.final_merged.pdf"));
  EXPECT_EQ(withLocalizedPdfSuffix(QStringLiteral("notes.txt"), QStringLiteral("merged")),
            QDir::current().filePath(QStringLiteral("notes_merged.pdf")));
  EXPECT_EQ(withLocalizedPdfSuffix(QString(), QStringLiteral("merged")),
            QDir::home().filePath(QStringLiteral("document_merged.pdf")));
  EXPECT_EQ(suggestedSiblingPdfPath(QStringLiteral("/srv/in/a.pdf"), QStringLiteral("merged"), QStringLiteral("x")),
            QStringLiteral("/srv/in/a_merged.pdf"));
  EXPECT_EQ(suggestedSiblingPdfPath(QStringLiteral("/srv/in/   .pdf"), QStringLiteral("merged"),
                                    QStringLiteral("merged")),
            QStringLiteral("/srv/in/merged_merged.pdf"));
}

TEST(PageListParsing, ListsFollowTheWrittenOrderWithinThePageCount) {
  struct Case {
    const char* text;
    int pages;
    QList<int> expected;
  };
  const QList<Case> cases = {
      {"1-3,5", 10, {0, 1, 2, 4}},
      {"1, 3-5, 7", 10, {0, 2, 3, 4, 6}},
      {"3, 1-2, 3", 10, {2, 0, 1, 2}},
      {"-4", 10, {0, 1, 2, 3}},
      {"5-", 10, {}},
      {"2-100", 4, {1, 2, 3}},
      {"0, 11, x, ,", 10, {}},
      {"4-2", 10, {}},
      {" 2 - 3 - 9 ", 10, {1, 2}},
      {"", 10, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(parsePageList(QString::fromUtf8(c.text), c.pages), c.expected) << c.text;
  EXPECT_EQ(distinctPagesDescending({4, 1, 4, 0, 1}), (QList<int>{4, 1, 0}));
}

TEST(ShellActionFiles, MissingFoldersAndRepeatsAreRefusedOrFolded) {
  QTemporaryDir dir;
  const auto write = [&dir](const char* name, const QByteArray& bytes) {
    QFile file(dir.filePath(QString::fromUtf8(name)));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName();
  };
  const QString pdf = write("a.pdf", "%PDF-1.7\n%%EOF\n");
  const QString late = write("scan.bin", QByteArray(1000, ' ') + "%PDF-1.4");
  const QString fake = write("fake.pdf", "just text");
  const QString far = write("far.pdf", QByteArray(2100, ' ') + "%PDF-1.4");
  const ShellActionFiles given = collectShellActionFiles(
      {pdf, dir.filePath(QStringLiteral("gone.pdf")), dir.path(), pdf, QDir::current().relativeFilePath(pdf), late});
  EXPECT_EQ(given.files, (QList<QString>{pdf, late}));
  ASSERT_EQ(given.refused.size(), 2);
  EXPECT_EQ(given.refused.at(0), QStringLiteral("gone.pdf — файл не найден"));
  EXPECT_TRUE(given.refused.at(1).endsWith(QStringLiteral("не обычный файл")));

  EXPECT_TRUE(hasPdfSignature(late));
  QString reason;
  EXPECT_FALSE(hasPdfSignature(fake, &reason));
  EXPECT_EQ(reason, QStringLiteral("не PDF по содержимому"));
  EXPECT_FALSE(hasPdfSignature(far));
  EXPECT_TRUE(isSupportedMergeFile(QStringLiteral("photo.JPG")));
  EXPECT_TRUE(isSupportedMergeFile(QStringLiteral("sheet.xlsx")));
  EXPECT_FALSE(isSupportedMergeFile(QStringLiteral("b.txt")));
  EXPECT_FALSE(isSupportedMergeFile(QStringLiteral("a.pdf.zip")));
}
