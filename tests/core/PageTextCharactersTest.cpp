// Copied and exported page text holds letters, not pdfium's control codes:
// checked on pages of the gnuplot manual (TeX's hyphenation and ligatures)
// against pdftotext, and on the joining of selected lines.
#include "PopplerOracles.h"
#include "TestSupport.h"
#include "core/PageTextCharacters.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

using namespace testsupport;

namespace {

const QString kManual = QStringLiteral("/usr/share/doc/gnuplot/gnuplot.pdf");

bool holdsControlCharacters(const QString& text) {
  return std::any_of(text.begin(), text.end(), [](QChar c) {
    return c.category() == QChar::Other_Control && c != QLatin1Char('\n') && c != QLatin1Char('\t') &&
           c != QLatin1Char('\r');
  });
}

}  // namespace

TEST(PageTextCharacters, ManualPagesReadLikePdftotext) {
  if (!QFile::exists(kManual) || !hasTool("pdftotext")) GTEST_SKIP() << "gnuplot-doc or poppler-utils missing";
  PdfDocument doc;
  ASSERT_TRUE(doc.open(kManual));
  // Pages (from 1) with words broken at line ends: "Marquardt-|Levenberg",
  // "com-|pletes", "iso-|surface", "vari-|able".
  for (int page : {23, 59, 93, 99}) {
    SCOPED_TRACE(page);
    const QString text = doc.extractAllText(page - 1);
    EXPECT_FALSE(holdsControlCharacters(text));
    for (const TextBlock& block : doc.extractText(page - 1)) EXPECT_FALSE(holdsControlCharacters(block.text));
    // Every word poppler reads, hyphen-joined ones included, is in our text.
    const QString poppler = oracles::pageText(kManual, page - 1);
    static const QRegularExpression word(QStringLiteral("\\b[A-Za-z]{3,}\\b"));
    int words = 0;
    for (auto it = word.globalMatch(poppler); it.hasNext(); ++words) {
      const QString w = it.next().captured();
      EXPECT_TRUE(text.contains(w)) << w.toStdString();
    }
    EXPECT_GT(words, 100);
  }
  EXPECT_TRUE(doc.extractAllText(92).contains(QStringLiteral("MarquardtLevenberg")));
}

TEST(PageTextCharacters, LigaturesAndControlCodesBecomeLetters) {
  const struct {
    char32_t code;
    QString letters;
  } cases[] = {{0xFB01, "fi"},  {0xFB03, "ffi"}, {0x0C, "fi"}, {0x0E, "ffi"}, {0x1B, "ff"}, {0x1F, "ffl"},
               {0x14, ""},      {0x15, ""},      {0x02, "-"},  {0x7F, ""},   {'\t', "\t"}, {0x44F, "я"},
               {0x1F600, QString::fromUcs4(U"\U0001F600", 1)}};
  for (const auto& c : cases) EXPECT_EQ(lettersOfCode(c.code), c.letters) << std::hex << unsigned(c.code);
}

TEST(PageTextCharacters, SelectedLinesJoinHyphenatedWords) {
  const struct {
    QString text, next, joined;
  } cases[] = {{"", "first", "first"},
               {"the pack-", "ages arrive", "the packages arrive"},
               {"Marquardt-", "Levenberg", "MarquardtLevenberg"},
               {"pages 1-", "2 and 3", "pages 1-\n2 and 3"},
               {"a dash -", "then", "a dash -\nthen"},
               {"ends with a blank ", "next", "ends with a blank next"},
               {"line one", "line two", "line one\nline two"}};
  for (const auto& c : cases) {
    QString text = c.text;
    appendNextLine(text, c.next);
    EXPECT_EQ(text, c.joined);
  }
}
