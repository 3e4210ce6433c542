// The page's own text as blocks: line cutting, run splitting, styles and
// colours, reading order, turned pages, and word-level agreement with
// pdftotext on real documents.
#include "PopplerOracles.h"
#include "RawPdf.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"
#include "core/TurnedRect.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace testsupport;

namespace {

std::vector<TextBlock> extractFirstPage(const QString& path) {
  PdfDocument doc;
  EXPECT_TRUE(doc.open(path)) << doc.lastError().toStdString();
  return doc.extractText(0);
}

// Writes the page and reads its blocks back through `doc`, which stays open.
std::vector<TextBlock> writeAndExtract(PdfDocument& doc, const QString& file, const RawPage& page) {
  EXPECT_TRUE(writeRawPdf(file, {page}));
  EXPECT_TRUE(doc.open(file)) << doc.lastError().toStdString();
  return doc.extractText(0);
}

QStringList blockTexts(const std::vector<TextBlock>& blocks) {
  QStringList texts;
  for (const TextBlock& b : blocks) texts << b.text;
  return texts;
}

// Canonically composed, so that an accent given apart compares equal.
QStringList wordsOf(const QString& text) {
  return text.normalized(QString::NormalizationForm_C).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

// Length of the longest common subsequence: words found in the same order.
int commonInOrder(const QStringList& a, const QStringList& b) {
  std::vector<int> row(size_t(b.size()) + 1, 0);
  for (const QString& x : a) {
    int diagonal = 0;
    for (qsizetype j = 1; j <= b.size(); ++j) {
      const int up = row[size_t(j)];
      row[size_t(j)] = x == b[j - 1] ? diagonal + 1 : std::max(row[size_t(j)], row[size_t(j - 1)]);
      diagonal = up;
    }
  }
  return row.back();
}

QStringList pdftotextWords(const QString& path, int page) { return wordsOf(oracles::pageText(path, page, {"-raw"})); }

class TextExtraction : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    if (!hasTool("pdftotext")) GTEST_SKIP() << "pdftotext missing";
  }
  QString path(const QString& name) const { return dir.filePath(name); }
  QTemporaryDir dir;
};

struct RawCase {
  const char* name;
  QByteArray content;
  QStringList expectedTexts;
};

TEST_F(TextExtraction, LinesAndRunsAreCutWhereTheTextBreaks) {
  const QList<RawCase> cases = {
      {"empty page", "0 0 1 rg 50 50 100 100 re f\n", {}},
      {"one line", textLine("F1", 12, 72, 700, "Hello World"), {"Hello World"}},
      {"wide gap splits", textLine("F1", 12, 72, 700, "Left") + textLine("F1", 12, 300, 700, "Right"),
       {"Left", "Right"}},
      {"narrow gap keeps blanks",
       "BT /F1 12 Tf 72 700 Td (Total:) Tj 40 0 Td (100) Tj ET\n", {"Total: 100"}},
      {"top line first", textLine("F1", 12, 72, 650, "second") + textLine("F1", 12, 72, 700, "first"),
       {"first", "second"}},
      {"same height left to right",
       textLine("F1", 12, 300, 701.5, "right") + textLine("F1", 12, 72, 700, "left"), {"left", "right"}},
      {"column jump back", "BT /F1 12 Tf 300 700 Td (Column two) Tj -228 0 Td (Column one) Tj ET\n",
       {"Column one", "Column two"}},
      {"next line", "BT /F1 12 Tf 14 TL 72 700 Td (abc) Tj T* (def) Tj ET\n", {"abc", "def"}},
      {"blanks only dropped", textLine("F1", 12, 72, 700, "    "), {}},
  };
  for (const RawCase& c : cases) {
    SCOPED_TRACE(c.name);
    const QString file = path(QStringLiteral("case.pdf"));
    ASSERT_TRUE(writeRawPdf(file, {{c.content}}));
    const std::vector<TextBlock> blocks = extractFirstPage(file);
    QStringList texts = blockTexts(blocks);
    for (QString& t : texts) t = t.simplified();
    EXPECT_EQ(texts, c.expectedTexts);
    for (const TextBlock& b : blocks) {
      ASSERT_EQ(b.lines.size(), 1u);
      EXPECT_EQ(b.rect, b.originalRect);
      EXPECT_EQ(b.rect, b.lines[0].rect);
      EXPECT_EQ(b.page, 0);
      EXPECT_FALSE(b.lines[0].words.empty());
    }
  }
}

