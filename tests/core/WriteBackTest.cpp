// Writing edited blocks back: the saved file shows the new text where the
// block was, the old wording nowhere, every other line once, passes
// qpdf --check, and stays small. Checked with poppler and qpdf, not with the
// code under test.
#include "PopplerOracles.h"
#include "RawPdf.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QLineF>
#include <QMap>
#include <QRawFont>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <numeric>

using namespace testsupport;

namespace {

QString pdftotext(const QString& path) { return oracles::pageText(path, 0); }

int occurrences(const QString& haystack, const QString& needle) { return int(haystack.count(needle)); }

void expectQpdfCheckPasses(const QString& path) { EXPECT_TRUE(oracles::qpdfCheckPasses(path)) << path.toStdString(); }

QRectF wordBox(const QString& path, const QString& word, double shownHeight) {
  const QList<QRectF> boxes = oracles::wordBoxes(path, 0, word, shownHeight);
  return boxes.isEmpty() ? QRectF() : boxes.first();
}

// Where MuPDF reads the glyphs of `word` standing (their origins' y, from
// the top): a baseline, whatever face draws the word.
double baselineOf(const QString& path, const QString& word) {
  QByteArray stext;
  if (runTool("mutool", {"draw", "-F", "stext", "-o", "-", path, "1"}, &stext) != 0) return -1;
  static const QRegularExpression glyph(QStringLiteral("<char [^>]*y=\"([-0-9.]+)\"[^>]* c=\"([^\"]*)\""));
  QString read;
  QList<double> ys;
  for (auto it = glyph.globalMatch(QString::fromUtf8(stext)); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    read += m.captured(2);
    ys << m.captured(1).toDouble();
  }
  const qsizetype at = read.indexOf(word);
  return at < 0 ? -1 : ys.value(at, -1);
}

int blockIndexContaining(const std::vector<TextBlock>& blocks, const QString& text) {
  for (size_t i = 0; i < blocks.size(); ++i)
    if (blocks[i].text.contains(text)) return int(i);
  return -1;
}

// A one-line block as recognition hands it over, at 14 pt.
TextBlock recognisedBlock(const QString& text, const QRectF& rect) {
  TextBlock b;
  b.text = text;
  b.rect = b.originalRect = rect;
  TextBlock::Line line;
  line.text = text;
  line.rect = rect;
  line.fontSize = 14;
  b.lines.push_back(line);
  return b;
}

void editText(TextBlock& block, const QString& text) {
  block.text = text;
  block.textEdited = true;
}

class WriteBack : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    if (!hasTool("pdftotext") || !hasTool("qpdf")) GTEST_SKIP() << "poppler-utils or qpdf missing";
  }
  QString path(const QString& name) const { return dir.filePath(name); }
  QTemporaryDir dir;
};

const QStringList kLines = {QStringLiteral("Contract number seventeen"), QStringLiteral("Amount due 4200 euro"),
                            QStringLiteral("Payable within ten days"), QStringLiteral("Signed by both parties")};

QByteArray rawLines(double x, double top, const QByteArray& matrix = {}) {
  QByteArray content;
  for (qsizetype i = 0; i < kLines.size(); ++i) {
    const double y = top - 30 * double(i);
    content += matrix.isEmpty() ? textLine("F1", 14, x, y, kLines[i].toLatin1())
                                : "BT /F1 14 Tf " + matrix + " " + QByteArray::number(x) + " " +
                                      QByteArray::number(y) + " Tm (" + kLines[i].toLatin1() + ") Tj ET\n";
  }
  return content;
}

struct PageCase {
  const char* name;
  std::function<bool(const QString&)> write;
};

QList<PageCase> pageCases() {
  return {
      {"offset crop box",
       [](const QString& p) {
         return writeRawPdf(p, {{rawLines(72, 700), {595, 842}, 0, "/CropBox [40 60 555 800]"}});
       }},
      {"qt writer", [](const QString& p) { return writePdf(p, {{kLines.join(QLatin1Char('\n'))}}); }},
      {"standard font", [](const QString& p) { return writeRawPdf(p, {{rawLines(72, 700)}}); }},
      {"rotate 90",
       [](const QString& p) {
         // Upright on the shown page: the text runs up the unturned page.
         RawPage page("", {595, 842}, 90);
         for (qsizetype i = 0; i < kLines.size(); ++i)
           page.content += "BT /F1 14 Tf 0 1 -1 0 " + QByteArray::number(200 + 30 * double(i)) + " 100 Tm (" +
                           kLines[i].toLatin1() + ") Tj ET\n";
         return writeRawPdf(p, {page});
       }},
  };
}

TEST_F(WriteBack, EditedLineReplacesTheOldWordingAndNothingElse) {
  for (const PageCase& c : pageCases()) {
    SCOPED_TRACE(c.name);
    const QString source = path(QStringLiteral("source.pdf"));
    const QString saved = path(QStringLiteral("saved.pdf"));
    ASSERT_TRUE(c.write(source));
    PdfDocument doc;
    ASSERT_TRUE(doc.open(source));
    std::vector<TextBlock> blocks = doc.extractText(0);
    ASSERT_EQ(blocks.size(), size_t(kLines.size()));
    const int edited = blockIndexContaining(blocks, QStringLiteral("4200"));
    ASSERT_GE(edited, 0);
    const QRectF oldPlace = blocks[size_t(edited)].rect;
    editText(blocks[size_t(edited)], QStringLiteral("Amount due 9100 dollars"));

    ASSERT_TRUE(doc.overlayOcrText(0, blocks, false));
    EXPECT_TRUE(doc.isModified());
    ASSERT_TRUE(doc.saveCopy(saved));
    expectQpdfCheckPasses(saved);

    const QString text = pdftotext(saved);
    EXPECT_EQ(occurrences(text, QStringLiteral("9100 dollars")), 1) << text.toStdString();
    EXPECT_EQ(occurrences(text, QStringLiteral("4200")), 0) << text.toStdString();
    EXPECT_EQ(occurrences(text, QStringLiteral("euro")), 0) << text.toStdString();
    for (const QString& line : kLines) {
      if (!line.contains(QStringLiteral("4200"))) {
        EXPECT_EQ(occurrences(text, line), 1) << line.toStdString();
      }
    }

    const QRectF placed = wordBox(saved, QStringLiteral("Amount"), doc.pageSize(0).height());
    ASSERT_FALSE(placed.isNull());
    EXPECT_NEAR(placed.center().y(), oldPlace.center().y(), 6.0);
    EXPECT_GE(placed.left(), oldPlace.left() - 2.0);
    EXPECT_LE(placed.left(), oldPlace.left() + 0.5 * oldPlace.width());
  }
}

TEST_F(WriteBack, RepeatedEditAndSaveCyclesNeverDuplicateWords) {
  QString current = path(QStringLiteral("cycle0.pdf"));
  ASSERT_TRUE(writePdf(current, {{kLines.join(QLatin1Char('\n'))}}));
  const QStringList replacements = {QStringLiteral("first change"), QStringLiteral("second change"),
                                    QStringLiteral("third change")};
  for (int cycle = 0; cycle < 3; ++cycle) {
    SCOPED_TRACE(cycle);
    PdfDocument doc;
    ASSERT_TRUE(doc.open(current));
    std::vector<TextBlock> blocks = doc.extractText(0);
    const int target = blockIndexContaining(blocks, cycle == 0 ? QStringLiteral("ten days") : QStringLiteral("change"));
    ASSERT_GE(target, 0);
    editText(blocks[size_t(target)], replacements[cycle]);
    ASSERT_TRUE(doc.overlayOcrText(0, blocks, false));
    current = path(QStringLiteral("cycle%1.pdf").arg(cycle + 1));
    ASSERT_TRUE(doc.saveCopy(current));
    expectQpdfCheckPasses(current);
  }
  const QString text = pdftotext(current);
  EXPECT_EQ(occurrences(text, QStringLiteral("third change")), 1) << text.toStdString();
  EXPECT_EQ(occurrences(text, QStringLiteral("change")), 1) << text.toStdString();
  EXPECT_EQ(occurrences(text, QStringLiteral("ten days")), 0);
  for (const QString& word : {QStringLiteral("Contract"), QStringLiteral("4200"), QStringLiteral("Signed")})
    EXPECT_EQ(occurrences(text, word), 1) << word.toStdString();
}

