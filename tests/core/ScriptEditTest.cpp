// A word appended to a line of another script (or of symbols) keeps every
// character of the line: real files whose first page holds such a line, and
// pages made here in each script, in embedded and in non-embedded fonts.
// poppler reads every character it read before, in the same order, MuPDF
// draws no glyph 0, and the line has ink where it had.
#include "CorpusReplay.h"
#include "PopplerOracles.h"
#include "RawPdf.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

using namespace testsupport;

namespace {

const QString kAppended = QStringLiteral(" okapi");

// What poppler reads, compared as characters: blanks left out, presentation
// forms and their letters alike (NFKC).
QString normalised(const QString& text) {
  return QString(text).remove(QRegularExpression(QStringLiteral("[\\s\\x{202A}-\\x{202E}]+")))
      .normalized(QString::NormalizationForm_KC);
}

bool isMark(char32_t c) {
  const QChar::Category k = QChar::category(c);
  return k == QChar::Mark_NonSpacing || k == QChar::Mark_SpacingCombining || k == QChar::Mark_Enclosing;
}

// Whether `part`'s letters stand in `whole` in the same order and each of
// its marks is there too: readers put the marks of a right-to-left letter on
// either side of it.
bool inOrder(const QString& part, const QString& whole) {
  QList<uint> letters, wholeLetters;
  std::multiset<uint> marks, wholeMarks;
  for (const uint c : part.toUcs4()) isMark(c) ? void(marks.insert(c)) : letters.append(c);
  for (const uint c : whole.toUcs4()) isMark(c) ? void(wholeMarks.insert(c)) : wholeLetters.append(c);
  qsizetype at = 0;
  for (const uint c : letters) {
    while (at < wholeLetters.size() && wholeLetters[at] != c) ++at;
    if (at++ >= wholeLetters.size()) return false;
  }
  return std::includes(wholeMarks.begin(), wholeMarks.end(), marks.begin(), marks.end());
}

// Glyphs MuPDF draws as glyph 0 or .notdef on page 1.
int notdefGlyphs(const QString& file) {
  QByteArray trace;
  runTool(QStringLiteral("mutool"), {QStringLiteral("trace"), file, QStringLiteral("1")}, &trace);
  return int(trace.count("glyph=\"0\"") + trace.count("glyph=\".notdef\""));
}

// How many glyphs each font draws on page 1, as MuPDF traces them.
std::map<QString, int> glyphsByFont(const QString& file) {
  QByteArray trace;
  runTool(QStringLiteral("mutool"), {QStringLiteral("trace"), file, QStringLiteral("1")}, &trace);
  static const QRegularExpression font(QStringLiteral("<span [^>]*font=\"([^\"]*)\""));
  std::map<QString, int> count;
  QString current;
  for (const QString& line : QString::fromUtf8(trace).split(QLatin1Char('\n'))) {
    if (const QRegularExpressionMatch m = font.match(line); m.hasMatch()) current = m.captured(1);
    if (line.contains(QStringLiteral("<g "))) ++count[current];
  }
  return count;
}

// Appends the word to the first line of another script on page 1 of `file`,
// saves and says what went wrong; empty when nothing did.
QString appendAndCheck(const QString& file, const QString& saved) {
  PdfDocument doc;
  if (!doc.open(file)) return QStringLiteral("does not open");
  std::vector<TextBlock> blocks = doc.extractText(0);
  const int line = corpus::firstOtherScriptLine(blocks);
  if (line < 0) return QStringLiteral("has no line of another script");
  TextBlock& chosen = blocks[size_t(line)];
  const QRectF place = chosen.rect;
  const QString typedInto = chosen.text;
  chosen.text += kAppended;
  chosen.textEdited = true;
  if (!doc.overlayOcrText(0, blocks, false) || !doc.save(saved))
    return QStringLiteral("edit refused: ") + doc.lastError();
  if (qEnvironmentVariableIsSet("ULVO_KEEP_EDITED")) QFile::copy(saved, qEnvironmentVariable("ULVO_KEEP_EDITED") + "/" + QFileInfo(file).fileName());
  // The page's characters all stay; those of the line's band across the
  // page, where poppler's reading order cannot move them, in their order.
  const QSizeF page = doc.pageSize(0);
  const QStringList band{QStringLiteral("-x"), QStringLiteral("0"), QStringLiteral("-y"),
                         QString::number(int(page.height() - place.bottom() - 2)), QStringLiteral("-W"),
                         QString::number(int(page.width() + 1)), QStringLiteral("-H"),
                         QString::number(int(place.height() + 4))};
  const QString before = normalised(oracles::pageText(file, 0));
  const QString after = normalised(oracles::pageText(saved, 0));
  if (!after.contains(QStringLiteral("okapi"))) return QStringLiteral("poppler does not read the appended word");
  std::multiset<uint> had, has;
  for (const uint c : before.toUcs4()) had.insert(c);
  for (const uint c : after.toUcs4()) has.insert(c);
  if (!std::includes(has.begin(), has.end(), had.begin(), had.end()))
    return QStringLiteral("poppler read \"%1\" and now reads \"%2\"").arg(before, after);
  const QString lineBefore = normalised(oracles::pageText(file, 0, band));
  const QString lineAfter = normalised(oracles::pageText(saved, 0, band)).remove(QStringLiteral("okapi"));
  if (!inOrder(lineBefore, lineAfter))
    return QStringLiteral("poppler read the line as \"%1\" and now as \"%2\"").arg(lineBefore, lineAfter);
  // Where poppler reads the line as the program does (not a font of broken
  // maps, which the program keeps glyphs of as it can), only the typed word
  // and its blank are set anew, and read back the line is one block with
  // the word, so that a second edit sees it whole. Not for a mark the
  // reading left on its own above its letters (as Qt's Thai subset has one).
  QList<uint> readHere = normalised(typedInto).toUcs4(), readThere = lineBefore.toUcs4();
  std::sort(readHere.begin(), readHere.end());
  std::sort(readThere.begin(), readThere.end());
  if (place.height() > 5 && readHere == readThere) {
    const auto onlyTypedAnew = [](const QString& was, const QString& is, const QString& typed) {
      const std::map<QString, int> fontsWere = glyphsByFont(was);
      int drawnAnew = 0;
      for (const auto& [font, count] : glyphsByFont(is)) {
        const auto had = fontsWere.find(font);
        if (had == fontsWere.end()) drawnAnew += count;
        else if (count < had->second) return QStringLiteral("%1 draws %2 glyphs, was %3").arg(font).arg(count).arg(had->second);
      }
      if (drawnAnew > typed.size())
        return QStringLiteral("%1 glyphs drawn in faces new to the page for %2 typed").arg(drawnAnew).arg(typed.size());
      return QString();
    };
    if (const QString fault = onlyTypedAnew(file, saved, kAppended); !fault.isEmpty()) return fault;
    PdfDocument again;
    if (!again.open(saved)) return QStringLiteral("the saved file does not open");
    std::vector<TextBlock> read = again.extractText(0);
    const auto whole = std::find_if(read.begin(), read.end(), [&](const TextBlock& b) {
      return b.text.contains(QStringLiteral("okapi")) && inOrder(normalised(typedInto), normalised(b.text));
    });
    if (whole == read.end()) {
      QStringList texts;
      for (const TextBlock& b : read) texts << b.text;
      return QStringLiteral("\"%1\" read back as \"%2\"").arg(typedInto, texts.join(QStringLiteral("|")));
    }
    // A second word goes after the first, as poppler reads the line (a short
    // right-to-left line with a longer Latin word reads left to right).
    const QString twice = saved + QStringLiteral(".2.pdf");
    whole->text += QStringLiteral(" zebra");
    whole->textEdited = true;
    if (!again.overlayOcrText(0, read, false) || !again.save(twice))
      return QStringLiteral("second edit refused: ") + again.lastError();
    if (const QString fault = onlyTypedAnew(saved, twice, QStringLiteral(" zebra")); !fault.isEmpty())
      return QStringLiteral("second edit: ") + fault;
    if (const QString line = normalised(oracles::pageText(twice, 0, band)); !inOrder(normalised(whole->text), line))
      return QStringLiteral("\"%1\" edited twice reads \"%2\"").arg(whole->text, line);
  }
  if (const int lost = notdefGlyphs(saved) - notdefGlyphs(file); lost > 0)
    return QStringLiteral("MuPDF draws %1 more glyphs 0").arg(lost);
  const QImage was = oracles::renderWithPoppler(file, 0, 72), is = oracles::renderWithPoppler(saved, 0, 72);
  const int inkWas = oracles::inkIn(was, place, page.height(), 72), inkIs = oracles::inkIn(is, place, page.height(), 72);
  if (inkIs < inkWas / 3)
    return QStringLiteral("the line \"%1\" at %2, %3 lost its ink (%4 dark pixels, was %5)")
        .arg(chosen.text).arg(place.x()).arg(place.y()).arg(inkIs).arg(inkWas);
  return {};
}

struct ScriptLine {
  const char* name;
  QString family;  // drawn by Qt, which embeds a subset of it
  QString text;
};

const QList<ScriptLine> kScripts = {
    {"Chinese", QStringLiteral("Noto Serif CJK SC"), QStringLiteral("中文文本的一行")},
    {"Japanese", QStringLiteral("Noto Serif CJK JP"), QStringLiteral("日本語のテキスト")},
    {"Korean", QStringLiteral("Noto Serif CJK KR"), QStringLiteral("한국어 텍스트 줄")},
    {"Hebrew", QStringLiteral("Noto Serif Hebrew"), QStringLiteral("שָׁלוֹם עוֹלָם טוֹב")},
    {"Arabic", QStringLiteral("Noto Naskh Arabic"), QStringLiteral("مرحبا بالعالم الجميل")},
    {"Thai", QStringLiteral("Noto Sans Thai"), QStringLiteral("ภาษาไทยที่สวยงามน้ำ")},
    {"Bengali", QStringLiteral("Noto Sans Bengali"), QStringLiteral("বাংলা লেখা কোথায়")},
    {"Mathematics", QStringLiteral("Noto Sans Math"), QStringLiteral("Let 𝑝 be a prime, 𝑞 ≤ 𝑝")},
    {"Dingbats", QStringLiteral("DejaVu Sans"), QStringLiteral("Cut ✂ here ✄ star ✫")},
    {"Emoji", QStringLiteral("Symbola"), QStringLiteral("Mood 😀 and 🚀 go")},
    {"Runic", QStringLiteral("Noto Sans Runic"), QStringLiteral("Runes ᚠᚢᚦᚨᚱᚲ end")},
};

// A page of one line drawn by Qt: the font is embedded as a subset, its
// glyphs shaped and read back through a ToUnicode map.
bool writeEmbedded(const QString& path, const ScriptLine& script) {
  QPdfWriter writer(path);
  writer.setPageSize(QPageSize(QSizeF(400, 120), QPageSize::Point));
  writer.setPageMargins(QMarginsF(0, 0, 0, 0));
  writer.setResolution(72);
  QPainter painter(&writer);
  if (!painter.isActive()) return false;
  QFont font(script.family);
  font.setPixelSize(18);
  painter.setFont(font);
  painter.drawText(QPointF(30, 60), script.text);
  return painter.end();
}

// The same line in a font the file names but does not carry: a Type 0 font
// of codes read through ToUnicode, right-to-left text drawn from its right
// end in reading order as producers draw it.
bool writeNotEmbedded(const QString& path, const ScriptLine& script, const QString& embed = QString()) {
  QByteArray content = "BT /F1 18 Tf ", map;
  const QList<uint> chars = script.text.toUcs4();
  const bool rtl = script.text.isRightToLeft();
  int entries = 0;
  for (const uint c : chars) {
    const QByteArray hex = QByteArray::number(++entries, 16).rightJustified(4, '0');
    QByteArray utf16;
    for (const QChar unit : QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1))
      utf16 += QByteArray::number(unit.unicode(), 16).rightJustified(4, '0');
    map += "<" + hex + "> <" + utf16 + ">\n";
    const int x = rtl ? 370 - 12 * entries : 30 + 12 * (entries - 1);
    content += "1 0 0 1 " + QByteArray::number(x) + " 60 Tm <" + hex + "> Tj ";
  }
  content += "ET";
  // Embedded by hand, codes led to the face's glyphs (Qt's writer reads
  // emoji back as nothing).
  QStringList embedding;
  QString program;
  if (!embed.isEmpty()) {
    QFile file(embed);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray ttf = file.readAll();
    const QRawFont face(ttf, 18);
    QByteArray map(2, '\0');
    for (const uint c : chars) {
      const quint32 glyph = face.glyphIndexesForString(QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1)).value(0);
      map += char(glyph >> 8);
      map += char(glyph & 0xFF);
    }
    program = QStringLiteral(" /FontFile2 9 0 R");
    embedding << handwritten::stream(ttf, "/Length1 " + QByteArray::number(ttf.size())) << handwritten::stream(map);
  }
  const QByteArray cmap = "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CIDSystemInfo << /Registry "
                          "(Adobe) /Ordering (UCS) /Supplement 0 >> def /CMapName /U def /CMapType 2 def 1 "
                          "begincodespacerange <0000> <FFFF> endcodespacerange " +
                          QByteArray::number(entries) + " beginbfchar\n" + map +
                          "endbfchar endcmap CMapName currentdict /CMap defineresource pop end end";
  const QByteArray name = script.family.toLatin1().replace(' ', "");
  return handwritten::writePdf(
      path, QStringList{QStringLiteral("<< /Type /Catalog /Pages 2 0 R >>"),
             QStringLiteral("<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
             QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 120] /Contents 4 0 R "
                            "/Resources << /Font << /F1 5 0 R >> >> >>"),
             handwritten::stream(content),
             QStringLiteral("<< /Type /Font /Subtype /Type0 /BaseFont /%1 /Encoding /Identity-H "
                            "/DescendantFonts [6 0 R] /ToUnicode 7 0 R >>").arg(QString::fromLatin1(name)),
             QStringLiteral("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /%1 /CIDSystemInfo << /Registry "
                            "(Adobe) /Ordering (Identity) /Supplement 0 >> /FontDescriptor 8 0 R /DW 600 %2>>")
                 .arg(QString::fromLatin1(name), embed.isEmpty() ? QString() : QStringLiteral("/CIDToGIDMap 10 0 R ")),
             handwritten::stream(cmap),
             QStringLiteral("<< /Type /FontDescriptor /FontName /%1 /Flags 4 /FontBBox [0 -200 1000 800] "
                            "/ItalicAngle 0 /Ascent 800 /Descent -200 /CapHeight 700 /StemV 80%2 >>")
                 .arg(QString::fromLatin1(name), program)} + embedding);
}