TEST_F(TextExtraction, StylesComeFromFontsAndInk) {
  struct StyleCase {
    const char* name;
    QByteArray content;
    QString family;
    bool bold, italic, transparent;
    QColor color;
  };
  const QList<StyleCase> cases = {
      {"plain", textLine("F1", 14, 72, 700, "Plain words"), "Helvetica", false, false, false, Qt::black},
      {"bold", textLine("F2", 14, 72, 700, "Bold words"), "Helvetica Bold", true, false, false, Qt::black},
      {"italic", textLine("F3", 14, 72, 700, "Italic words"), "Times Italic", false, true, false, Qt::black},
      {"subset tag", textLine("F4", 14, 72, 700, "Tagged words"), "Noto Sans Bold", true, false, false, Qt::black},
      {"red fill", "1 0 0 rg " + textLine("F2", 20, 72, 700, "Red words"), "Helvetica Bold", true, false, false,
       QColor(255, 0, 0)},
      // Stroked red outlines over a black fill colour: the ink decides.
      {"red outline", "0 0 0 rg 1 0 0 RG 1 w 1 Tr " + textLine("F2", 30, 72, 700, "Outline"), "Helvetica Bold",
       true, false, false, QColor(255, 0, 0)},
      {"invisible", "3 Tr " + textLine("F1", 14, 72, 700, "Hidden layer"), "Helvetica", false, false, true,
       Qt::black},
      {"alpha 0", "/A0 gs " + textLine("F1", 14, 72, 700, "Clear layer"), "Helvetica", false, false, true,
       Qt::black},
  };
  for (const StyleCase& c : cases) {
    SCOPED_TRACE(c.name);
    const QString file = path(QStringLiteral("style.pdf"));
    ASSERT_TRUE(writeRawPdf(file, {{c.content}}));
    const std::vector<TextBlock> blocks = extractFirstPage(file);
    ASSERT_EQ(blocks.size(), 1u);
    const TextBlock& b = blocks[0];
    EXPECT_EQ(b.fontFamily, c.family);
    EXPECT_EQ(b.bold, c.bold);
    EXPECT_EQ(b.italic, c.italic);
    EXPECT_EQ(b.transparentText, c.transparent);
    const QColor got = b.color;
    EXPECT_GT(c.color.red() ? got.red() : 255 - got.red(), 200) << got.name().toStdString();
    EXPECT_LT(got.green(), 60) << got.name().toStdString();
    EXPECT_LT(got.blue(), 60) << got.name().toStdString();
    ASSERT_FALSE(b.lines[0].spans.empty());
    EXPECT_EQ(b.lines[0].spans[0].color, b.color);
    EXPECT_GT(b.fontSize, 13.0f);
  }
}

TEST_F(TextExtraction, StyleChangesInsideALineBecomeSpans) {
  const QString file = path(QStringLiteral("spans.pdf"));
  ASSERT_TRUE(writeRawPdf(file, {{"BT /F1 14 Tf 72 700 Td (Amount ) Tj /F2 14 Tf (due) Tj ET\n"}}));
  const std::vector<TextBlock> blocks = extractFirstPage(file);
  ASSERT_EQ(blocks.size(), 1u);
  const auto& spans = blocks[0].lines[0].spans;
  ASSERT_EQ(spans.size(), 2u);
  EXPECT_FALSE(spans[0].bold);
  EXPECT_TRUE(spans[1].bold);
  EXPECT_EQ(spans[1].text.trimmed(), QStringLiteral("due"));
  ASSERT_EQ(blocks[0].lines[0].words.size(), 2u);
}

