// Page text and search, checked against poppler's reading of the same pages.
#include "HandWrittenPdf.h"
#include "PopplerOracles.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

using namespace testsupport;

namespace {

int occurrences(const QString& text, const QRegularExpression& expression) {
  int count = 0;
  for (auto it = expression.globalMatch(text); it.hasNext(); it.next()) ++count;
  return count;
}

class SearchTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    file = dir.filePath("words.pdf");
    ASSERT_TRUE(writePdf(file, {{"Word word WORD sword wordy Words\nСлово слово СЛОВО словом\nword again: word"},
                                {"second page with one word"}}));
    ASSERT_TRUE(doc.open(file));
  }
  QTemporaryDir dir;
  QString file;
  PdfDocument doc;
};

}  // namespace

TEST_F(SearchTest, HitCountsEqualOccurrencesInPdftotext) {
  using Opt = PdfDocument::FindOptions;
  struct Case {
    QString query;
    Opt options;
    QString oraclePattern;  // counted in pdftotext's text
    bool oracleCaseSensitive;
  };
  const Case cases[] = {
      {"word", {}, "word", false},
      {"word", {true, false, false}, "word", true},
      {"word", {false, true, false}, R"((?<![\p{L}\p{N}])word(?![\p{L}\p{N}]))", false},
      {"Word", {true, true, false}, R"((?<![\p{L}\p{N}])Word(?![\p{L}\p{N}]))", true},
      {"слово", {}, "слово", false},
      {"слово", {false, true, false}, R"((?<![\p{L}\p{N}])слово(?![\p{L}\p{N}]))", false},
      {"w[a-z]rds?", {false, false, true}, "w[a-z]rds?", false},
      {"W\\w+", {true, false, true}, "W\\w+", true},
      {"(word|слово)\\b", {false, false, true}, "(word|слово)\\b", false},
      {"again", {false, false, true}, "again", false},
  };
  for (int page = 0; page < 2; ++page) {
    const QString text = oracles::pageText(file, page);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.query.toStdString() + " page " + std::to_string(page));
      const QRegularExpression oracle(c.oraclePattern, c.oracleCaseSensitive
                                                           ? QRegularExpression::NoPatternOption
                                                           : QRegularExpression::CaseInsensitiveOption);
      const QList<QRectF> hits = doc.findTextWithOptions(page, c.query, c.options);
      EXPECT_EQ(hits.size(), occurrences(text, oracle));
      // Every hit is a distinct place on the page, inside the page.
      QSet<QString> distinct;
      const QRectF pageRect(QPointF(0, 0), doc.pageSize(page));
      for (const QRectF& r : hits) {
        distinct.insert(QStringLiteral("%1,%2").arg(r.x()).arg(r.y()));
        EXPECT_TRUE(pageRect.contains(r));
      }
      EXPECT_EQ(distinct.size(), hits.size());
    }
  }
  EXPECT_EQ(doc.findText(0, "word"), doc.findTextWithOptions(0, "word", {}));
}

TEST_F(SearchTest, ExpressionHitsAreThePlainHitsOfTheSameText) {
  // A case-sensitive expression finds exactly the places plain case-sensitive search finds.
  EXPECT_EQ(doc.findTextWithOptions(0, "Word", {true, false, true}), doc.findTextWithOptions(0, "Word", {true, false, false}));
  EXPECT_EQ(doc.findTextWithOptions(0, "word", {false, false, true}), doc.findText(0, "word"));
  // An expression matching across letters of different words gives one box spanning them.
  const QList<QRectF> span = doc.findTextWithOptions(0, "sword wordy", {false, false, true});
  ASSERT_EQ(span.size(), 1);
  const QList<QRectF> sword = doc.findText(0, "sword");
  const QList<QRectF> wordy = doc.findText(0, "wordy");
  ASSERT_EQ(sword.size(), 1);
  ASSERT_EQ(wordy.size(), 1);
  EXPECT_NEAR(span[0].left(), sword[0].left(), 0.01);
  EXPECT_NEAR(span[0].right(), wordy[0].right(), 0.01);
}

TEST_F(SearchTest, NothingToFindGivesNothing) {
  using Opt = PdfDocument::FindOptions;
  EXPECT_TRUE(doc.findText(0, QString()).isEmpty());
  EXPECT_TRUE(doc.findText(0, "absent").isEmpty());
  EXPECT_TRUE(doc.findText(5, "word").isEmpty());
  EXPECT_TRUE(doc.findText(-1, "word").isEmpty());
  EXPECT_TRUE(doc.findTextWithOptions(0, "wor[d", Opt{false, false, true}).isEmpty());
  EXPECT_TRUE(doc.findTextWithOptions(0, "x*", Opt{false, false, true}).isEmpty());
  EXPECT_TRUE(doc.findTextWithOptions(0, "wor", Opt{false, true, false}).isEmpty());
  PdfDocument closed;
  EXPECT_TRUE(closed.findText(0, "word").isEmpty());
  EXPECT_TRUE(closed.extractAllText(0).isEmpty());
  EXPECT_TRUE(closed.extractAllTextAllPages().isEmpty());
}

