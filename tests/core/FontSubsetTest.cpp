// Written fonts go in as subsets: on a real LaTeX manual one edited line adds
// a few kilobytes, later save sessions add small subsets, never the whole
// font again, and poppler reads the text and the subset tags back.
#include "PopplerOracles.h"
#include "RawPdf.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>

using namespace testsupport;

namespace {

const char* const kManual = "/usr/share/doc/gnuplot/gnuplot.pdf";

// The first block of the page with a line of at least `minLength` characters.
int longLineBlock(const std::vector<TextBlock>& blocks, int minLength) {
  for (size_t i = 0; i < blocks.size(); ++i)
    if (!blocks[i].isImage && blocks[i].lines.size() == 1 && blocks[i].text.size() >= minLength) return int(i);
  return -1;
}

// One save session: open, replace one body line of `page`, save in place.
bool editOneLine(const QString& path, int page, const QString& text) {
  PdfDocument doc;
  if (!doc.open(path)) return false;
  std::vector<TextBlock> blocks = doc.extractText(page);
  const int target = longLineBlock(blocks, 50);
  if (target < 0) return false;
  blocks[size_t(target)].text = text;
  blocks[size_t(target)].textEdited = true;
  return doc.overlayOcrText(page, blocks, false) && doc.save(path);
}

QStringList fontRows(const QString& path, const QString& kind) {
  QByteArray out;
  EXPECT_EQ(runTool("pdffonts", {path}, &out), 0);
  return QString::fromUtf8(out).split(QLatin1Char('\n')).filter(kind);
}

// Three pages of a long line in Times to edit, and a page in two
// byte-identical Helvetica dictionaries of the file's own; the fonts are hung
// with a chain of `depth` references.
bool writeLinesAndOwnFonts(const QString& path, int depth) {
  QStringList objects = {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R 6 0 R] /Count 4 >>"};
  for (int contents = 7; contents <= 10; ++contents)
    objects << QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 11 0 R "
                              "/F2 12 0 R /F3 13 0 R >> >> /Contents %1 0 R >>").arg(contents);
  for (int i = 0; i < 3; ++i)
    objects << handwritten::stream(textLine("F3", 12, 72, 700, "A line of this page that is long enough to be edited"));
  objects << handwritten::stream(textLine("F1", 12, 72, 700, "One") + textLine("F2", 12, 72, 600, "Two"));
  for (const char* name : {"Helvetica", "Helvetica", "Times-Roman"})
    objects << QStringLiteral("<< /Type /Font /Subtype /Type1 /BaseFont /%1 /Encoding /WinAnsiEncoding /Chain 14 0 R >>")
                   .arg(QLatin1String(name));
  for (int i = 1; i < depth; ++i) objects << QStringLiteral("[%1 0 R]").arg(objects.size() + 2);
  return handwritten::writePdf(path, objects << "[]");
}

}  // namespace

TEST(FontSubset, SessionsKeepEachSubsetOnceTheFilesOwnFontsAndADeepChain) {
  if (!hasTool("pdffonts") || !hasTool("pdftotext") || !hasTool("qpdf"))
    GTEST_SKIP() << "poppler-utils or qpdf missing";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (const int depth : {1, 20000}) {
    SCOPED_TRACE(depth);
    const QString path = dir.filePath(QStringLiteral("own%1.pdf").arg(depth));
    ASSERT_TRUE(writeLinesAndOwnFonts(path, depth));
    // Latin on two pages embeds one subset twice, Cyrillic another.
    const QString texts[] = {QStringLiteral("A first edited line with ZEBRA words in it, long too"),
                             QStringLiteral("A second edited line with ZEBRA words in it, long too"),
                             QStringLiteral("Третья правка: строка по-русски и ZEBRA, тоже длинная")};
    for (int page = 0; page < 3; ++page) {
      ASSERT_TRUE(editOneLine(path, page, texts[page]));
      EXPECT_EQ(oracles::pageText(path, page).count(texts[page]), 1) << oracles::pageText(path, page).toStdString();
      EXPECT_TRUE(oracles::qpdfCheckPasses(path));
      EXPECT_EQ(oracles::repeatedFontPrograms(path), 0) << "after the edit of page " << page;
    }
    QByteArray out;
    ASSERT_EQ(runTool("pdffonts", {path}, &out), 0);
    const QStringList rows = QString::fromUtf8(out).split(QLatin1Char('\n'));
    // At most one subset a session: the typed words of a kept line in the
    // face closest to Times, the Cyrillic line written anew whole.
    QStringList subsets;
    for (const QString& row : rows.filter(QRegularExpression(QStringLiteral("^[A-Z]{6}\\+"))))
      subsets << row.section(QLatin1Char(' '), 0, 0);
    EXPECT_GE(subsets.size(), 2) << out.toStdString();
    EXPECT_LE(subsets.size(), 3) << out.toStdString();
    EXPECT_EQ(subsets.removeDuplicates(), 0) << out.toStdString();
    EXPECT_EQ(rows.filter(QRegularExpression(QStringLiteral("^Helvetica "))).size(), 2) << out.toStdString();
  }
}