// Turned and offset pages: blocks sit where poppler places the words on the
// page as shown, and lines stay horizontal.
TEST_F(TextExtraction, BlocksLieInTheShownPageSpace) {
  struct SpaceCase {
    const char* name;
    RawPage page;
  };
  const QList<SpaceCase> cases = {
      {"upright", {textLine("F1", 16, 100, 600, "Upright text here")}},
      {"rotate 90", {"BT /F1 16 Tf 0 1 -1 0 200 100 Tm (Turned text here) Tj ET\n", {595, 842}, 90}},
      {"rotate 270", {"BT /F1 16 Tf 0 -1 1 0 400 700 Tm (Other way round) Tj ET\n", {595, 842}, 270}},
      {"rotate 180", {"BT /F1 16 Tf -1 0 0 -1 500 300 Tm (Upside down page) Tj ET\n", {595, 842}, 180}},
      {"rotate 90, offset crop box",
       {"BT /F1 16 Tf 0 1 -1 0 200 150 Tm (Cropped turned text) Tj ET\n", {595, 842}, 90,
        "/CropBox [40 60 555 800]"}},
  };
  for (const SpaceCase& c : cases) {
    SCOPED_TRACE(c.name);
    const QString file = path(QStringLiteral("space.pdf"));
    PdfDocument doc;
    const std::vector<TextBlock> blocks = writeAndExtract(doc, file, c.page);
    ASSERT_EQ(blocks.size(), 1u);
    const QRectF rect = blocks[0].rect;
    EXPECT_GT(rect.width(), 3 * rect.height());
    QRectF expected;
    const QStringList words = blocks[0].text.split(QLatin1Char(' '));
    ASSERT_EQ(words.size(), 3);
    for (const QString& word : words) {
      const QList<QRectF> boxes = oracles::wordBoxes(file, 0, word, doc.pageSize(0).height());
      ASSERT_EQ(boxes.size(), 1) << word.toStdString();
      expected = expected.isNull() ? boxes[0] : expected.united(boxes[0]);
    }
    EXPECT_NEAR(rect.left(), expected.left(), 2.0);
    EXPECT_NEAR(rect.right(), expected.right(), 2.0);
    EXPECT_NEAR(rect.center().y(), expected.center().y(), 3.0);
  }
}

// Text that runs turned on the shown page, a turned page's upright text or
// text drawn turned, is cut along its own direction: one block per line with
// the turn it shows with, its unturned box turned about its centre covering
// the words where pdftotext finds them.
TEST_F(TextExtraction, TurnedTextIsCutAlongItsOwnDirection) {
  struct TurnCase {
    const char* name;
    RawPage page;
    double rotation;  // clockwise as shown
    bool wordBoxes = true;  // pdftotext boxes words of quarter turns only
  };
  const QByteArray twoLines = textLine("F1", 14, 100, 500, "First turned line here") +
                              textLine("F1", 14, 100, 480, "Second turned line here");
  const QList<TurnCase> cases = {
      {"page rotate 90", {twoLines, {595, 842}, 90}, 90},
      {"page rotate 270", {twoLines, {595, 842}, 270}, -90},
      {"page rotate 180", {twoLines, {595, 842}, 180}, 180},
      {"text drawn at 90 on an upright page",
       {"BT /F1 14 Tf 0 1 -1 0 300 100 Tm (First turned line here) Tj 0 -20 Td (Second turned line here) Tj ET\n"},
       -90},
      {"text drawn at 30 degrees",
       {"BT /F1 14 Tf 0.866 0.5 -0.5 0.866 100 300 Tm (First turned line here) Tj 0 -20 Td (Second turned line here) "
        "Tj ET\n"},
       -30, false},
  };
  for (const TurnCase& c : cases) {
    SCOPED_TRACE(c.name);
    const QString file = path(QStringLiteral("turned.pdf"));
    PdfDocument doc;
    const std::vector<TextBlock> blocks = writeAndExtract(doc, file, c.page);
    ASSERT_EQ(blockTexts(blocks), QStringList({"First turned line here", "Second turned line here"}));
    for (const TextBlock& b : blocks) {
      EXPECT_NEAR(b.rotation, c.rotation, 0.6);
      EXPECT_EQ(b.originalRotation, b.rotation);
      // The unturned box is long and low, as the line reads.
      EXPECT_GT(b.rect.width(), 5 * b.rect.height());
      if (!c.wordBoxes) continue;
      const QRectF shown = turnedBounds(b.rect, b.rotation);
      for (const QString& word : b.text.split(QLatin1Char(' '))) {
        const QList<QRectF> boxes = oracles::wordBoxes(file, 0, word, doc.pageSize(0).height());
        ASSERT_FALSE(boxes.isEmpty()) << word.toStdString();
        bool inside = false;
        for (const QRectF& box : boxes) inside = inside || shown.adjusted(-2, -2, 2, 2).contains(box.center());
        EXPECT_TRUE(inside) << word.toStdString();
      }
    }
  }
}

