// Written fonts go in as subsets: on a real LaTeX manual one edited line adds
// a few kilobytes, later save sessions add small subsets, never the whole
// font again, and poppler reads the text and the subset tags back. Words typed
// into a line go in its own embedded subset only where readers read and draw
// them as typed.
#include "PopplerOracles.h"
#include "RawPdf.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QRawFont>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
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

namespace {

const QString kMono = QStringLiteral("/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf");

// One code of a line's embedded font: it draws the glyph of `glyph` (0: the
// program's glyph 0) at the stated width, and its map reads it as `reads`.
struct Code {
  char32_t glyph;
  QString reads;
  int width = 600;
};

// A word of a line retyped: the line drawn in Liberation Mono as a Type 0
// font of `codes`, or, without codes, in the font `font` names with its
// descriptor's flags, not embedded.
struct TypedWord {
  const char* name;
  QString line;  // as drawn: each character the glyph of its code, a blank of no code a gap
  QString from, to;
  QList<Code> codes;
  QByteArray unseen = {};  // what MuPDF must draw no more often than the page did
  QByteArray map = {};     // more of the map after its codes
  QString font = {};       // "name flags"
  QByteArray face = {};    // a font pdffonts must list after the edit
  bool own = false;        // the word takes the line's own font, no other
};

bool writeTypedLine(const QString& path, const TypedWord& c) {
  QByteArray content = "BT /F1 20 Tf 72 700 Td [<";
  QStringList fonts;
  if (c.codes.isEmpty()) {
    const QString name = c.font.section(' ', 0, 0), flags = c.font.section(' ', 1);
    content += QByteArray(c.line.toLatin1().toHex()) + ">] TJ ET";
    fonts << "<< /Type /Font /Subtype /TrueType /BaseFont /" + name + " /Encoding /WinAnsiEncoding /FontDescriptor 6 0 R >>"
          << "<< /Type /FontDescriptor /FontName /" + name + " /Flags " + flags +
                 " /FontBBox [0 -300 1000 900] /ItalicAngle 0 /Ascent 800 /Descent -200 /CapHeight 700 /StemV 80 >>";
  } else {
    QFile file(kMono);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray ttf = file.readAll();
    const QRawFont program(ttf, 20);
    QByteArray gids(2, '\0'), map, widths;
    for (qsizetype i = 0; i < c.codes.size(); ++i) {
      const QString glyph = QString::fromUcs4(&c.codes[i].glyph, 1);
      const quint32 gid = c.codes[i].glyph ? program.glyphIndexesForString(glyph).value(0) : 0;
      gids += char(gid >> 8);
      gids += char(gid & 0xFF);
      map += "<" + QByteArray::number(i + 1, 16).rightJustified(4, '0') + "> <";
      for (const QChar unit : c.codes[i].reads) map += QByteArray::number(unit.unicode(), 16).rightJustified(4, '0');
      map += ">\n";
      widths += QByteArray::number(c.codes[i].width) + ' ';
    }
    // Right to left in reading order, each glyph set back over two advances.
    const bool back = c.line.isRightToLeft();
    if (back) content.replace("72 700", QByteArray::number(72 + 12 * (c.line.size() - 1)) + " 700");
    for (const char32_t g : c.line.toUcs4()) {
      const auto code = std::find_if(c.codes.begin(), c.codes.end(), [&](const Code& k) { return k.glyph == g; });
      if (code == c.codes.end()) {
        content += "> -600 <";
        continue;
      }
      if (back && !content.endsWith('<')) content += "> 1200 <";
      content += QByteArray::number(code - c.codes.begin() + 1, 16).rightJustified(4, '0');
    }
    content += ">] TJ ET";
    const QByteArray cmap = "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /U def /CMapType 2 def 1 "
                            "begincodespacerange <0000> <FFFF> endcodespacerange " + QByteArray::number(c.codes.size()) +
                            " beginbfchar\n" + map + "endbfchar " + c.map +
                            " endcmap CMapName currentdict /CMap defineresource pop end end";
    fonts << "<< /Type /Font /Subtype /Type0 /BaseFont /ABCDEF+LiberationMono /Encoding /Identity-H /DescendantFonts [6 0 R] "
             "/ToUnicode 7 0 R >>"
          << "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /ABCDEF+LiberationMono /CIDSystemInfo << /Registry (Adobe) "
             "/Ordering (Identity) /Supplement 0 >> /FontDescriptor 8 0 R /CIDToGIDMap 10 0 R /W [1 [" + widths + "]] >>"
          << handwritten::stream(cmap)
          << "<< /Type /FontDescriptor /FontName /ABCDEF+LiberationMono /Flags 33 /FontBBox [-20 -300 620 900] "
             "/ItalicAngle 0 /Ascent 833 /Descent -300 /CapHeight 660 /StemV 80 /FontFile2 9 0 R >>"
          << handwritten::stream(ttf, "/Length1 " + QByteArray::number(ttf.size())) << handwritten::stream(gids);
  }
  return handwritten::writePdf(path, QStringList{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
      handwritten::stream(content)} + fonts);
}

QByteArray mupdfTrace(const QString& path) {
  QByteArray out;
  runTool(QStringLiteral("mutool"), {QStringLiteral("trace"), path}, &out);
  return out;
}

}  // namespace