// Dingbats as real files name them: ZapfDingbats, never embedded, beside Helvetica.
bool writeZapfDingbats(const QString& path) {
  return handwritten::writePdf(
      path, {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 120] /Contents 4 0 R /Resources << /Font << /F1 5 0 R "
             "/F2 6 0 R >> >> >>",
             handwritten::stream("BT /F1 18 Tf 30 60 Td (Cut ) Tj /F2 18 Tf (\\\") Tj /F1 18 Tf ( here ) Tj /F2 18 Tf ($) "
                                 "Tj /F1 18 Tf ( star ) Tj /F2 18 Tf (K) Tj ET"),
             "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
             "<< /Type /Font /Subtype /Type1 /BaseFont /ZapfDingbats >>"});
}

}  // namespace

// The real files first: those of other scripts, and two whose fonts pdfium
// misreads; then a page of each script above, embedded and named.
TEST(ScriptEdit, AWordAppendedToALineOfAnotherScriptKeepsEveryCharacter) {
  if (!hasTool("pdftotext") || !hasTool("pdftoppm") || !hasTool("mutool"))
    GTEST_SKIP() << "poppler-utils or mupdf-tools missing";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QDir shared(corpusDir() + QStringLiteral("/.."));
  QStringList files;
  for (const QFileInfo& f : QDir(shared.filePath("script-pdfs")).entryInfoList({"*.pdf"}, QDir::Files, QDir::Name))
    files << f.filePath();
  files << shared.filePath("real-world-pdfs/ThuluthFeatures.pdf") << shared.filePath("real-world-pdfs/issue20232.pdf");
  ASSERT_EQ(files.size(), 7);
  for (const ScriptLine& script : kScripts)
    for (const bool embedded : {true, false}) {
      // pdfium reads nothing beyond the basic plane of a font it has no
      // face for; Qt's writer reads emoji back as nothing: they are embedded by hand.
      const bool emoji = script.text.contains(QStringLiteral("😀"));
      if (!embedded && emoji) continue;
      const QString input = dir.filePath(QString::fromLatin1(script.name) + (embedded ? "-embedded.pdf" : "-named.pdf"));
      QByteArray symbola;
      if (emoji) runTool("fc-match", {"-f", "%{file}", script.family}, &symbola);
      ASSERT_TRUE(emoji      ? writeNotEmbedded(input, script, QString::fromUtf8(symbola))
                  : embedded ? writeEmbedded(input, script)
                  : script.text.contains(QStringLiteral("✂")) ? writeZapfDingbats(input)
                                                              : writeNotEmbedded(input, script));
      files << input;
    }
  QStringList faults;
  for (const QString& file : files)
    if (const QString fault = appendAndCheck(file, dir.filePath("saved.pdf")); !fault.isEmpty())
      faults << QFileInfo(file).fileName() + QStringLiteral(": ") + fault;
  std::printf("files keeping every character: %d of %d\n", int(files.size() - faults.size()), int(files.size()));
  EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
}