TEST_F(WriteBack, FiftyEditedLinesEmbedOneFontAndStaySmall) {
  QByteArray content;
  for (int i = 0; i < 50; ++i)
    content += textLine("F1", 10, 60, 800 - 15.0 * i, "Original line " + QByteArray::number(i));
  const QString source = path(QStringLiteral("fifty.pdf"));
  const QString saved = path(QStringLiteral("fifty-saved.pdf"));
  ASSERT_TRUE(writeRawPdf(source, {{content}}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  std::vector<TextBlock> blocks = doc.extractText(0);
  ASSERT_EQ(blocks.size(), 50u);
  for (size_t i = 0; i < blocks.size(); ++i)
    editText(blocks[i], QStringLiteral("Строка %1 edited").arg(i));
  ASSERT_TRUE(doc.overlayOcrText(0, blocks, false));
  ASSERT_TRUE(doc.saveCopy(saved));
  expectQpdfCheckPasses(saved);

  EXPECT_LT(QFileInfo(saved).size() - QFileInfo(source).size(), 1024 * 1024);
  const QString text = pdftotext(saved);
  EXPECT_EQ(occurrences(text, QStringLiteral("Original")), 0);
  for (int i = 0; i < 50; ++i)
    EXPECT_EQ(occurrences(text, QStringLiteral("Строка %1 edited").arg(i)), 1) << i;

  if (!hasTool("pdffonts")) return;
  QByteArray fonts;
  ASSERT_EQ(runTool("pdffonts", {saved}, &fonts), 0);
  // The lines retyped whole, in an embedded subset of the face closest to Helvetica.
  const QRegularExpression subset(QStringLiteral("^[A-Z]{6}\\+.* yes +yes "));
  const QStringList embedded = QString::fromUtf8(fonts).split(QLatin1Char('\n')).filter(subset);
  ASSERT_EQ(embedded.size(), 1) << fonts.toStdString();
  EXPECT_TRUE(embedded[0].contains(QStringLiteral("Sans"))) << embedded[0].toStdString();
}

TEST_F(WriteBack, CyrillicTextIsEmbeddedAndExtractsAgain) {
  const QString source = path(QStringLiteral("ru.pdf"));
  const QString saved = path(QStringLiteral("ru-saved.pdf"));
  ASSERT_TRUE(writeRawPdf(source, {{rawLines(72, 700)}}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  std::vector<TextBlock> blocks = doc.extractText(0);
  const int target = blockIndexContaining(blocks, QStringLiteral("Signed"));
  ASSERT_GE(target, 0);
  const QString russian = QStringLiteral("Подписано обеими сторонами");
  editText(blocks[size_t(target)], russian);
  blocks[size_t(target)].bold = blocks[size_t(target)].lines[0].bold = true;
  ASSERT_TRUE(doc.overlayOcrText(0, blocks, false));
  ASSERT_TRUE(doc.saveCopy(saved));
  expectQpdfCheckPasses(saved);
  EXPECT_EQ(occurrences(pdftotext(saved), russian), 1);

  PdfDocument reopened;
  ASSERT_TRUE(reopened.open(saved));
  const std::vector<TextBlock> again = reopened.extractText(0);
  const int found = blockIndexContaining(again, russian);
  ASSERT_GE(found, 0);
  EXPECT_TRUE(again[size_t(found)].bold);
  if (hasTool("pdffonts")) {
    QByteArray fonts;  // in the bold face closest to the line's Helvetica
    ASSERT_EQ(runTool("pdffonts", {saved}, &fonts), 0);
    EXPECT_TRUE(fonts.contains("Sans-Bold")) << fonts.toStdString();
  }
}

TEST_F(WriteBack, RichTextIsWrittenAsLaidOutWithItsStyles) {
  const QString source = path(QStringLiteral("rich.pdf"));
  const QString saved = path(QStringLiteral("rich-saved.pdf"));
  ASSERT_TRUE(writeRawPdf(source, {{rawLines(72, 700)}}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  std::vector<TextBlock> blocks = doc.extractText(0);
  const int target = blockIndexContaining(blocks, QStringLiteral("Payable"));
  ASSERT_GE(target, 0);
  TextBlock& block = blocks[size_t(target)];
  // The editor stores the text it shows; the block's lines still hold the old wording.
  block.text = QStringLiteral("Pay at once or later");
  block.textEdited = true;
  // The editor draws small italic text at weight 600 to read well on screen; it is not bold.
  block.richTextHtml = QStringLiteral(
      "<html><body><p style=\"margin:0\"><span style=\"font-size:14px; color:#d00000; font-weight:700\">Pay"
      "</span><span style=\"font-size:14px\"> at once </span><span style=\"font-size:14px; font-style:italic; "
      "font-weight:600\">or later</span></p></body></html>");
  ASSERT_TRUE(doc.overlayOcrText(0, blocks, false));
  ASSERT_TRUE(doc.saveCopy(saved));
  expectQpdfCheckPasses(saved);
  const QString text = pdftotext(saved);
  EXPECT_EQ(occurrences(text, QStringLiteral("Pay at once")), 1) << text.toStdString();
  EXPECT_EQ(occurrences(text, QStringLiteral("ten days")), 0);

  PdfDocument reopened;
  ASSERT_TRUE(reopened.open(saved));
  const std::vector<TextBlock> again = reopened.extractText(0);
  const int found = blockIndexContaining(again, QStringLiteral("Pay at once"));
  ASSERT_GE(found, 0);
  const auto& spans = again[size_t(found)].lines[0].spans;
  ASSERT_GE(spans.size(), 2u);
  EXPECT_GT(spans[0].color.red(), 150);
  EXPECT_LT(spans[0].color.green(), 80);
  EXPECT_TRUE(spans[0].bold);
  ASSERT_GE(spans.size(), 3u);
  EXPECT_FALSE(spans[1].bold);
  EXPECT_FALSE(spans[1].italic);
  EXPECT_TRUE(spans.back().italic) << spans.back().fontFamily.toStdString();
  EXPECT_FALSE(spans.back().bold) << spans.back().fontFamily.toStdString();
}

// A paragraph edited to more lines than it had: added lines follow at the
// paragraph's own line pitch.
TEST_F(WriteBack, AddedLinesContinueAtTheLinePitch) {
  const QString source = path(QStringLiteral("para.pdf"));
  const QString saved = path(QStringLiteral("para-saved.pdf"));
  ASSERT_TRUE(writeRawPdf(source, {{textLine("F1", 12, 72, 700, "First stored line") +
                                   textLine("F1", 12, 72, 680, "Second stored line")}}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  const std::vector<TextBlock> lines = doc.extractText(0);
  ASSERT_EQ(lines.size(), 2u);
  TextBlock paragraph = lines[0];
  paragraph.lines.push_back(lines[1].lines[0]);
  paragraph.rect = paragraph.originalRect = lines[0].rect.united(lines[1].rect);
  editText(paragraph, QStringLiteral("First stored line\nSecond changed line\nThird added line"));
  ASSERT_TRUE(doc.overlayOcrText(0, {paragraph}, false));
  ASSERT_TRUE(doc.saveCopy(saved));
  const QString text = pdftotext(saved);
  EXPECT_EQ(occurrences(text, QStringLiteral("Second stored")), 0) << text.toStdString();
  EXPECT_EQ(occurrences(text, QStringLiteral("Third added line")), 1) << text.toStdString();
  const double height = doc.pageSize(0).height();
  const QRectF second = wordBox(saved, QStringLiteral("Second"), height);
  const QRectF third = wordBox(saved, QStringLiteral("Third"), height);
  ASSERT_FALSE(second.isNull());
  ASSERT_FALSE(third.isNull());
  // "Second" keeps the page's glyphs, "Third" is new: their faces differ, their baselines do not.
  if (hasTool("mutool")) {
    EXPECT_NEAR(baselineOf(saved, QStringLiteral("Third")) - baselineOf(saved, QStringLiteral("Second")), 20.0, 1.0);
  }
  EXPECT_NEAR(third.left(), second.left(), 1.5);
}

// A text object that draws two blocks: changing one must not lose the other.
TEST_F(WriteBack, NeighbourDrawnByTheSameObjectSurvives) {
  const QString source = path(QStringLiteral("shared.pdf"));
  const QString saved = path(QStringLiteral("shared-saved.pdf"));
  ASSERT_TRUE(writeRawPdf(source, {{"BT /F1 14 Tf 72 700 Td [(Name Ivanov) -15000 (Total 4200)] TJ ET\n"}}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  std::vector<TextBlock> blocks = doc.extractText(0);
  ASSERT_EQ(blocks.size(), 2u);
  const int target = blockIndexContaining(blocks, QStringLiteral("4200"));
  ASSERT_GE(target, 0);
  editText(blocks[size_t(target)], QStringLiteral("Total 5300"));
  ASSERT_TRUE(doc.overlayOcrText(0, blocks, false));
  ASSERT_TRUE(doc.saveCopy(saved));
  const QString text = pdftotext(saved);
  EXPECT_EQ(occurrences(text, QStringLiteral("Name Ivanov")), 1) << text.toStdString();
  EXPECT_EQ(occurrences(text, QStringLiteral("Total 5300")), 1) << text.toStdString();
  EXPECT_EQ(occurrences(text, QStringLiteral("4200")), 0) << text.toStdString();
}

TEST_F(WriteBack, InvisibleLayerOnlyWhereThePageShowsNoText) {
  struct LayerCase {
    const char* name;
    QByteArray content;
    bool recognised;  // blocks come from recognition rather than from the page
  };
  const QList<LayerCase> cases = {
      // The page shows the text itself: an invisible copy would double every word.
      {"visible native text", rawLines(72, 700), false},
      // Recognised text over a picture of text: one invisible layer, however often written.
      {"scan with recognised text", "0.9 0.9 0.9 rg 60 580 400 140 re f\n", true},
      // An existing hidden layer is replaced, not piled up.
      {"hidden layer", "3 Tr " + rawLines(72, 700), false},
  };
  for (const LayerCase& c : cases) {
    SCOPED_TRACE(c.name);
    const QString source = path(QStringLiteral("layer.pdf"));
    ASSERT_TRUE(writeRawPdf(source, {{c.content}}));
    std::vector<TextBlock> blocks;
    PdfDocument doc;
    ASSERT_TRUE(doc.open(source));
    if (c.recognised) {
      for (qsizetype i = 0; i < kLines.size(); ++i)
        blocks.push_back(recognisedBlock(kLines[i], QRectF(72, 696 - 30 * double(i), 170, 14)));
    } else {
      blocks = doc.extractText(0);
    }
    QString saved;
    for (int round = 0; round < 2; ++round) {
      ASSERT_TRUE(doc.overlayOcrText(0, blocks, false));
      saved = path(QStringLiteral("layer-%1.pdf").arg(round));
      ASSERT_TRUE(doc.saveCopy(saved));
      ASSERT_TRUE(doc.open(saved));
    }
    expectQpdfCheckPasses(saved);
    const QString text = pdftotext(saved);
    for (const QString& line : kLines) EXPECT_EQ(occurrences(text, line), 1) << line.toStdString();
  }
}

TEST_F(WriteBack, FaintTextCountsAsHiddenUpToAlphaFour) {
  const QString source = path(QStringLiteral("faint.pdf"));
  const QString saved = path(QStringLiteral("faint-saved.pdf"));
  ASSERT_TRUE(writeRawPdf(source, {{"q /A4 gs " + textLine("F1", 12, 72, 700, "alphafour") + "Q q /A5 gs " +
                                   textLine("F1", 12, 72, 650, "alphafive") + "Q " +
                                   textLine("F1", 12, 72, 600, "opaque")}}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  // Recognised text over each faint line: hidden text under it is replaced,
  // text the page shows is neither replaced nor doubled.
  TextBlock overFour, overFive;
  overFour.text = QStringLiteral("recognised");
  overFour.rect = overFour.originalRect = QRectF(72, 697, 80, 12);
  overFive.text = QStringLiteral("overfive");
  overFive.rect = overFive.originalRect = QRectF(72, 647, 80, 12);
  ASSERT_TRUE(doc.overlayOcrText(0, {overFour, overFive}, false));
  ASSERT_TRUE(doc.saveCopy(saved));
  const QString text = pdftotext(saved);
  EXPECT_EQ(occurrences(text, QStringLiteral("alphafour")), 0);
  EXPECT_EQ(occurrences(text, QStringLiteral("alphafive")), 1);
  EXPECT_EQ(occurrences(text, QStringLiteral("overfive")), 0);
  EXPECT_EQ(occurrences(text, QStringLiteral("opaque")), 1);
  EXPECT_EQ(occurrences(text, QStringLiteral("recognised")), 1);
}

// Numbers drawn as outlines in a form, their text shown over them a second
// time at fill alpha 0 so that it can be found and copied, and a serial at
// render mode 3: editing or deleting the title, beside the form or in it (a
// page a browser printed is one form), leaves both shows as they were, still
// hidden and still read; the numbers recognised anew as other text lose
// their old hidden words.
TEST_F(WriteBack, HiddenTextOfOtherLinesStaysAsItWas) {
  if (!hasTool("mutool")) GTEST_SKIP() << "mupdf-tools missing";
  QByteArray outlines = "0 g";
  for (const double x : {72.0, 83.12, 94.24, 110.92, 122.04, 133.16, 149.84, 160.96, 172.08})
    outlines += " " + QByteArray::number(x) + " 600 8 14 re f";
  const QByteArray heading = textLine("F1", 18, 72, 760, "Quarterly report title");
  const QByteArray numbers = outlines + " q /A0 gs " + textLine("F1", 20, 72, 600, "111 222 333") + "Q\n";
  const QByteArray serial = "BT 3 Tr /F1 12 Tf 72 400 Td (hidden serial 4455) Tj ET";
  // As a browser prints it: the numbers one form deeper, clipped, upside
  // down at a quarter scale, each number's text after its outlines.
  QByteArray deepNumbers = "q 0 0 595 842 re W n .24 0 0 -.24 0 842.88 cm /Fi Do Q\n";
  QByteArray inner;
  for (int n = 0; n < 3; ++n)
    inner += "q 0 g " + QByteArray::number(300 + 160 * n) + " 1000 120 -58 re f /G5 gs BT /F1 1 Tf 83.3333 0 0 -83.3333 " +
             QByteArray::number(300 + 160 * n) + " 1000 Tm (" + QByteArray::number(111 * (n + 1)) + ") Tj ET Q\n";
  // Or the page's one form itself turned upside down, its heading drawn
  // turned back.
  const QByteArray flipped = ".24 0 0 -.24 0 842.88 cm BT /F1 75 Tf 1 0 0 -1 300 345.33 Tm (Quarterly report title) Tj ET "
                             "q 0 0 2480 3508 re W n /Fi Do Q BT 3 Tr /F1 50 Tf 1 0 0 -1 300 1845.33 Tm (hidden serial 4455) Tj ET";
  const QStringList files = {path(QStringLiteral("outlined.pdf")), path(QStringLiteral("one-form.pdf")),
                             path(QStringLiteral("deep-form.pdf")), path(QStringLiteral("turned-form.pdf"))};
  for (const int depth : {0, 1, 2, 3})
    ASSERT_TRUE(handwritten::writePdf(
        files.at(depth),
        {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
         "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R "
         "/Resources << /Font << /F1 5 0 R >> /XObject << /Fn 6 0 R >> >> >>",
         handwritten::stream(depth ? "/Fn Do" : heading + "/Fn Do " + serial),
         "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
         handwritten::stream(depth == 0   ? numbers
                             : depth == 3 ? flipped
                                          : heading + (depth == 1 ? numbers : deepNumbers) + serial,
                             "/Subtype /Form /BBox [0 0 595 842] /Resources << /Font << /F1 5 0 R >> "
                             "/ExtGState << /A0 << /ca 0 >> >> /XObject << /Fi 7 0 R >> >>"),
         handwritten::stream(inner, "/Subtype /Form /BBox [0 0 2480 3508] /Resources << /Font << /F1 5 0 R >> "
                                    "/ExtGState << /G5 << /ca 0 >> >> >>")}));
  const QRegularExpression transparentNumbers(R"(<fill_text [^>]*alpha="0"[^>]*>\s*<span font="Helvetica" [^>]*trm="(20|83.3333) 0)");
  const QRegularExpression invisibleSerial(R"(<ignore_text [^>]*>\s*<span font="Helvetica" [^>]*trm="(12|50) 0)");
  struct Case {
    const char* name;
    const char* line;
    QString wording;  // empty: deleted
    bool alone;       // the editor writes every block of the page, other callers the changed one
    int depth = 0;  // of the forms the numbers are drawn in, as the page is printed
  };
  for (const Case& c : {Case{"title edited", "Quarterly", "Annual summary heading", false},
                        Case{"title deleted", "Quarterly", "", false},
                        Case{"title edited alone", "Quarterly", "Annual summary heading", true},
                        Case{"numbers recognised anew", "222", "777 888 999", false},
                        Case{"title edited in the page's one form", "Quarterly", "Annual summary heading", false, 1},
                        Case{"title deleted in the page's one form", "Quarterly", "", false, 1},
                        Case{"title edited over a clipped form in the form", "Quarterly", "Annual summary heading", false, 2},
                        Case{"title deleted over a clipped form in the form", "Quarterly", "", false, 2},
                        Case{"title edited in a turned form", "Quarterly", "Annual summary heading", false, 3},
                        Case{"title deleted in a turned form", "Quarterly", "", false, 3}}) {
    SCOPED_TRACE(c.name);
    const QString saved = path(QStringLiteral("outlined-saved.pdf"));
    PdfDocument doc;
    ASSERT_TRUE(doc.open(files.at(c.depth)));
    std::vector<TextBlock> blocks = doc.extractText(0);
    const int line = blockIndexContaining(blocks, c.line);
    ASSERT_GE(line, 0);
    TextBlock& b = blocks[size_t(line)];
    const bool title = b.text.contains("Quarterly");
    if (c.wording.isEmpty()) {
      const QRectF place = b.originalRect;
      b = TextBlock();
      b.rect = b.originalRect = place;
      b.textEdited = true;
    } else if (title) {
      editText(b, c.wording);
    } else {
      b.text = b.lines.at(0).text = c.wording;  // as recognition gives it: no edit
    }
    if (c.alone) blocks = {b};
    ASSERT_TRUE(doc.overlayOcrText(0, blocks, false)) << doc.lastError().toStdString();
    ASSERT_TRUE(doc.save(saved));
    expectQpdfCheckPasses(saved);
    const QString text = pdftotext(saved);
    EXPECT_EQ(occurrences(text, c.line), 0) << text.toStdString();
    EXPECT_EQ(occurrences(text, QStringLiteral("hidden serial 4455")), 1) << text.toStdString();
    if (!c.wording.isEmpty()) {
      EXPECT_EQ(occurrences(text, c.wording), 1) << text.toStdString();
    }
    for (const QString& reading : {text, oracles::mupdfReading(saved, 0).text})
      EXPECT_EQ(occurrences(reading, QStringLiteral("111 222 333")), title ? 1 : 0) << reading.toStdString();
    QByteArray trace;
    ASSERT_EQ(runTool("mutool", {"trace", saved, "1"}, &trace), 0);
    EXPECT_EQ(transparentNumbers.match(QString::fromUtf8(trace)).hasMatch(), title) << trace.constData();
    EXPECT_TRUE(invisibleSerial.match(QString::fromUtf8(trace)).hasMatch()) << trace.constData();
  }
}

// Lines over a grey band in Helvetica whose ToUnicode map is broken, in a
// text object the content never ends: the deleted first line leaves the
// file, without a white box, or the edit is refused and nothing changes.
TEST_F(WriteBack, ALineOfABrokenMapIsTakenOutOrRefused) {
  if (!hasTool("pdftoppm")) GTEST_SKIP() << "poppler-utils missing";
  const QByteArray head = "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /Broken def "
                          "1 begincodespacerange <00> <FF> endcodespacerange ";
  const QByteArray tail = " endcmap CMapName currentdict /CMap defineresource pop end end";
  const QList<QPair<const char*, QByteArray>> maps = {
      // pdfium reads r to z as control codes, which no block holds, while
      // poppler still reads the line's words.
      {"r to z read as control codes", head + "1 beginbfrange <72> <7A> <0092> endbfrange" + tail},
      {"every letter off by 0x20", head + "1 beginbfrange <20> <7E> <0000> endbfrange" + tail},
      {"no map at all", "this is no map"},
      {"a map cut short", head + "2 beginbfchar <41> <00"},
  };
  for (const auto& [name, map] : maps) {
    SCOPED_TRACE(name);
    const QString source = path(QStringLiteral("broken-map.pdf")), saved = path(QStringLiteral("broken-map-saved.pdf"));
    QFile::remove(saved);
    ASSERT_TRUE(handwritten::writePdf(
        source, {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                 "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
                 handwritten::stream("q 0.8 g 60 600 300 130 re f Q BT /F1 14 Tf 72 700 Td (Alpha first) Tj "
                                     "0 -30 Td (Bravo second) Tj 0 -30 Td (Charlie third) Tj"),
                 "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding /ToUnicode 6 0 R >>",
                 handwritten::stream(map)}));
    PdfDocument doc;
    ASSERT_TRUE(doc.open(source));
    std::vector<TextBlock> blocks = doc.extractText(0);
    ASSERT_GE(blocks.size(), 3u);
    std::sort(blocks.begin(), blocks.end(), [](const TextBlock& a, const TextBlock& b) { return a.rect.top() > b.rect.top(); });
    const QRectF place = blocks[0].originalRect;
    QStringList first, kept;  // the words poppler reads on the first line, and elsewhere
    for (const auto& [word, box] : oracles::pageWords(source, 0, 842))
      (box.center().y() > place.top() && box.center().y() < place.bottom() ? first : kept) << word;
    ASSERT_FALSE(first.isEmpty());
    TextBlock removal;
    removal.originalRect = removal.rect = place;
    removal.textEdited = true;
    blocks[0] = removal;
    if (!doc.overlayOcrText(0, blocks, false)) {
      EXPECT_FALSE(doc.lastError().isEmpty());
      EXPECT_FALSE(doc.isModified());
      continue;
    }
    ASSERT_TRUE(doc.save(saved));
    expectQpdfCheckPasses(saved);
    QStringList after;
    for (const auto& word : oracles::pageWords(saved, 0, 842)) after << word.first;
    for (const QString& word : first) EXPECT_FALSE(after.contains(word)) << word.toStdString();
    EXPECT_EQ(oracles::missingWords(kept, after), QStringList());
    // On the grey band, a white box shows as paper.
    const QImage render = oracles::renderWithPoppler(saved, 0, 72);
    int paper = 0;
    for (int y = int(842 - place.bottom()); y <= int(842 - place.top()); ++y)
      for (int x = int(place.left()); x <= int(place.right()); ++x) paper += qGray(render.pixel(x, y)) > 240;
    EXPECT_EQ(paper, 0) << "a white box where the line was";
  }
}

TEST_F(WriteBack, MovedBlockLeavesItsOldPlace) {
  const QString source = path(QStringLiteral("move.pdf"));
  const QString saved = path(QStringLiteral("move-saved.pdf"));
  ASSERT_TRUE(writeRawPdf(source, {{rawLines(72, 700)}}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  std::vector<TextBlock> blocks = doc.extractText(0);
  const int target = blockIndexContaining(blocks, QStringLiteral("Contract"));
  ASSERT_GE(target, 0);
  TextBlock& b = blocks[size_t(target)];
  const QPointF shift(100, -400);
  b.rect.translate(shift);
  for (auto& line : b.lines) line.rect.translate(shift);
  ASSERT_TRUE(doc.overlayOcrText(0, blocks, false));
  ASSERT_TRUE(doc.saveCopy(saved));
  const QRectF placed = wordBox(saved, QStringLiteral("Contract"), doc.pageSize(0).height());
  ASSERT_FALSE(placed.isNull());
  EXPECT_NEAR(placed.center().y(), b.rect.center().y(), 6.0);
  EXPECT_EQ(occurrences(pdftotext(saved), QStringLiteral("Contract number seventeen")), 1);
}

TEST_F(WriteBack, RefusesWhatItCannotWrite) {
  PdfDocument closed;
  TextBlock block;
  block.text = QStringLiteral("x");
  EXPECT_FALSE(closed.overlayOcrText(0, {block}, false));
  const QString source = path(QStringLiteral("one.pdf"));
  ASSERT_TRUE(writeRawPdf(source, {{rawLines(72, 700)}}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  EXPECT_FALSE(doc.overlayOcrText(0, {}, false));
  EXPECT_FALSE(doc.overlayOcrText(5, {block}, false));
  EXPECT_FALSE(doc.isModified());
  EXPECT_FALSE(doc.addFreeText(0, QRectF(10, 10, 50, 20), QString(), QStringLiteral("Arial"), 12, Qt::black));
}

TEST_F(WriteBack, FreeTextAndReplaceAllAreVisibleAndSearchable) {
  const QString source = path(QStringLiteral("free.pdf"));
  const QString saved = path(QStringLiteral("free-saved.pdf"));
  ASSERT_TRUE(writeRawPdf(source, {{rawLines(72, 700)}}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  ASSERT_TRUE(doc.addFreeText(0, QRectF(300, 100, 200, 20), QStringLiteral("Примечание"), QStringLiteral("Arial"),
                              0.5f, QColor(0, 0, 200)));
  ASSERT_TRUE(doc.overlayOcrText(0, doc.extractText(0), true));
  ASSERT_TRUE(doc.saveCopy(saved));
  expectQpdfCheckPasses(saved);
  const QString text = pdftotext(saved);
  EXPECT_EQ(occurrences(text, QStringLiteral("Примечание")), 1) << text.toStdString();
  for (const QString& line : kLines) EXPECT_EQ(occurrences(text, line), 1) << line.toStdString();
  // Rewritten in the embedded font.
  QByteArray fonts;
  if (hasTool("pdffonts") && runTool("pdffonts", {saved}, &fonts) == 0) {
    EXPECT_TRUE(fonts.contains("DejaVu")) << fonts.toStdString();
  }
}

}  // namespace

namespace {

// A one-page file written object by object and passed through qpdf: its
// content in the streams given (several make a /Contents array), its form
// XObject /Fx1 when `form` is set (the stream's extra entries and content).
QString splitContentPdf(const QString& path, const QList<QByteArray>& streams, QSizeF size = {595, 842},
                        const QByteArray& pageExtra = {}, const QPair<QByteArray, QByteArray>& form = {}) {
  const QString font = QStringLiteral("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
  QStringList objects{QStringLiteral("<< /Type /Catalog /Pages 2 0 R >>"),
                      QStringLiteral("<< /Type /Pages /Kids [4 0 R] /Count 1 >>"), font, QString()};
  QString contents;
  for (const QByteArray& content : streams) {
    objects << handwritten::stream(content);
    contents += QStringLiteral("%1 0 R ").arg(objects.size());
  }
  QString xobjects;
  if (!form.second.isEmpty()) {
    objects << handwritten::stream(form.second, "/Type /XObject /Subtype /Form /Resources << /Font << /F1 3 0 R >> >> " +
                                                    form.first);
    xobjects = QStringLiteral("/XObject << /Fx1 %1 0 R >>").arg(objects.size());
  }
  objects[3] = QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %1 %2] %3 /Resources << /Font << /F1 3 0 R >> "
                              "%4 >> /Contents [%5] >>")
                   .arg(size.width())
                   .arg(size.height())
                   .arg(QString::fromLatin1(pageExtra), xobjects, contents);
  const QString written = path + QStringLiteral(".raw");
  if (!handwritten::writePdf(written, objects) || runTool("qpdf", {written, path}) != 0) return {};
  return path;
}

}  // namespace

// Pages whose content other viewers read differently from pdfium once one
// of its streams is rewritten, or whose new text pdfium would place by a
// state they do not share: the edited line is read and drawn by poppler,
// MuPDF and Ghostscript where it was, and nothing else complains.
TEST_F(WriteBack, AnEditedLineStaysWhereItWasInEveryViewer) {
  if (!hasTool("mutool") || !hasTool("gs") || !hasTool("pdftoppm")) GTEST_SKIP() << "mupdf-tools or ghostscript missing";
  const auto check = [&](const char* name, const QList<QByteArray>& streams, QSizeF size = {595, 842},
                         const QByteArray& pageExtra = {}, const QPair<QByteArray, QByteArray>& form = {}) {
    SCOPED_TRACE(name);
    const QString source = splitContentPdf(path(QStringLiteral("split.pdf")), streams, size, pageExtra, form);
    ASSERT_FALSE(source.isEmpty());
    const QString saved = path(QStringLiteral("split-saved.pdf"));
    PdfDocument doc;
    ASSERT_TRUE(doc.open(source));
    std::vector<TextBlock> blocks = doc.extractText(0);
    const int edited = blockIndexContaining(blocks, QStringLiteral("4200"));
    ASSERT_GE(edited, 0);
    const QRectF place = oracles::turnedPlace(blocks[size_t(edited)].rect, blocks[size_t(edited)].rotation);
    editText(blocks[size_t(edited)], QStringLiteral("Amount due 9100 dollars"));
    ASSERT_TRUE(doc.overlayOcrText(0, blocks, false));
    ASSERT_TRUE(doc.save(saved));
    EXPECT_EQ(oracles::editReadBackFault(source, saved, QStringLiteral("dollars"), place, doc.pageSize(0)).toStdString(),
              "");
    const QString text = pdftotext(saved);
    EXPECT_EQ(occurrences(text, QStringLiteral("Payable")), occurrences(pdftotext(source), QStringLiteral("Payable")));
    // Text inside a form is covered, not taken out of the form.
    if (form.second.isEmpty()) {
      EXPECT_EQ(occurrences(text, QStringLiteral("4200")), 0);
    }
  };
  const QByteArray amount = "(Amount due 4200 euro) Tj ";
  check("text object split between streams",
        {"BT /F1 14 Tf 72 700 Td " + amount + "0 -30 Td", "(Payable within ten days) Tj ET"});
  check("saved state split between streams",
        {"q 0.5 0 0 0.5 0 0 cm", "BT /F1 28 Tf 144 1400 Td " + amount + "ET BT /F1 28 Tf 144 1340 Td (Payable) Tj ET", "Q"});
  check("transformed form", {"q 1 0 0 1 40 60 cm /Fx1 Do Q BT /F1 14 Tf 72 760 Td (Payable) Tj ET"}, {595, 842}, {},
        {"/BBox [0 0 400 200] /Matrix [0.8 0 0 0.8 30 400]", "BT /F1 14 Tf 10 100 Td " + amount + "ET"});
  check("turned line", {"BT /F1 14 Tf 0 1 -1 0 60 300 Tm " + amount + "ET BT /F1 14 Tf 120 700 Td (Payable) Tj ET"});
  check("top edge of an A3 page", {"BT /F1 14 Tf 72 1181 Td " + amount + "ET"}, {842, 1191});
  check("small header page with a flipped state",
        {"1 0 0 -1 0 111 cm BT /F1 10 Tf 1 0 0 -1 250 20 Tm " + amount + "ET"}, {384, 111});
  check("offset crop box and turned page", {"BT /F1 14 Tf 72 700 Td " + amount + "ET"}, {595, 842},
        "/CropBox [30 40 560 800] /Rotate 270");
}

// A page rewritten into one stream before an edit is taken from the document
// as it stands: edits saved under another name stay when the next edit comes.
TEST_F(WriteBack, AJoinedPageKeepsEditsSavedUnderAnotherName) {
  const QString one = splitContentPdf(path(QStringLiteral("one.pdf")),
                                      {"BT /F1 14 Tf 72 700 Td (Amount due 4200 euro) Tj 0 -30 Td",
                                       "(Payable within ten days) Tj ET"});
  ASSERT_FALSE(one.isEmpty());
  const QString source = path(QStringLiteral("two.pdf"));
  ASSERT_EQ(runTool("qpdf", {"--empty", "--pages", one, one, "--", source}), 0);
  const QString copy = path(QStringLiteral("copy.pdf"));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  for (const int page : {0, 1}) {
    std::vector<TextBlock> blocks = doc.extractText(page);
    const int edited = blockIndexContaining(blocks, QStringLiteral("4200"));
    ASSERT_GE(edited, 0);
    editText(blocks[size_t(edited)], QStringLiteral("Changed on page %1").arg(page + 1));
    ASSERT_TRUE(doc.overlayOcrText(page, blocks, false));
    ASSERT_TRUE(doc.save(copy));
  }
  const QStringList pages = oracles::pageTexts(copy);
  ASSERT_EQ(pages.size(), 2);
  for (const int page : {0, 1})
    EXPECT_EQ(occurrences(pages[page], QStringLiteral("Changed on page %1").arg(page + 1)), 1) << pages[page].toStdString();
}

namespace {

// A page whose copyright signs are glyphs of a Type 3 font (a filled square
// at code 169, and at the codes of "Pa3efgo"): one after a Helvetica word in
// the same text object, one red and under a scaled state, below the four
// lines; then `more`. The font's matrix draws `scale` of a glyph unit per
// thousandth of the size.
QString type3SignPdf(const QString& path, const QByteArray& more = {}, double scale = 1) {
  QByteArray content = rawLines(72, 700) + more;
  content += "BT /F1 12 Tf 72 400 Td (Copyright) Tj /T3 12 Tf <A9> Tj /F1 12 Tf ( 1986) Tj ET\n"
             "q 0.5 0 0 0.5 100 100 cm 1 0 0 rg BT /T3 24 Tf 400 400 Td [<A9> -500 <A9>] TJ ET Q\n";
  const QStringList objects{
      QStringLiteral("<< /Type /Catalog /Pages 2 0 R >>"),
      QStringLiteral("<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
      QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R "
                     "/Resources << /Font << /F1 5 0 R /T3 6 0 R >> >> >>"),
      handwritten::stream(content),
      QStringLiteral("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"),
      QStringLiteral("<< /Type /Font /Subtype /Type3 /Name /Sign /FontBBox [0 0 1000 1000] "
                     "/FontMatrix [%1 0 0 %1 0 0] /CharProcs << /sign 7 0 R >> /Encoding << /Type /Encoding "
                     "/Differences [51 /sign 80 /sign 97 /sign 101 /sign 102 /sign 103 /sign 111 /sign 169 /sign] >> "
                     "/FirstChar 32 /LastChar 169 /Widths [%2] /Resources << >> >>").arg(scale / 1000)
          .arg(QStringLiteral("1000 ").repeated(138)),
      handwritten::stream("1000 0 0 0 1000 1000 d1 0 0 1000 1000 re f"),
  };
  return handwritten::writePdf(path, objects) ? path : QString();
}

// A 400 x 50 page whose line `text` (letters and blanks) is drawn at 14 pt in
// a Type 3 font of unit matrix whose glyph procedures draw Helvetica's
// letters at 0.12 in an 8.33-fold space, each stating a box that reaches
// well beyond its letter.
QString type3LetteringPdf(const QString& path, const QByteArray& text) {
  QStringList objects{
      QStringLiteral("<< /Type /Catalog /Pages 2 0 R >>"),
      QStringLiteral("<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
      QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 50] /Contents 4 0 R "
                     "/Resources << /Font << /T3 5 0 R >> >> >>"),
      handwritten::stream("BT /T3 14 Tf 20 18 Td (" + text + ") Tj ET"),
      QString(),
      QStringLiteral("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"),
  };
  QString procs, differences, widths;
  for (int code = 32; code <= 122; ++code) {
    const bool used = text.contains(char(code));
    widths += QLatin1String(!used ? "0 " : code == ' ' ? "0.278 " : "0.6 ");
    if (!used) continue;
    const QByteArray letter(1, char(code));
    objects << handwritten::stream(code == ' ' ? QByteArray("0.278 0 d0")
                                               : "0.6 0 -0.1 -0.3 0.9 1.2 d1 q 8.33 0 0 8.33 0 0 cm BT /F 0.12 Tf (" +
                                                     letter + ") Tj ET Q");
    procs += QStringLiteral("/g%1 %2 0 R ").arg(code).arg(objects.size());
    differences += QStringLiteral("%1 /g%1 ").arg(code);
  }
  objects[4] = QStringLiteral("<< /Type /Font /Subtype /Type3 /FontBBox [-0.1 -0.3 0.9 1.2] /FontMatrix [1 0 0 1 0 0] "
                              "/CharProcs << %1>> /Encoding << /Type /Encoding /Differences [%2] >> /FirstChar 32 "
                              "/LastChar 122 /Widths [%3] /Resources << /Font << /F 6 0 R >> >> >>")
                   .arg(procs, differences, widths);
  return handwritten::writePdf(path, objects) ? path : QString();
}

// Pixels that differ between 72 dpi renderings of the first pages of two
// files below `belowY` (user space, y up); -1 when they cannot be compared.
int differingPixelsBelow(const QString& a, const QString& b, double belowY) {
  const QImage one = oracles::renderWithPoppler(a, 0, 72).convertToFormat(QImage::Format_RGB32);
  const QImage two = oracles::renderWithPoppler(b, 0, 72).convertToFormat(QImage::Format_RGB32);
  if (one.isNull() || one.size() != two.size()) return -1;
  int differing = 0;
  for (int y = int(842 - belowY); y < one.height(); ++y)
    for (int x = 0; x < one.width(); ++x) differing += one.pixel(x, y) != two.pixel(x, y);
  return differing;
}

int inkedPixelsBelow(const QString& file, double belowY) {
  const QImage image = oracles::renderWithPoppler(file, 0, 72);
  int ink = 0;
  for (int y = int(842 - belowY); y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) ink += qGray(image.pixel(x, y)) < 200;
  return ink;
}

}  // namespace

// pdfium leaves text in Type 3 fonts out when it writes a page's content
// anew: an edit elsewhere on the page must not take such glyphs with it, nor
// move or recolour them.
TEST_F(WriteBack, GlyphsOfAType3FontSurviveAnEditElsewhere) {
  if (!hasTool("mutool") || !hasTool("pdftoppm")) GTEST_SKIP() << "mupdf-tools missing";
  const QString source = type3SignPdf(path(QStringLiteral("type3.pdf")));
  ASSERT_FALSE(source.isEmpty());
  ASSERT_GT(inkedPixelsBelow(source, 600), 400);
  // The second edit takes the line with the first sign: the red ones stay.
  for (const bool copyrightLine : {false, true}) {
    SCOPED_TRACE(copyrightLine ? "copyright line edited" : "other line edited");
    const QString saved = path(QStringLiteral("type3-saved.pdf"));
    PdfDocument doc;
    ASSERT_TRUE(doc.open(source));
    std::vector<TextBlock> blocks = doc.extractText(0);
    const int edited = blockIndexContaining(blocks, copyrightLine ? QStringLiteral("1986") : QStringLiteral("4200"));
    ASSERT_GE(edited, 0);
    editText(blocks[size_t(edited)], copyrightLine ? QStringLiteral("Copyleft 1987") : QStringLiteral("Amount due 9100 dollars"));
    ASSERT_TRUE(doc.overlayOcrText(0, blocks, false));
    ASSERT_TRUE(doc.save(saved));
    expectQpdfCheckPasses(saved);

    if (!copyrightLine) {
      EXPECT_EQ(differingPixelsBelow(source, saved, 600), 0);
    }
    EXPECT_EQ(differingPixelsBelow(source, saved, 390), 0);
    QByteArray trace;
    ASSERT_EQ(runTool("mutool", {"trace", saved, "1"}, &trace), 0);
    EXPECT_EQ(trace.count("<span font=\"Sign\""), copyrightLine ? 1 : 2) << trace.constData();
    EXPECT_EQ(trace.count("glyph=\"169\""), copyrightLine ? 2 : 3) << trace.constData();
    QByteArray plain;
    ASSERT_EQ(runTool("qpdf", {"--qdf", "--object-streams=disable", saved, "-"}, &plain), 0);
    EXPECT_FALSE(plain.contains("BDC")) << "a tag of the edit stayed in the page";
    const QString text = pdftotext(saved);
    EXPECT_EQ(occurrences(text, copyrightLine ? QStringLiteral("Copyleft 1987") : QStringLiteral("9100 dollars")), 1)
        << text.toStdString();
    EXPECT_EQ(occurrences(text, copyrightLine ? QStringLiteral("1986") : QStringLiteral("4200")), 0)
        << text.toStdString();
    for (const QString& line : {kLines[0], kLines[2], kLines[3]}) EXPECT_EQ(occurrences(text, line), 1);
  }
}

// A footer in a Type 3 font whose matrix draws its glyphs at 0.3 of the usual
// scale is written as tall as its glyphs stood (8.5 pt), not three times that.
TEST_F(WriteBack, AType3LineIsWrittenAtTheSizeItWasShown) {
  PdfDocument doc;
  ASSERT_TRUE(doc.open(type3SignPdf(path(QStringLiteral("footer.pdf")), "BT /T3 28.33 Tf 72 40 Td (Page 3 of 3) Tj ET", 0.3)));
  std::vector<TextBlock> blocks = doc.extractText(0);
  editText(blocks.at(size_t(blockIndexContaining(blocks, QStringLiteral("of 3")))), QStringLiteral("Page 3 of 4"));
  ASSERT_TRUE(doc.overlayOcrText(0, blocks, false) && doc.save(path(QStringLiteral("footer-saved.pdf"))));
  const QImage render = oracles::renderWithPoppler(path(QStringLiteral("footer-saved.pdf")), 0, 144);
  EXPECT_GT(oracles::inkIn(render, QRectF(72, 41, 60, 7), 842, 144), 200);
  EXPECT_EQ(oracles::inkIn(render, QRectF(60, 50.5, 300, 30), 842, 144), 0);
}

// A Type 3 line whose glyph procedures draw their letters through a matrix
// of their own, in boxes three times their height, is written at the size
// its letters were drawn at (14 pt), in MuPDF's reading, and not squeezed.
TEST_F(WriteBack, AType3LineIsWrittenAtTheSizeItsLettersWereDrawn) {
  if (!hasTool("mutool")) GTEST_SKIP() << "mupdf-tools missing";
  const QString saved = path(QStringLiteral("lettering-saved.pdf"));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(type3LetteringPdf(path(QStringLiteral("lettering.pdf")), "Total due now")));
  std::vector<TextBlock> blocks = doc.extractText(0);
  ASSERT_EQ(blocks.size(), 1u);
  editText(blocks[0], QStringLiteral("Total paid now"));
  ASSERT_TRUE(doc.overlayOcrText(0, blocks, false) && doc.save(saved));
  expectQpdfCheckPasses(saved);
  QByteArray trace;
  ASSERT_EQ(runTool("mutool", {"trace", saved, "1"}, &trace), 0);
  static const QRegularExpression span(
      QStringLiteral("<span font=\"[A-Z]{6}\\+[^\"]+\"[^>]* trm=\"(\\S+) 0 0 (\\S+)\""));
  const QRegularExpressionMatch written = span.match(QString::fromUtf8(trace));
  ASSERT_TRUE(written.hasMatch()) << trace.constData();
  const double width = written.captured(1).toDouble(), height = written.captured(2).toDouble();
  EXPECT_NEAR(height, 14.0, 1.5);
  EXPECT_GT(width / height, 0.75);
  // "Total" and "now" keep their Type 3 glyphs, which poppler sets on a line of their own.
  EXPECT_TRUE(oracles::mupdfReading(saved, 0).text.contains(QStringLiteral("Total paid now")));
  EXPECT_EQ(occurrences(pdftotext(saved).simplified(), QStringLiteral("Total paid now")), 1);
}

// Sheared lines turned off the page: editing one rewrites it alone; MuPDF
// reads all that the page shows as before, each letter in its place and font.
TEST_F(WriteBack, EditingATurnedLineLeavesTheOtherLinesAsTheyWere) {
  const QString source = corpusDir() + QStringLiteral("/../real-world-pdfs/bug946506.pdf");
  if (!QFileInfo::exists(source) || !hasTool("mutool")) GTEST_SKIP() << "shared file or mupdf-tools missing";
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  std::vector<TextBlock> blocks = doc.extractText(0);  // the line edited lies below the page
  editText(blocks.at(size_t(blockIndexContaining(blocks, QStringLiteral("sus quis leo")))), QStringLiteral("sus ZEBRA"));
  const QString saved = path(QStringLiteral("sheared.pdf"));
  ASSERT_TRUE(doc.overlayOcrText(0, blocks, false) && doc.save(saved));
  QByteArray before, after;
  ASSERT_EQ(runTool("mutool", {"draw", "-F", "stext", "-o", "-", source, "1"}, &before) +
                runTool("mutool", {"draw", "-F", "stext", "-o", "-", saved, "1"}, &after), 0);
  // The same words in the same faces, placed within a hundredth of a point:
  // a line set again may differ far below that.
  const auto split = [](const QByteArray& stext, QList<double>* numbers) {
    QString text = QString::fromUtf8(stext.mid(stext.indexOf("<page")));
    static const QRegularExpression number(QStringLiteral("-?\\d*\\.\\d+"));
    for (auto it = number.globalMatch(text); it.hasNext();) *numbers << it.next().captured().toDouble();
    return text.replace(number, QStringLiteral("#"));
  };
  QList<double> was, is;
  ASSERT_EQ(split(after, &is), split(before, &was));
  for (qsizetype i = 0; i < was.size(); ++i) ASSERT_NEAR(is[i], was[i], 0.01) << "number " << i;
}

namespace {

const QString kDejaVuSans = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");

// DejaVu Sans's glyphs for `text` and their advances in thousandths of the size.
QPair<QList<quint32>, QList<double>> dejaVuGlyphs(const QString& text) {
  const QRawFont font(kDejaVuSans, 1000);
  const QList<quint32> glyphs = font.glyphIndexesForString(text);
  QList<double> advances;
  for (const QPointF& advance : font.advancesForGlyphIndexes(glyphs, QRawFont::UseDesignMetrics)) advances << advance.x();
  return {glyphs, advances};
}

// How wide DejaVu Sans sets `text` at `size` points.
double dejaVuWidth(const QString& text, double size) {
  const QList<double> advances = dejaVuGlyphs(text).second;
  return std::accumulate(advances.begin(), advances.end(), 0.0) * size / 1000;
}

// A page as some printer drivers write one: each {text} of `content` is a
// show in DejaVu Sans, embedded as a CID font (/C1) whose encoding is a CMap
// of the file's own, so that how many glyphs a show draws is known only by
// reading that CMap; /F1 is Helvetica.
QString printerDriverPdf(const QString& path, QByteArray content) {
  static const QRegularExpression show(QStringLiteral("\\{([^}]*)\\}"));
  QString written = QString::fromLatin1(content), shown;
  for (auto m = show.match(written); m.hasMatch(); m = show.match(written)) {
    QByteArray hex = "<";
    for (const quint32 glyph : dejaVuGlyphs(m.captured(1)).first) hex += QByteArray::number(glyph, 16).rightJustified(4, '0');
    shown += m.captured(1);
    written.replace(m.capturedStart(), m.capturedLength(), QString::fromLatin1(hex + ">"));
  }
  QString letters;
  for (const QChar c : shown)
    if (!letters.contains(c)) letters += c;
  const auto [glyphs, advances] = dejaVuGlyphs(letters);
  QByteArray map = QByteArray::number(glyphs.size()) + " beginbfchar\n", widths;
  for (qsizetype i = 0; i < glyphs.size(); ++i) {
    const QByteArray id = QByteArray::number(glyphs[i], 16).rightJustified(4, '0');
    map += "<" + id + "> <" + QByteArray::number(letters[i].unicode(), 16).rightJustified(4, '0') + ">\n";
    widths += QByteArray::number(glyphs[i]) + " [" + QByteArray::number(qRound(advances[i])) + "] ";
  }
  const auto cmap = [](const QByteArray& ordering, const QByteArray& name, const QByteArray& body) {
    return "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CIDSystemInfo << /Registry (Adobe) /Ordering (" +
           ordering + ") /Supplement 0 >> def /CMapName /" + name + " def 1 begincodespacerange <0000> <FFFF> "
           "endcodespacerange " + body + " endcmap CMapName currentdict /CMap defineresource pop end end";
  };
  QFile file(kDejaVuSans);
  const QByteArray ttf = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  const bool ok = !ttf.isEmpty() && handwritten::writePdf(
      path,
      {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
       "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources << /Font << /C1 5 0 R "
       "/F1 11 0 R >> >> >>",
       handwritten::stream(written.toLatin1()),
       "<< /Type /Font /Subtype /Type0 /BaseFont /DejaVuSans /Encoding 6 0 R /DescendantFonts [7 0 R] /ToUnicode 8 0 R >>",
       handwritten::stream(cmap("Identity", "Driver-H", "1 begincidrange <0000> <FFFF> 0 endcidrange"),
                           "/Type /CMap /CMapName /Driver-H /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) "
                           "/Supplement 0 >>"),
       "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /DejaVuSans /CIDSystemInfo << /Registry (Adobe) /Ordering "
       "(Identity) /Supplement 0 >> /FontDescriptor 9 0 R /CIDToGIDMap /Identity /W [" + QString::fromLatin1(widths) + "] >>",
       handwritten::stream(cmap("UCS", "U", map + "endbfchar")),
       "<< /Type /FontDescriptor /FontName /DejaVuSans /Flags 32 /FontBBox [-1021 -463 1793 1232] /ItalicAngle 0 "
       "/Ascent 928 /Descent -236 /CapHeight 729 /StemV 80 /FontFile2 10 0 R >>",
       handwritten::stream(ttf, "/Length1 " + QByteArray::number(ttf.size())),
       "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"});
  return ok ? path : QString();
}

// What MuPDF finds drawn on the baseline `y` (user space) in the font the
// page itself names `font`, blanks left out.
QString drawnInFont(const QString& file, const QString& font, double y) {
  QString drawn;
  for (const oracles::TracedGlyph& g : oracles::tracedGlyphs(file, 0))
    if (g.font == font && std::abs(g.y - y) < 1) drawn += g.text.trimmed();
  return drawn;
}

}  // namespace

// Lines a page draws in ways an edit must respect, each edited as the
// editor hands it over, then judged by poppler (words, boxes, pixels) and
// MuPDF (which font draws what). Most lines are shows of a font whose codes
// cannot be counted without its CMap, so they are not cut at their glyphs:
// whole shows stay, move or go, and words typed between them push those
// after them on into the free room of the row. A line written anew goes
// where the first of its shows was drawn, under what the page painted after
// it; a character no installed face draws, or a line that
// clips what is painted after it (4 Tr as 7 Tr), refuses the edit; a line
// recognised over a picture of text is written on white.
TEST_F(WriteBack, AnEditedLineTakesThePlaceFontsAndCoverThePageGaveItOrIsRefused) {
  if (!hasTool("mutool") || !hasTool("pdftoppm")) GTEST_SKIP() << "mupdf-tools or poppler-utils missing";
  if (!QFileInfo::exists(kDejaVuSans)) GTEST_SKIP() << "DejaVu Sans missing";
  QByteArray faces;  // a private-use character is drawn by no installed face, as a rule
  const bool privateUseDrawn = runTool("fc-list", {":charset=e000"}, &faces) == 0 && !faces.trimmed().isEmpty();
  const auto number = [](double v) { return QByteArray::number(v, 'f', 2); };
  // Two shows with a grey box painted over the first before the second is drawn.
  const double second = 72 + dejaVuWidth(QStringLiteral("Amount due"), 14);
  const QRectF box(68, 694, second - 68 + 4, 22);
  const QByteArray boxed = "BT /C1 14 Tf 72 700 Td {Amount due} Tj ET q 0.8 g 68 694 " + number(box.width()) +
                           " 22 re f Q BT /C1 14 Tf " + number(second) + " 700 Td { 4200 euro} Tj ET";
  // A show a word, as drivers print word by word; "4200 " leaves a number
  // of five digits 125 % of its room.
  const QByteArray words = "BT /C1 14 Tf 72 700 Td {Amount } Tj {due: } Tj {4200 } Tj {euro} Tj ET";
  // Stripes as a scan draws a line of text, recognised but never written.
  QByteArray stripes;
  for (int i = 0; i < 80; ++i) stripes += i % 3 ? "00" : "FF";
  const QByteArray picture = "q 300 0 0 14 72 697 cm BI /W 40 /H 2 /CS /G /BPC 8 /F /AHx ID " + stripes + "> EI Q";
  struct Case {
    const char* name;
    QByteArray content;
    QString line;           // a word of the edited line; empty: the line recognised over the picture
    QString typed;          // the line's new text
    QString refusal = {};   // what the message of a refused edit names
    QString reads = {};     // what poppler reads on the line after the edit
    QString pageFont = {};  // what of it the page's own font still draws, blanks aside
    QRectF paper = {};      // where no ink shows
  };
  const Case cases[] = {
      {"retyped whole, a box painted between its shows", boxed, "4200", "Total paid 9100 dollars", {},
       "Total paid 9100 dollars", {}, box.adjusted(1, 1, -1, -1)},
      {"a word lengthened inside the kept start", "BT /C1 14 Tf 72 700 Td {Hello } Tj {dear } Tj {world} Tj ET", "dear",
       "Hellos world", {}, "Hellos world", "world"},
      {"a word lengthened after the show that ends it", "BT /C1 14 Tf 72 700 Td {Hello} Tj { dear } Tj {world} Tj ET",
       "dear", "Hellos world", {}, "Hellos world", "Helloworld"},
      {"a middle needing 125 % of its room", words, "4200", "Amount due: 91000 euro", {}, "Amount due: 91000 euro",
       "Amountdue:euro"},
      {"a middle four times its room, the end spaced off in its show, another word further on the row",
       "BT /C1 14 Tf 72 700 Td {Amount } Tj {due: } Tj {4200 } Tj [-300 {euro}] TJ ET BT /C1 14 Tf 345 700 Td {Total} Tj ET",
       "4200", "Amount due: 91000 and ninety more euro", {},
       "Amount due: 91000 and ninety more euro Total", "Amountdue:euroTotal"},
      {"a private-use character typed", "BT /C1 14 Tf 72 700 Td {Amount due 4200 euro} Tj ET", "4200",
       QStringLiteral("Amount due \uE000 euro"), "U+E000"},
      {"a private-use character typed into a show that draws another block too",
       "BT /C1 14 Tf 72 700 Td [{Amount due 4200 euro} -20000 {Page 6}] TJ ET", "4200",
       QStringLiteral("Amount due \uE000 euro"), "U+E000"},
      {"fill and clip (4 Tr) with a picture painted through it",
       "q BT 4 Tr /F1 14 Tf 72 700 Td (Amount due 4200 euro) Tj ET 0 0 1 rg 60 690 300 30 re f Q", "4200",
       "Amount due 9100 euro", QStringLiteral("обрезки")},
      {"recognised over a picture of text", picture, {}, "Paid", {}, "Paid", {}, QRectF(120, 698, 250, 12)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (privateUseDrawn && c.typed.contains(QChar(0xE000))) continue;
    const QString source = printerDriverPdf(path(QStringLiteral("line.pdf")), c.content);
    const QString saved = path(QStringLiteral("line-saved.pdf"));
    ASSERT_FALSE(source.isEmpty());
    QFile::remove(saved);
    PdfDocument doc;
    ASSERT_TRUE(doc.open(source));
    std::vector<TextBlock> blocks;
    if (c.line.isEmpty()) {
      blocks.push_back(recognisedBlock(QStringLiteral("Amount due 4200 euro"), QRectF(72, 697, 300, 14)));
    } else {
      blocks = doc.extractText(0);
    }
    const int edited = c.line.isEmpty() ? 0 : blockIndexContaining(blocks, c.line);
    ASSERT_GE(edited, 0);
    editText(blocks[size_t(edited)], c.typed);
    const bool done = doc.overlayOcrText(0, blocks, false);
    if (!c.refusal.isEmpty()) {
      EXPECT_FALSE(done);
      EXPECT_TRUE(doc.lastError().contains(c.refusal)) << doc.lastError().toStdString();
      EXPECT_FALSE(doc.isModified());
      continue;
    }
    ASSERT_TRUE(done) << doc.lastError().toStdString();
    ASSERT_TRUE(doc.save(saved));
    expectQpdfCheckPasses(saved);
    // The line's words in poppler's reading, each as wide as at least 70 %
    // of its natural width and clear of the next.
    QList<QPair<QString, QRectF>> line;
    for (const auto& word : oracles::pageWords(saved, 0, 842))
      if (word.second.center().y() > 697 && word.second.center().y() < 711) line << word;
    std::sort(line.begin(), line.end(), [](const auto& a, const auto& b) { return a.second.left() < b.second.left(); });
    QStringList read;
    for (qsizetype i = 0; i < line.size(); ++i) {
      read << line[i].first;
      EXPECT_GE(line[i].second.width(), 0.7 * dejaVuWidth(line[i].first, 14)) << line[i].first.toStdString();
      if (i > 0) {
        EXPECT_GE(line[i].second.left(), line[i - 1].second.right() - 0.5) << line[i].first.toStdString();
        // A blank apart, as typed, but from the word set further on the row.
        if (line[i].first != QLatin1String("Total")) {
          EXPECT_LE(line[i].second.left(), line[i - 1].second.right() + 7) << line[i].first.toStdString();
        }
      }
    }
    EXPECT_EQ(read.join(QLatin1Char(' ')).toStdString(), c.reads.toStdString());
    EXPECT_EQ(drawnInFont(saved, QStringLiteral("DejaVuSans"), 700).toStdString(),
              QString(c.pageFont).remove(QLatin1Char(' ')).toStdString());
    const QImage render = oracles::renderWithPoppler(saved, 0, 72);
    EXPECT_GT(oracles::inkIn(render, QRectF(60, 695, 400, 18), 842, 72), 0) << "the new line is not drawn";
    if (!c.paper.isNull()) {
      EXPECT_EQ(oracles::inkIn(render, c.paper, 842, 72), 0) << "ink over what the page painted, or under no white";
    }
  }
}

// A running head draws the chapter title and the page number in one TJ; a
// heading stands alone with the page empty to its right. Retyping the title
// longer or shorter, or deleting it, leaves the number's glyph as it was
// (MuPDF's drawing); a word appended to the heading takes the free room
// beside it instead of narrowing it, and no typed glyph is drawn wider than
// its face.
TEST_F(WriteBack, AnEditChangesOnlyTheTypedGlyphsAndALongerLineTakesTheFreeRoom) {
  if (!hasTool("mutool")) GTEST_SKIP() << "mupdf-tools missing";
  const QString source = splitContentPdf(path(QStringLiteral("head.pdf")),
                                         {"BT /F1 10 Tf 72 760 Td [(Chapter 1: Preliminaries) -30000 (6)] TJ ET\n"
                                          "BT /F1 16 Tf 72 600 Td (Short heading) Tj ET\n"});
  ASSERT_FALSE(source.isEmpty());
  const auto numberGlyph = [](const QString& file) {
    for (const oracles::TracedGlyph& g : oracles::tracedGlyphs(file, 0))
      if (g.text == QLatin1String("6")) return g;
    return oracles::TracedGlyph{};
  };
  const oracles::TracedGlyph six = numberGlyph(source);
  ASSERT_EQ(six.font, QStringLiteral("Helvetica"));
  for (const QString& title : {QStringLiteral("Chapter 1: Getting started with the tools"), QStringLiteral("Chapter 1"),
                               QString()}) {
    SCOPED_TRACE(title.toStdString());
    PdfDocument doc;
    ASSERT_TRUE(doc.open(source));
    std::vector<TextBlock> blocks = doc.extractText(0);
    const int head = blockIndexContaining(blocks, QStringLiteral("Preliminaries"));
    ASSERT_GE(head, 0);
    ASSERT_FALSE(blocks[size_t(head)].text.contains(QLatin1Char('6')));  // the number is a block of its own
    editText(blocks[size_t(head)], title);
    const QString saved = path(QStringLiteral("head-saved.pdf"));
    ASSERT_TRUE(doc.overlayOcrText(0, blocks, false)) << doc.lastError().toStdString();
    ASSERT_TRUE(doc.save(saved));
    const oracles::TracedGlyph now = numberGlyph(saved);
    EXPECT_EQ(now.font, six.font);
    EXPECT_LT(QLineF(now.at, six.at).length(), 0.5);
    EXPECT_NEAR(now.across, six.across, 0.01);
    for (const oracles::TracedGlyph& g : oracles::tracedGlyphs(saved, 0)) EXPECT_LE(g.across, g.up * 1.001) << g.text.toStdString();
  }
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  std::vector<TextBlock> blocks = doc.extractText(0);
  const int heading = blockIndexContaining(blocks, QStringLiteral("Short heading"));
  ASSERT_GE(heading, 0);
  editText(blocks[size_t(heading)], QStringLiteral("Short heading with many more words typed after it"));
  const QString saved = path(QStringLiteral("heading-saved.pdf"));
  ASSERT_TRUE(doc.overlayOcrText(0, blocks, false));
  ASSERT_TRUE(doc.save(saved));
  for (const oracles::TracedGlyph& g : oracles::tracedGlyphs(saved, 0))
    if (g.y > 0 && std::abs(g.at.y() - (842 - 600)) < 1) {
      EXPECT_NEAR(g.across, g.up, 0.01) << g.text.toStdString() << " narrowed";
      if (g.text == QLatin1String("S")) {
        EXPECT_EQ(g.font, QStringLiteral("Helvetica"));
      }
    }
  EXPECT_TRUE(pdftotext(saved).contains(QStringLiteral("with many more words typed after it")));

  // A line drawn faint, then again dark over it: both copies keep their
  // glyphs, the typed word is dark.
  const QString copies = splitContentPdf(path(QStringLiteral("copies.pdf")),
                                         {"BT /F1 12 Tf 0.8 g 72 700 Td (A and \\(not C\\)) Tj ET\n"
                                          "BT /F1 12 Tf 0.2 g 72 700 Td (A and \\(not C\\)) Tj ET\n"});
  ASSERT_FALSE(copies.isEmpty());
  PdfDocument twice;
  ASSERT_TRUE(twice.open(copies));
  blocks = twice.extractText(0);
  ASSERT_EQ(blocks.size(), 1u);
  editText(blocks[0], QStringLiteral("A and (not C) okapi"));
  ASSERT_TRUE(twice.overlayOcrText(0, blocks, false));
  ASSERT_TRUE(twice.save(saved));
  QMap<QString, QString> painted;  // the letters drawn in each paint
  for (const oracles::TracedGlyph& g : oracles::tracedGlyphs(saved, 0)) painted[g.paint.section(' ', 1)] += g.text;
  EXPECT_EQ(painted.value(QStringLiteral(".8")).remove(' '), QStringLiteral("Aand(notC)"));
  EXPECT_EQ(painted.value(QStringLiteral(".2")).remove(' '), QStringLiteral("Aand(notC)okapi"));

  // On a narrow sheet, words that would leave it even a quarter as wide are refused, the file untouched.
  const QString narrow = splitContentPdf(path(QStringLiteral("narrow.pdf")),
                                         {"BT /F1 12 Tf 10 50 Td (Hello world) Tj ET\n"}, QSizeF(200, 100));
  ASSERT_FALSE(narrow.isEmpty());
  // Appended to, retyped whole, or given a line of its own below.
  for (const QString& typed : {QStringLiteral("Hello world "), QStringLiteral("Zebra "), QStringLiteral("Hello world\n")}) {
    PdfDocument small;
    ASSERT_TRUE(small.open(narrow));
    blocks = small.extractText(0);
    ASSERT_EQ(blocks.size(), 1u);
    editText(blocks[0], typed + QStringLiteral("and many more words ").repeated(12));
    EXPECT_FALSE(small.overlayOcrText(0, blocks, false));
    EXPECT_TRUE(small.lastError().contains(QStringLiteral("не помещается"))) << small.lastError().toStdString();
    EXPECT_FALSE(small.isModified());
  }
}
// A page whose content leaves a character and word spacing, a scale, a
// leading and a rise set: a block added to it is drawn exactly as on the
// same page without them (MuPDF's trace of its glyphs).
TEST_F(WriteBack, ANewBlockIsDrawnAlikeWhateverTextStateThePageLeaves) {
  if (!hasTool("mutool")) GTEST_SKIP() << "mupdf-tools missing";
  const auto newGlyphs = [&](const QByteArray& state, const QString& name) {
    const QString source = path(name + QStringLiteral(".pdf")), saved = path(name + QStringLiteral("-saved.pdf"));
    if (!writeRawPdf(source, {{state + " BT /F1 12 Tf 72 700 Td (Hello world) Tj ET\n"}})) return QString();
    PdfDocument doc;
    if (!doc.open(source)) return QString();
    std::vector<TextBlock> blocks = doc.extractText(0);
    TextBlock& typed = blocks.emplace_back();
    typed.rect = QRectF(72, 300, 300, 30);
    typed.text = QStringLiteral("Fresh words here");
    typed.textEdited = true;
    if (!doc.overlayOcrText(0, blocks, false) || !doc.save(saved)) return QString();
    QByteArray trace;
    runTool("mutool", {"trace", saved, "1"}, &trace);
    const qsizetype from = trace.indexOf("DejaVu");
    return from < 0 ? QString() : QString::fromUtf8(trace.mid(from, trace.indexOf("</span>", from) - from));
  };
  const QString plain = newGlyphs("", QStringLiteral("plain"));
  ASSERT_TRUE(plain.contains(QStringLiteral("unicode=\"F\""))) << plain.toStdString();
  EXPECT_EQ(newGlyphs("3 Tc 9 Tw 50 Tz 14 TL 6 Ts", QStringLiteral("set")).toStdString(), plain.toStdString());
}