// A word typed into a line is set in the line's own font only where every
// reader reads it back as typed and draws each letter as the line does:
// with the plain glyph of a letter the font also has an alternate of, never
// a ligature, glyph 0 or a code a map misreads; right to left in drawing
// order. Elsewhere it takes the installed face closest to the line's: a sans
// face for Arial, a monospaced one for Courier New, which also says serif.
TEST(FontSubset, ATypedWordReadsAndLooksAsTypedInTheLinesFontOrTheClosestFace) {
  if (!hasTool("pdftotext") || !hasTool("pdffonts") || !hasTool("mutool") || !QFile::exists(kMono))
    GTEST_SKIP() << "poppler-utils, mupdf-tools or Liberation Mono missing";
  const QString armenian = QStringLiteral("\u0532\u0561\u0580\u0565\u0582");
  const QString hebrew[] = {QStringLiteral("\u05E9\u05DC\u05D5\u05DD"), QStringLiteral("\u05E2\u05D5\u05DC\u05DD"),
                            QStringLiteral("\u05E9\u05D5\u05DD")};
  const QList<TypedWord> cases = {
      {"an alternate of a letter at a higher code", QStringLiteral("dab bad b\u03B1nd"), "dab", "and",
       {{U'a', "a"}, {U'b', "b"}, {U'd', "d"}, {U'n', "n"}, {U'\u03B1', "a"}}, "unicode=\"a\" glyph=\"alpha\""},
      {"a ligature at a lower code", QStringLiteral("\uFB01ne of"), "of", "off",
       {{U'\uFB01', "fi"}, {U'n', "n"}, {U'e', "e"}, {U'o', "o"}, {U'f', "f"}}, "glyph=\"fi\"", {}, {}, {}, true},
      {"a blank the map names and the page never draws", "rows of words", "of", "or so",
       {{0, " ", 400}, {U'r', "r"}, {U'o', "o"}, {U'w', "w"}, {U's', "s"}, {U'f', "f"}, {U'd', "d"}}, "glyph=\".notdef\""},
      {"a right-to-left line", hebrew[0] + ' ' + hebrew[1], hebrew[1], hebrew[2],
       {{U' ', " "}, {U'\u05E9', "\u05E9"}, {U'\u05DC', "\u05DC"}, {U'\u05D5', "\u05D5"}, {U'\u05DD', "\u05DD"},
        {U'\u05E2', "\u05E2"}}},
      // Readers differ on the range's extra code; its width tells it from the letter.
      {"a range of the map one entry too long", "x bad dab", "x", "dab",
       {{U'x', "x"}, {U'b', "b", 700}, {U'a', "a"}, {U'd', "d"}}, {}, "1 beginbfrange <0001> <0001> [<0078> <0061>] endbfrange"},
      // A map may read a code as a figure its glyph is not.
      {"a one the page draws by two codes, one a nine", "4200 19", "4200", "4100",
       {{U'4', "4"}, {U'9', "1"}, {U'2', "2"}, {U'0', "0"}, {U'1', "1"}}, "glyph=\"nine\""},
      // Measured by the lower code, the word would be laid out narrower than it draws.
      {"a letter whose lower, undrawn code states another width", "wow row", "wow", "woooow",
       {{U'i', "o", 300}, {U'o', "o"}, {U'w', "w"}, {U'r', "r"}}},
      {"an Arial line", "Barev means hello", "Barev", armenian, {}, {}, {}, "Arial 32", "DejaVuSans"},
      {"a Courier New line", "Barev means hello", "Barev", armenian, {}, {}, {}, "CourierNewPSMT 35", "DejaVuSansMono"},
  };
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (const TypedWord& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = dir.filePath(QStringLiteral("line.pdf")), saved = dir.filePath(QStringLiteral("saved.pdf"));
    ASSERT_TRUE(writeTypedLine(path, c));
    PdfDocument doc;
    ASSERT_TRUE(doc.open(path));
    std::vector<TextBlock> blocks = doc.extractText(0);
    ASSERT_EQ(blocks.size(), 1u);
    blocks[0].text.replace(c.from, c.to);
    blocks[0].textEdited = true;
    ASSERT_TRUE(doc.overlayOcrText(0, blocks, false)) << doc.lastError().toStdString();
    ASSERT_TRUE(doc.saveCopy(saved));
    // Right-to-left text is read between embedding marks.
    const auto reading = [](const QString& file) {
      return oracles::pageText(file, 0).remove(QRegularExpression(QStringLiteral("[\\x{202A}-\\x{202E}]"))).simplified();
    };
    EXPECT_EQ(reading(saved), reading(path).replace(c.from, c.to));
    if (!c.unseen.isEmpty()) {
      EXPECT_LE(mupdfTrace(saved).count(c.unseen), mupdfTrace(path).count(c.unseen));
    }
    // Every glyph keeps the width the page gave its character in its font;
    // one typed in a face of its own, with room to spare, is drawn as that face draws it.
    const QList<oracles::TracedGlyph> was = oracles::tracedGlyphs(path, 0);
    for (const oracles::TracedGlyph& g : oracles::tracedGlyphs(saved, 0)) {
      const auto same = std::find_if(was.begin(), was.end(), [&](const auto& w) { return w.font == g.font && w.text == g.text; });
      const double drawn = g.across / g.up, page = same == was.end() ? 1.0 : same->across / same->up;
      EXPECT_NEAR(drawn, page, 0.01) << g.text.toStdString();
    }
    QByteArray fonts;
    ASSERT_EQ(runTool("pdffonts", {saved}, &fonts), 0);
    EXPECT_FALSE(fonts.contains("Serif")) << fonts.toStdString();
    EXPECT_TRUE(fonts.contains(c.face)) << fonts.toStdString();
    if (c.own) {
      EXPECT_EQ(QString::fromUtf8(fonts).count(QStringLiteral("LiberationMono")), 1) << fonts.toStdString();
    }
  }
}