// Right-to-left rich text as the editor stores it, with the paragraph's
// direction even where a Latin word begins it: typed into a new block it is
// set at its size against the block's right edge; a line of the page retyped
// shorter in two styles keeps its right edge. Read in order.
TEST(ScriptEdit, RightToLeftRichTextKeepsTheRightEdgeAtItsSize) {
  if (!hasTool("pdftotext") || !hasTool("mutool")) GTEST_SKIP() << "poppler-utils or mupdf-tools missing";
  QTemporaryDir dir;
  const QString source = corpusDir() + QStringLiteral("/../script-pdfs/issue10301.pdf");
  const QString span = QStringLiteral("<span style=\"font-family:'%1'; font-size:%2px;%3\">%4</span>");
  const QString serif = QStringLiteral("DejaVu Serif"), arial = QStringLiteral("Arial");
  const struct {
    QString text, html;
  } cases[] = {{"okapi שלום עולם", span.arg(serif, "14", "", "okapi שלום עולם")},
               {"مرحبا بالعالم", span.arg(serif, "14", "", "مرحبا بالعالم")},
               {"וד", span.arg(arial, "11", "", "ו") + span.arg(arial, "11", " font-weight:700", "ד")}};
  for (const auto& c : cases) {
    PdfDocument doc;
    ASSERT_TRUE(doc.open(source));
    std::vector<TextBlock> blocks = doc.extractText(0);
    auto block = std::find_if(blocks.begin(), blocks.end(), [](const TextBlock& b) { return b.text == "דהו"; });
    ASSERT_NE(block, blocks.end());
    const bool retyped = c.text.size() == 2;
    if (!retyped) block = blocks.insert(blocks.end(), TextBlock{});
    if (!retyped) block->rect = QRectF(100, 500, 200, 30);
    const QRectF box = block->rect;
    block->text = c.text;
    block->textEdited = true;
    block->richTextHtml = "<html><body><p dir='rtl' style='margin:0'>" + c.html + "</p></body></html>";
    const QString saved = dir.filePath(QStringLiteral("rtl.pdf"));
    ASSERT_TRUE(doc.overlayOcrText(0, blocks, false) && doc.save(saved)) << doc.lastError().toStdString();
    const auto extent = [&](const QString& file) {
      QRectF all;
      for (const auto& [word, place] : oracles::pageWords(file, 0, doc.pageSize(0).height()))
        if (place.intersects(box.adjusted(0, 2, 0, -2))) all = all.united(place);
      return all;
    };
    const QRectF now = extent(saved), was = retyped ? extent(source) : box;
    EXPECT_NEAR(now.right(), was.right(), 1.5) << c.text.toStdString();
    EXPECT_GT(now.left(), was.left()) << c.text.toStdString();
    EXPECT_TRUE(normalised(oracles::pageText(saved, 0)).contains(normalised(c.text))) << c.text.toStdString();
    // The retyped line is set in other faces than the layout's, their
    // advances fitted to its own.
    QByteArray trace;
    runTool(QStringLiteral("mutool"), {QStringLiteral("trace"), saved, QStringLiteral("1")}, &trace);
    static const QRegularExpression show(QStringLiteral("trm=\"([-0-9.]+) 0 0 ([-0-9.]+)\""));
    for (auto it = show.globalMatch(QString::fromUtf8(trace)); it.hasNext();) {
      const QRegularExpressionMatch m = it.next();
      EXPECT_NEAR(m.captured(1).toDouble() / m.captured(2).toDouble(), retyped ? 0.9 : 1.0, retyped ? 0.15 : 0.02);
    }
  }
}