TEST(FontSubset, EditsOfARealManualAddKilobytesPerSession) {
  if (!QFile::exists(QString::fromLatin1(kManual))) GTEST_SKIP() << "gnuplot-doc missing";
  if (!hasTool("pdffonts") || !hasTool("pdftotext") || !hasTool("qpdf"))
    GTEST_SKIP() << "poppler-utils or qpdf missing";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("manual.pdf"));
  ASSERT_TRUE(QFile::copy(QString::fromLatin1(kManual), path));
  // Measured against the manual as installed: saving must not unpack its
  // object streams, and each edit adds only its page and a font subset.
  const qint64 original = QFileInfo(path).size();

  const struct {
    int page;
    QString text;
  } sessions[] = {{4, QStringLiteral("An edited line of the manual with ZEBRA words")},
                  {5, QStringLiteral("Вторая правка: строка по-русски и QUAGGA")},
                  {6, QStringLiteral("A third session adds bold-free text OKAPI")}};
  qint64 previous = original;
  for (const auto& session : sessions) {
    SCOPED_TRACE(session.text.toStdString());
    ASSERT_TRUE(editOneLine(path, session.page, session.text));
    const qint64 size = QFileInfo(path).size();
    EXPECT_LT(size - previous, 60 * 1024) << "one edited line grew the file by " << (size - previous) << " bytes";
    std::printf("session grew the file by %lld bytes\n", (long long)(size - previous));
    previous = size;
    EXPECT_TRUE(oracles::qpdfCheckPasses(path));
    EXPECT_EQ(oracles::pageText(path, session.page).count(session.text.section(QLatin1Char(' '), -1)), 1);
  }
  EXPECT_LT(previous - original, 180 * 1024) << "three sessions grew the file by " << (previous - original);

  // Each session's font is a tagged, embedded subset; none is the whole file.
  // The manual's own fonts are Type 1; the sessions' are Type 0 of two-byte codes.
  const QStringList rows = fontRows(path, QStringLiteral("Identity-H"));
  ASSERT_FALSE(rows.isEmpty());
  for (const QString& row : rows) {
    const QStringList cells = row.simplified().split(QLatin1Char(' '));
    ASSERT_GE(cells.size(), 6) << row.toStdString();
    EXPECT_TRUE(cells[0].contains(QRegularExpression(QStringLiteral("^[A-Z]{6}\\+")))) << row.toStdString();
    EXPECT_EQ(cells.mid(cells.size() - 5, 2), QStringList({QStringLiteral("yes"), QStringLiteral("yes")}))
        << row.toStdString();
  }
}

TEST(FontSubset, ASubsetGrowsWhenLaterTextNeedsNewGlyphs) {
  if (!hasTool("pdftotext") || !hasTool("pdffonts")) GTEST_SKIP() << "poppler-utils missing";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString source = dir.filePath(QStringLiteral("blank.pdf"));
  ASSERT_TRUE(writePdf(source, {PageSpec{QStringLiteral("Page"), false, {595, 842}}}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  // Latin first, then Greek and Cyrillic: the later notes need glyphs the
  // first subset lacks and must still extract as typed.
  const QStringList notes = {QStringLiteral("Plain note"), QStringLiteral("Ελληνικά γράμματα"),
                             QStringLiteral("Ещё заметка"), QStringLiteral("Plain again")};
  for (int i = 0; i < notes.size(); ++i)
    ASSERT_TRUE(doc.addFreeText(0, QRectF(60, 700 - 40 * i, 400, 20), notes[i], QString(), 14, Qt::black));
  const QString saved = dir.filePath(QStringLiteral("notes.pdf"));
  ASSERT_TRUE(doc.saveCopy(saved));
  const QString text = oracles::pageText(saved, 0);
  for (const QString& note : notes) EXPECT_EQ(text.count(note), 1) << text.toStdString();
  EXPECT_LT(QFileInfo(saved).size(), 120 * 1024);
  const QStringList dejaVu = fontRows(saved, QStringLiteral("DejaVuSerif"));
  EXPECT_LE(dejaVu.size(), 3) << dejaVu.join('\n').toStdString();
}