// pdfium hands the characters of text that reads right to left on the shown
// page last first, with blanks in the wrong places; the lines come out whole
// and in reading order all the same.
TEST_F(TextExtraction, UpsideDownPagesReadInOrder) {
  if (!hasTool("qpdf")) GTEST_SKIP() << "qpdf missing";
  const QString upright = path(QStringLiteral("upright.pdf"));
  const QString turned = path(QStringLiteral("upside-down.pdf"));
  ASSERT_TRUE(writePdf(upright, {PageSpec{QStringLiteral("Rotated page first line\nSecond line stays here"), false,
                                          {595, 842}}}));
  ASSERT_EQ(runTool(QStringLiteral("qpdf"), {upright, QStringLiteral("--rotate=+180"), turned}), 0);
  const std::vector<TextBlock> blocks = extractFirstPage(turned);
  EXPECT_EQ(blockTexts(blocks), QStringList({"Rotated page first line", "Second line stays here"}));
  for (const TextBlock& b : blocks) EXPECT_NEAR(std::abs(b.rotation), 180.0, 0.5);
}

TEST_F(TextExtraction, WordsMatchPdftotextOnRealDocuments) {
  QList<QPair<QString, int>> documents;
  const QString mixed = path(QStringLiteral("mixed.pdf"));
  ASSERT_TRUE(writePdf(mixed, {{QStringLiteral("Договор поставки № 17 от 3 марта\n"
                                              "Покупатель обязуется оплатить\n"
                                              "товар в течение десяти дней.\n"
                                              "The buyer shall pay for the goods\n"
                                              "within ten days of delivery.\n"
                                              "Сумма: 250 000 рублей, с НДС.\n"
                                              "Signed on the date written above.\n"
                                              "Приложение: акт, счёт-фактура.")}}));
  documents.append({mixed, 0});
  // The same page as written by a second PDF producer.
  if (hasTool("pdftocairo")) {
    const QString cairo = path(QStringLiteral("mixed-cairo.pdf"));
    ASSERT_EQ(runTool("pdftocairo", {"-pdf", mixed, cairo}), 0);
    documents.append({cairo, 0});
  }
  const QString manual = QStringLiteral("/usr/share/doc/gnuplot/gnuplot.pdf");
  if (QFile::exists(manual))
    for (int page : {0, 9, 40, 120}) documents.append({manual, page});

  for (const auto& [file, page] : documents) {
    SCOPED_TRACE(QStringLiteral("%1 page %2").arg(file).arg(page + 1).toStdString());
    PdfDocument doc;
    ASSERT_TRUE(doc.open(file));
    QStringList ours;
    for (const TextBlock& b : doc.extractText(page)) ours << wordsOf(b.text);
    const QStringList theirs = pdftotextWords(file, page);
    ASSERT_FALSE(theirs.isEmpty());
    const int common = commonInOrder(theirs, ours);
    EXPECT_GE(common, 0.98 * theirs.size()) << common << " of " << theirs.size() << " words in order";
  }
}

}  // namespace