// Devanagari typed into a new block of a serif face: its letters take a
// Devanagari face and its blank the block's, a show of its own that pdfium
// reads as nothing. Read back the line keeps its blank, and a word appended
// in a second edit leaves it in the file.
TEST(ScriptEdit, ABlankSetInAnotherFaceThanItsLettersIsReadBack) {
  if (!hasTool("pdftotext")) GTEST_SKIP() << "poppler-utils missing";
  QTemporaryDir dir;
  const QString source = corpusDir() + QStringLiteral("/../script-pdfs/issue10301.pdf");
  const QString first = dir.filePath(QStringLiteral("first.pdf")), second = dir.filePath(QStringLiteral("second.pdf"));
  const QString line = QStringLiteral("नमस्ते दुनिया");
  const auto devanagari = [](const TextBlock& b) { return b.text.contains(QChar(0x0928)); };
  {
    PdfDocument doc;
    ASSERT_TRUE(doc.open(source));
    std::vector<TextBlock> blocks = doc.extractText(0);
    TextBlock& typed = blocks.emplace_back();
    typed.rect = QRectF(50, 500, 300, 40);
    typed.text = line;
    typed.textEdited = true;
    typed.richTextHtml = "<html><body><p style='margin:0'><span style=\"font-family:'DejaVu Serif'; font-size:28px;\">" +
                         line + "</span></p></body></html>";
    ASSERT_TRUE(doc.overlayOcrText(0, blocks, false) && doc.save(first)) << doc.lastError().toStdString();
  }
  PdfDocument doc;
  ASSERT_TRUE(doc.open(first));
  std::vector<TextBlock> blocks = doc.extractText(0);
  const auto read = std::find_if(blocks.begin(), blocks.end(), devanagari);
  ASSERT_NE(read, blocks.end());
  EXPECT_EQ(read->text.toStdString(), line.toStdString());
  read->text += kAppended;
  read->textEdited = true;
  ASSERT_TRUE(doc.overlayOcrText(0, blocks, false) && doc.save(second)) << doc.lastError().toStdString();
  EXPECT_TRUE(normalised(oracles::pageText(second, 0)).contains(normalised(line + kAppended)))
      << oracles::pageText(second, 0).toStdString();
}