TEST_F(SearchTest, PlainTextAgreesWithPdftotextAndJoinsPagesWithOneLineFeed) {
  const auto words = [](const QString& s) { return s.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts); };
  for (int page = 0; page < 2; ++page)
    EXPECT_EQ(words(doc.extractAllText(page)), words(oracles::pageText(file, page))) << page;
  EXPECT_EQ(doc.extractAllTextAllPages(), doc.extractAllText(0) + "\n" + doc.extractAllText(1));
  EXPECT_FALSE(doc.extractAllTextAllPages().endsWith('\n'));
}

// Characters without text are left out of the page text and characters beyond
// the basic plane take two UTF-16 units: matches after them must still land
// on their own characters.
TEST_F(SearchTest, ExpressionHitsStayInPlaceAfterWideAndUnmappedCharacters) {
  // The font's A and B read as U+1D400 and U+1D401 (mathematical bold A and B), C as nothing.
  const QByteArray cmap =
      "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /Wide def "
      "1 begincodespacerange <00> <FF> endcodespacerange "
      "3 beginbfchar <41> <D835DC00> <42> <D835DC01> <43> <0000> endbfchar endcmap "
      "CMapName currentdict /CMap defineresource pop end end";
  const QString wide = dir.filePath("wide.pdf");
  ASSERT_TRUE(handwritten::writePdf(
      wide, {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 300] /Resources << /Font << /F1 4 0 R >> >> "
             "/Contents 5 0 R >>",
             "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /ToUnicode 6 0 R >>",
             handwritten::stream("BT /F1 20 Tf 40 200 Td (ABCBA word ABCBA word) Tj ET"), handwritten::stream(cmap)}));
  PdfDocument wideDoc;
  ASSERT_TRUE(wideDoc.open(wide));
  const QString bold = QString::fromUcs4(U"\U0001D400\U0001D401\U0001D401\U0001D400");
  ASSERT_TRUE(wideDoc.extractAllText(0).contains(bold)) << "the fixture lost its wide characters";
  const QList<QRectF> plain = wideDoc.findText(0, "word");
  ASSERT_EQ(plain.size(), 2);
  EXPECT_EQ(wideDoc.findTextWithOptions(0, "w.rd", {false, false, true}), plain);
  // A match of wide characters covers their glyphs and what lies between.
  const QList<QRectF> pairs = wideDoc.findTextWithOptions(0, QString::fromUcs4(U"\U0001D401\U0001D401"), {false, false, true});
  ASSERT_EQ(pairs.size(), 2);
  EXPECT_LT(pairs[0].right(), plain[0].left());
  EXPECT_LT(pairs[1].right(), plain[1].left());
  EXPECT_GT(pairs[1].left(), plain[0].right());
}

// On a turned page with a crop box away from the origin, hits sit where poppler
// sees the words on the shown page.
TEST(SearchPlacement, HitsOnATurnedCroppedPageMatchPopplerBoxes) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (int rotate : {0, 90, 180, 270}) {
    SCOPED_TRACE(rotate);
    const QString file = dir.filePath(QStringLiteral("turned%1.pdf").arg(rotate));
    ASSERT_TRUE(handwritten::writePdf(
        file, {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
               QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 600] /CropBox [50 100 350 500] "
                              "/Rotate %1 /Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R >>")
                   .arg(rotate),
               "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
               handwritten::stream("BT /F1 20 Tf 100 300 Td (marker text) Tj ET "
                                   "BT /F1 14 Tf 200 150 Td (corner) Tj ET")}));
    PdfDocument doc;
    ASSERT_TRUE(doc.open(file));
    const double shownHeight = doc.pageSize(0).height();
    for (const QString word : {"marker", "corner"}) {
      const QList<QRectF> ours = doc.findText(0, word);
      const QList<QRectF> poppler = oracles::wordBoxes(file, 0, word, shownHeight);
      ASSERT_EQ(ours.size(), 1) << word.toStdString();
      ASSERT_EQ(poppler.size(), 1) << word.toStdString();
      const QRectF theirs = poppler[0];
      EXPECT_TRUE(theirs.contains(ours[0].center())) << word.toStdString();
      EXPECT_TRUE(ours[0].adjusted(-2, -2, 2, 2).contains(theirs.center())) << word.toStdString();
    }
  }
}