// A line keeps the size its glyphs are drawn at and the colour the PDF fills
// them with; the rendered ink speaks only where the PDF's colour is not what
// the page shows (here, an image drawn over the text).
TEST_F(TextExtraction, SizeIsDrawnSizeAndColourIsThePdfsOwn) {
  const QByteArray redImage = "q 200 0 0 30 60 690 cm BI /W 1 /H 1 /CS /RGB /BPC 8 /F /AHx ID FF0000> EI Q\n";
  const struct {
    const char* name;
    QByteArray content;
    double size;
    QColor colour;  // invalid: red ink, not the PDF's colour
  } cases[] = {
      {"scaled text matrix", "BT /F1 1 Tf 10.9 0 0 10.9 72 700 Tm (Scaled words) Tj ET\n", 10.9, QColor(0, 0, 0)},
      {"scaled by the page matrix", "q 2 0 0 2 0 0 cm " + textLine("F1", 7, 36, 350, "Doubled words") + "Q\n", 14,
       QColor(0, 0, 0)},
      {"plain black", textLine("F1", 10.5, 72, 700, "Body text in black"), 10.5, QColor(0, 0, 0)},
      {"fill colour", "0.2 0.4 0.6 rg " + textLine("F2", 14, 72, 700, "Blue grey words"), 14, QColor(51, 102, 153)},
      {"image below the text", redImage + textLine("F1", 14, 72, 700, "Over a picture"), 14, QColor(0, 0, 0)},
      {"image over the text", "0 0 1 rg " + textLine("F1", 14, 72, 700, "Under a picture") + redImage, 14, QColor()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString file = path(QStringLiteral("drawn.pdf"));
    ASSERT_TRUE(writeRawPdf(file, {{c.content}}));
    const std::vector<TextBlock> blocks = extractFirstPage(file);
    ASSERT_EQ(blocks.size(), 1u);
    const TextBlock::Line& line = blocks[0].lines[0];
    EXPECT_NEAR(line.fontSize, c.size, 0.01);
    if (c.colour.isValid()) {
      EXPECT_EQ(line.color, c.colour) << line.color.name().toStdString();
      for (const auto& span : line.spans) EXPECT_EQ(span.color, c.colour);
    } else {
      EXPECT_GT(line.color.red(), 200) << line.color.name().toStdString();
      EXPECT_LT(line.color.blue(), 60) << line.color.name().toStdString();
    }
  }
}

// TeX names its styles in letters, not words: CMBX is bold, CMTI italic.
TEST_F(TextExtraction, TeXFontNamesGiveBoldAndItalic) {
  const QString manual = QStringLiteral("/usr/share/doc/gnuplot/gnuplot.pdf");
  if (!QFile::exists(manual)) GTEST_SKIP() << "gnuplot-doc missing";
  PdfDocument doc;
  ASSERT_TRUE(doc.open(manual));
  int bold = 0, regular = 0;
  for (int page : {30, 55}) {
    for (const TextBlock& b : doc.extractText(page)) {
      for (const auto& span : b.lines[0].spans) {
        const QString family = span.fontFamily;
        if (family.startsWith(QLatin1String("CMBX"))) {
          ++bold;
          EXPECT_TRUE(span.bold) << family.toStdString();
        } else if (family.startsWith(QLatin1String("CMR"))) {
          ++regular;
          EXPECT_FALSE(span.bold || span.italic) << family.toStdString();
        } else if (family.startsWith(QLatin1String("CMTI"))) {
          EXPECT_TRUE(span.italic && !span.bold) << family.toStdString();
        }
      }
    }
  }
  EXPECT_GT(bold, 3);
  EXPECT_GT(regular, 10);
}

// A stated weight of 600 or the ForceBold flag is bold; fonts of one name keep
// their own weights on each page, whichever is read first, also when written.
TEST_F(TextExtraction, StatedWeightsBelongToEachFontObject) {
  const QString font("<< /Type /Font /Subtype /TrueType /BaseFont /%1 /FontDescriptor << /FontName /%1 %2 >> >>");
  const QString page("<< /Type /Page /Parent 2 0 R /Contents %1 0 R /Resources << /Font << /F1 %2 0 R /F2 8 0 R >> >> >>");
  const QString file = path(QStringLiteral("weights.pdf")), saved = path(QStringLiteral("saved.pdf"));
  ASSERT_TRUE(handwritten::writePdf(file, {"<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 595 842] >>", page.arg(5).arg(7), page.arg(6).arg(9),
      handwritten::stream(textLine("F1", 14, 72, 700, "Semibold") + textLine("F2", 14, 72, 650, "Forced")),
      handwritten::stream(textLine("F1", 14, 72, 700, "Regular")), font.arg("Frutiger", "/FontWeight 600"),
      font.arg("Avenir", "/Flags 262176"), font.arg("Frutiger", "/FontWeight 400")}));
  for (const int first : {0, 1}) {
    PdfDocument doc;
    ASSERT_TRUE(doc.open(file));
    for (int i = 0; i < 4; ++i) {  // both pages read before the first edit
      std::vector<TextBlock> blocks = doc.extractText((first + i) % 2);
      for (TextBlock& b : blocks) {
        EXPECT_EQ(b.bold, b.text != QLatin1String("Regular")) << b.text.toStdString();
        // Words typed after the line take its weight.
        b.text += QStringLiteral(" retyped");
        b.textEdited = true;
      }
      if (i >= 2) {
        ASSERT_TRUE(doc.overlayOcrText((first + i) % 2, blocks, false));
      }
    }
    // Page 1 is written bold and page 2 regular, not both in one weight.
    QByteArray fonts;
    ASSERT_TRUE(doc.save(saved) && runTool("pdffonts", {saved}, &fonts) == 0);
    const QStringList written = QString::fromUtf8(fonts).split('\n').filter(QRegularExpression("^[A-Z]{6}\\+"));
    EXPECT_FALSE(written.filter(QStringLiteral("Bold")).isEmpty()) << fonts.constData();
    EXPECT_NE(written.filter(QStringLiteral("Bold")).size(), written.size()) << fonts.constData();
  }
}

// pdfium names an embedded subset without its tag: the weight its
// descriptor states still makes the heading bold, and bold it is written.
TEST_F(TextExtraction, AnEmbeddedSubsetKeepsItsStatedWeight) {
  QFile program(QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"));
  if (!program.open(QIODevice::ReadOnly) || !hasTool("pdffonts")) GTEST_SKIP() << "DejaVu fonts or pdffonts missing";
  const QByteArray bytes = program.readAll();
  const QString file = path(QStringLiteral("subset.pdf")), saved = path(QStringLiteral("subset-saved.pdf"));
  ASSERT_TRUE(handwritten::writePdf(file, {"<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 100] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
      handwritten::stream(textLine("F1", 18, 20, 50, "Annual Report")),
      "<< /Type /Font /Subtype /TrueType /BaseFont /ABCDEF+TrebuchetMS /FirstChar 32 /LastChar 126 /Widths [" +
          QStringLiteral("750 ").repeated(95) + "] /Encoding /WinAnsiEncoding /FontDescriptor 6 0 R >>",
      "<< /Type /FontDescriptor /FontName /ABCDEF+TrebuchetMS /Flags 32 /FontBBox [-1069 -415 1975 1174] "
      "/ItalicAngle 0 /Ascent 928 /Descent -236 /CapHeight 729 /StemV 80 /FontWeight 700 /FontFile2 7 0 R >>",
      handwritten::stream(bytes, "/Length1 " + QByteArray::number(bytes.size()))}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(file));
  std::vector<TextBlock> blocks = doc.extractText(0);
  ASSERT_EQ(blockTexts(blocks), QStringList{QStringLiteral("Annual Report")});
  const TextBlock::Line& line = blocks[0].lines.at(0);
  EXPECT_TRUE(blocks[0].bold && line.bold);
  for (const auto& span : line.spans) EXPECT_TRUE(span.bold) << span.text.toStdString();
  blocks[0].text = QStringLiteral("Annual Review");
  blocks[0].textEdited = true;
  QByteArray fonts;
  ASSERT_TRUE(doc.overlayOcrText(0, blocks, false) && doc.save(saved) && runTool("pdffonts", {saved}, &fonts) == 0);
  // The typed letters in a bold face, as the subset's own program is named.
  const QStringList written = QString::fromUtf8(fonts).split('\n').filter(QRegularExpression("^[A-Z]{6}\\+")).filter(
      QRegularExpression("^(?!ABCDEF)"));
  ASSERT_FALSE(written.isEmpty()) << fonts.constData();
  EXPECT_EQ(written.filter(QStringLiteral("Bold")), written) << fonts.constData();
}

// Rows of a dingbat table: the glyph, then its name and code in Helvetica,
// the closing bracket kerned into the digit before it, in the second row so
// far that it stands over the digit's middle. Beside them two columns of
// Japanese in a font written vertically (Identity-V). The bracket, whose
// middle sits lower than the digits' (and the dingbat's higher), belongs to
// its row: one line a row framing every word poppler reads there. A column
// is one block, upright over the column MuPDF reads there (wmode 1), the
// right-hand one first; retyped, it is refused rather than written back as
// a row. Deleting a row and a column leaves nothing of them behind.
TEST_F(TextExtraction, KernedBracketsAndVerticalColumnsStayInTheirLines) {
  if (!hasTool("qpdf") || !hasTool("mutool")) GTEST_SKIP() << "qpdf or mupdf-tools missing";
  const QString right = QStringLiteral("縦書きの日本語です。"), left = QStringLiteral("横文字");
  const int cids[] = {2382, 2427, 854, 887, 3284, 3722, 1952, 880, 866, 635, 1315, 3592, 2248};  // Adobe-Japan1
  QByteArray codes, toUnicode = "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapType 2 def 1 "
                                "begincodespacerange <0000> <FFFF> endcodespacerange 13 beginbfchar\n";
  for (int i = 0; i < 13; ++i) {
    codes += QByteArray::number(cids[i], 16).rightJustified(4, '0');
    toUnicode += "<" + codes.right(4) + "> <" + QByteArray::number((right + left)[i].unicode(), 16) + ">\n";
  }
  const QString file = path(QStringLiteral("table.pdf")), saved = path(QStringLiteral("table-saved.pdf"));
  ASSERT_TRUE(handwritten::writePdf(file, {"<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources << /Font << /F1 5 0 R "
      "/ZD 6 0 R /J1 7 0 R >> >> >>",
      handwritten::stream("BT /ZD 24 Tf 72 700 Td (#) Tj /F1 12 Tf [( a202 [x2703) 250 (])] TJ ET\n"
                          "BT /ZD 24 Tf 72 660 Td (3) Tj /F1 12 Tf [( a19 [x2713) 400 (])] TJ ET\n"
                          "BT /J1 20 Tf 400 700 Td <" + codes.left(40) + "> Tj 1 0 0 1 370 700 Tm <" + codes.mid(40) +
                          "> Tj ET"),
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
      "<< /Type /Font /Subtype /Type1 /BaseFont /ZapfDingbats >>",
      "<< /Type /Font /Subtype /Type0 /BaseFont /HeiseiMin-W3 /Encoding /Identity-V /DescendantFonts [<< /Type /Font "
      "/Subtype /CIDFontType0 /BaseFont /HeiseiMin-W3 /CIDSystemInfo << /Registry (Adobe) /Ordering (Japan1) "
      "/Supplement 2 >> /FontDescriptor << /Type /FontDescriptor /FontName /HeiseiMin-W3 /Flags 6 /FontBBox [0 -120 "
      "1000 880] /ItalicAngle 0 /Ascent 880 /Descent -120 /CapHeight 700 /StemV 80 >> >>] /ToUnicode 8 0 R >>",
      handwritten::stream(toUnicode + "endbfchar endcmap CMapName currentdict /CMap defineresource pop end end")}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(file));
  std::vector<TextBlock> blocks = doc.extractText(0);
  ASSERT_EQ(blockTexts(blocks), QStringList({"\u2703 a202 [x2703]", "\u2713 a19 [x2713]", right, left}));
  for (const auto& [word, box] : oracles::pageWords(file, 0, 842)) {
    if (box.left() > 300) continue;  // the columns, read by MuPDF below
    const auto row = std::find_if(blocks.begin(), blocks.begin() + 2, [&](auto& b) { return b.rect.contains(box.center()); });
    ASSERT_NE(row, blocks.begin() + 2) << word.toStdString();
    EXPECT_TRUE(box.left() > row->rect.left() - 1 && box.right() < row->rect.right() + 1) << word.toStdString();
  }
  QByteArray stext;
  ASSERT_EQ(runTool("mutool", {"draw", "-F", "stext", "-o", "-", file, "1"}, &stext), 0);
  static const QRegularExpression column(
      QStringLiteral("<line bbox=\"([\\d.]+) ([\\d.]+) ([\\d.]+) ([\\d.]+)\" wmode=\"1\""));
  auto it = column.globalMatch(QString::fromUtf8(stext));
  for (const TextBlock& b : {blocks[2], blocks[3]}) {
    ASSERT_TRUE(it.hasNext()) << stext.constData();
    const auto m = it.next();
    const QRectF read(QPointF(m.captured(1).toDouble(), 842 - m.captured(4).toDouble()),
                      QPointF(m.captured(3).toDouble(), 842 - m.captured(2).toDouble()));
    EXPECT_TRUE(b.vertical && b.rotation == 0.0 && read.adjusted(-2, -2, 2, 2).contains(b.rect) &&
                b.rect.height() > 0.9 * read.height()) << b.text.toStdString();
  }
  std::vector<TextBlock> retyped = blocks;
  retyped[2].text = QStringLiteral("縦書きの日本語でした。");
  retyped[2].textEdited = true;
  EXPECT_FALSE(doc.overlayOcrText(0, retyped, false));
  EXPECT_TRUE(doc.lastError().startsWith(QStringLiteral("Вертикальный текст нельзя изменить")))
      << doc.lastError().toStdString();
  for (const size_t gone : {1, 3}) {
    TextBlock removal;
    removal.rect = removal.originalRect = blocks[gone].originalRect;
    removal.textEdited = true;
    blocks[gone] = removal;
  }
  ASSERT_TRUE(doc.overlayOcrText(0, blocks, false) && doc.save(saved));
  EXPECT_TRUE(oracles::qpdfCheckPasses(saved));
  QStringList kept = wordsOf(oracles::pageText(saved, 0));
  kept.sort();
  EXPECT_EQ(kept, QStringList({"[x2703]", "a202", "\u2703", right}));
}