// One letter under 60,000 accents, which once took seconds to shape, is
// refused with the reason and the page kept; a letter with a few marks is
// written, its marks in its own face, not beside it in another.
TEST(ScriptEdit, ALetterWithTooManyMarksIsRefused) {
  if (!hasTool("mutool")) GTEST_SKIP() << "mupdf-tools missing";
  QTemporaryDir dir;
  for (const int marks : {60000, 20}) {
    PdfDocument doc;
    ASSERT_TRUE(doc.open(corpusDir() + QStringLiteral("/../script-pdfs/issue10301.pdf")));
    std::vector<TextBlock> blocks = doc.extractText(0);
    const auto line = std::find_if(blocks.begin(), blocks.end(), [](const TextBlock& b) { return b.text == "abc"; });
    ASSERT_NE(line, blocks.end());
    // Hebrew qamats: a mark the letter's preferred face lacks.
    line->text = QStringLiteral("e") + QString(marks > 256 ? 0 : 1, QChar(0x05B8)) + QString(marks, QChar(0x0301));
    line->textEdited = true;
    const bool written = doc.overlayOcrText(0, blocks, false);
    if (marks > 256) {
      EXPECT_TRUE(!written && !doc.isModified());
      EXPECT_TRUE(doc.lastError().contains(QStringLiteral("больше 256"))) << doc.lastError().toStdString();
      continue;
    }
    const QString saved = dir.filePath(QStringLiteral("marks.pdf"));
    ASSERT_TRUE(written && doc.save(saved)) << doc.lastError().toStdString();
    QByteArray bytes;
    runTool(QStringLiteral("mutool"), {QStringLiteral("trace"), saved, QStringLiteral("1")}, &bytes);
    const QString trace = QString::fromUtf8(bytes);
    EXPECT_EQ(trace.count(QStringLiteral("unicode=\"\u0301\"")), marks);
    const QString y = QRegularExpression(QStringLiteral("unicode=\"\u05B8\"[^>]* y=\"([-0-9.]+)\"")).match(trace).captured(1);
    static const QRegularExpression span(QStringLiteral("<span font=\"([^\"]+)\"[^>]*>\\s*<g [^>]* y=\"([-0-9.]+)\""));
    QSet<QString> faces;
    for (auto it = span.globalMatch(trace); it.hasNext();)
      if (const QRegularExpressionMatch m = it.next(); m.captured(2) == y) faces << m.captured(1);
    EXPECT_EQ(faces.size(), 1) << QStringList(faces.values()).join(' ').toStdString();
  }
}

// A Bengali line whose text layer is in drawing order, its vowel signs read
// before their letters: a word appended keeps the line's glyphs (re-set, its
// signs would stand on dotted circles) and poppler reads it whole; a word
// typed into, or the line turned, is refused with the reason.
TEST(ScriptEdit, ALineReadOutOfDrawingOrderIsNeverSetAnewFromItsReading) {
  QTemporaryDir dir;
  const QString read = QStringLiteral("\u09BF\u09AC\u0995\u09BE\u09B6 \u09B2\u09C7\u0996\u09BE");
  const QString typed = QStringLiteral("\u09A8\u09A4\u09C1\u09A8"), input = dir.filePath("visual.pdf");
  QByteArray face;
  runTool("fc-match", {"-f", "%{file}", "Noto Sans Bengali"}, &face);
  ASSERT_TRUE(writeNotEmbedded(input, {"Bengali", QStringLiteral("Noto Sans Bengali"), read}, QString::fromUtf8(face)));
  for (const auto& [text, rotation] : {std::pair(read + ' ' + typed, 0), std::pair(read, 90),
                                       std::pair(QString(read).insert(5, QChar(0x09C7)), 0)}) {
    PdfDocument doc;
    ASSERT_TRUE(doc.open(input));
    std::vector<TextBlock> blocks = doc.extractText(0);
    ASSERT_TRUE(blocks.size() == 1u && normalised(blocks[0].text) == normalised(read));
    blocks[0].text = text;
    blocks[0].rotation = rotation;
    blocks[0].textEdited = true;
    const QString saved = dir.filePath("appended.pdf");
    if (text.endsWith(typed)) {
      ASSERT_TRUE(doc.overlayOcrText(0, blocks, false) && doc.save(saved)) << doc.lastError().toStdString();
      QStringList words;
      for (const auto& [word, place] : oracles::pageWords(saved, 0, doc.pageSize(0).height())) words << word;
      EXPECT_TRUE(words.contains(typed)) << words.join(' ').toStdString();
    } else {
      EXPECT_FALSE(doc.overlayOcrText(0, blocks, false) || doc.isModified()) << text.toStdString();
      EXPECT_TRUE(doc.lastError().contains(QStringLiteral("U+09BF"))) << doc.lastError().toStdString();
    }
  }
}

// Words of other scripts typed after a line's own start, on a page that left
// spacing, scaling and rise set: readers that follow the content read the
// Hebrew in order and find it where the left-to-right line has it, the accent of an Osage letter is drawn by the letter's
// face just over it, and a Thai tail of hundreds of marks, a few to a
// letter, is written.
TEST(ScriptEdit, TypedWordsOfOtherScriptsAreWrittenInReadingOrderWithTheirMarksOnTheirLetters) {
  if (!hasTool("pdftotext") || !hasTool("mutool")) GTEST_SKIP() << "poppler-utils or mupdf-tools missing";
  QTemporaryDir dir;
  const QString input = dir.filePath("state.pdf"), saved = dir.filePath("typed.pdf");
  ASSERT_TRUE(handwritten::writePdf(
      input, {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
              "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 300] /Contents 4 0 R /Resources << /Font << /F1 5 0 R "
              ">> >> >>",
              handwritten::stream("2 Tc 150 Tz 4 Ts 9 Tw BT /F1 14 Tf 40 200 Td (Amount due 4200 euro) Tj ET"),
              "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(input));
  std::vector<TextBlock> blocks = doc.extractText(0);
  ASSERT_EQ(blocks.size(), 1u);
  blocks[0].text = QStringLiteral("Amount due שלום עולם okapi 𐓏́𐓘 ") + QStringLiteral("ที่นี่ ").repeated(65);
  blocks[0].textEdited = true;
  ASSERT_TRUE(doc.overlayOcrText(0, blocks, false) && doc.save(saved)) << doc.lastError().toStdString();
  EXPECT_TRUE(normalised(oracles::pageText(saved, 0, {"-raw"})).contains(normalised(blocks[0].text)))
      << oracles::pageText(saved, 0, {"-raw"}).toStdString();
  // The line runs left to right: the Hebrew typed after its start stands before the word typed after it.
  const QRectF okapi = oracles::wordBoxes(saved, 0, QStringLiteral("okapi"), 300).value(0);
  int hebrew = 0;
  for (const auto& [word, box] : oracles::pageWords(saved, 0, 300))
    if (word.contains(QChar(0x05DC))) {
      ++hebrew;
      EXPECT_LT(box.right(), okapi.left() + 0.5) << word.toStdString();
    }
  EXPECT_EQ(hebrew, 2);
  // Every glyph on the line's baseline (4 Ts up), a mark in its letter's font.
  QString letterFont;
  for (const oracles::TracedGlyph& g : oracles::tracedGlyphs(saved, 0)) {
    EXPECT_NEAR(g.y, 204, 5) << g.text.toStdString();
    if (!g.text.isEmpty() && isMark(g.text.toUcs4().value(0)))
      EXPECT_EQ(g.font.toStdString(), letterFont.toStdString()) << g.text.toStdString();
    else
      letterFont = g.font;
  }
}
