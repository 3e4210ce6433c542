// Editing lines of a page keeps the rest of it: each page below carries one
// kind of content that a writer of whole pages easily loses; one line is
// replaced, one deleted and one dropped on, and poppler, MuPDF and qpdf find
// everything else on page 1 and all of page 2 as they were.
#include "PopplerOracles.h"
#include "RawPdf.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QRawFont>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <array>
#include <cstdio>

using namespace testsupport;

namespace {

const QList<QByteArray> kLines = {"Alpha line kept", "Bravo line edited", "Charlie line deleted", "Delta words kept"};
const QByteArray kBackground = "q 0.4 g 60 600 220 120 re f Q\n";  // under the lines: counts as ink
const QString kDejaVu = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");

QByteArray line(int i, double s = 1) { return textLine("F1", 14 * s, 72 * s, (700 - 30 * i) * s, kLines[i]); }

// `art` drawn beside the lines and lower on the page: $x $y $w $h is its box.
QByteArray twice(const QByteArray& art) {
  QByteArray out;
  for (const auto& [x, y, w, h] : {std::array{300, 590, 150, 100}, std::array{80, 150, 400, 200}})
    out += QByteArray(art).replace("$x", QByteArray::number(x)).replace("$y", QByteArray::number(y))
               .replace("$w", QByteArray::number(w)).replace("$h", QByteArray::number(h)) + '\n';
  return out;
}

QByteArray fill(const QByteArray& colour) { return "q " + colour + " $x $y $w $h re f Q"; }
QString form(const QByteArray& content, const QByteArray& more) { return handwritten::stream(content, "/Subtype /Form " + more); }

struct PageKind {
  QString name;
  QByteArray art = {};                // see twice()
  QByteArray resources = {};          // more entries of both pages' resources
  QStringList objects = {};           // objects 13 on
  QByteArray fonts = {};              // more entries of both pages' fonts
  QByteArray page1 = {}, page2 = {};  // content instead of the lines and the art
  QByteArray catalog = {};
  QStringList qpdf = {};  // how qpdf encrypts the input
  bool damaged = false;   // every offset in the input is wrong
};

// DejaVu Sans embedded whole: its descriptor (object `id`) and program.
QStringList dejaVu(int id, const QByteArray& name, int flags) {
  QFile file(kDejaVu);
  const QByteArray ttf = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  return {QStringLiteral("<< /Type /FontDescriptor /FontName /%1 /Flags %2 /FontBBox [-1021 -463 1793 1232] "
                         "/ItalicAngle 0 /Ascent 928 /Descent -236 /CapHeight 729 /StemV 80 /FontFile2 %3 0 R >>")
              .arg(QString::fromLatin1(name)).arg(flags).arg(id + 1),
          handwritten::stream(ttf, "/Length1 " + QByteArray::number(ttf.size()))};
}

// Words in DejaVu Sans as CID fonts of one name, glyph ids as codes read
// through a ToUnicode map, written by `art` where it says <>: /CH across, a
// direct dictionary, and /CV down.
PageKind cidKind(const QString& name, QByteArray art) {
  const QString words = QStringLiteral("Zebra yak");
  QByteArray codes, map;
  const QList<quint32> glyphs = QRawFont(kDejaVu, 24).glyphIndexesForString(words);
  for (qsizetype i = 0; i < glyphs.size(); ++i) {
    codes += QByteArray::number(glyphs[i], 16).rightJustified(4, '0');
    map += "<" + codes.right(4) + "> <" + QByteArray::number(uint(words[i].unicode()), 16).rightJustified(4, '0') + ">\n";
  }
  const QByteArray cmap = "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CIDSystemInfo << /Registry "
                          "(Adobe) /Ordering (UCS) /Supplement 0 >> def /CMapName /U def /CMapType 2 def 1 "
                          "begincodespacerange <0000> <FFFF> endcodespacerange " + QByteArray::number(glyphs.size()) +
                          " beginbfchar\n" + map + "endbfchar endcmap CMapName currentdict /CMap defineresource pop end end";
  const QByteArray type0 = "<< /Type /Font /Subtype /Type0 /BaseFont /DejaVuSans /DescendantFonts [13 0 R] "
                           "/ToUnicode 14 0 R /Encoding /Identity-";
  return {name, art.replace("<>", "<" + codes + ">"), {},
          QStringList{"<< /Type /Font /Subtype /CIDFontType2 /BaseFont /DejaVuSans /CIDSystemInfo << /Registry (Adobe) "
                      "/Ordering (Identity) /Supplement 0 >> /FontDescriptor 15 0 R /CIDToGIDMap /Identity /DW 700 >>",
                      handwritten::stream(cmap)} + dejaVu(15, "DejaVuSans", 4) + QStringList{type0 + "V >>"},
          "/CH " + type0 + "H >> /CV 17 0 R"};
}

QList<PageKind> kinds() {
  QFile icc(QStringLiteral("/usr/share/color/icc/ghostscript/srgb.icc"));  // the alternate serves when absent
  const QByteArray profile = icc.open(QIODevice::ReadOnly) ? icc.readAll() : QByteArray();
  const QByteArray gradient = "/Function << /FunctionType 2 /Domain [0 1] /C0 [1 0.8 0] /C1 [0 0.5 1] /N 1 >> "
                              "/ColorSpace /DeviceRGB /Extend [true true] ";
  const QByteArray axial = "<< /ShadingType 2 /Coords [80 0 480 0] " + gradient + ">>";
  const QByteArray radial = "<< /ShadingType 3 /Coords [280 400 10 280 400 400] " + gradient + ">>";
  const QByteArray type3 = "BT /T3 30 Tf $x $y Td (bead cab) Tj ET";
  const QByteArray secret = "BT /F1 20 Tf $x $y Td (Secret words) Tj /T3 20 Tf (bead cab) Tj ET";
  const QStringList encrypt = {"--allow-weak-crypto", "--encrypt", "user", "owner"};
  const auto space = [](const char* name, const QByteArray& space, const QByteArray& colour, QStringList objects = {}) {
    return PageKind{name, fill("/S0 cs " + colour + " scn"), "/ColorSpace << /S0 " + space + " >>", objects};
  };
  QStringList chain;
  for (int i = 14; i < 20014; ++i) chain << QStringLiteral("<< /Type /ExtGState /Next %1 0 R >>").arg(i);
  return {
      {"CMYK by k and K", "q 0.7 0 0.2 0 k 0 0.8 0.8 0 K 8 w $x $y $w $h re B Q"},
      {"CMYK by cs and sc", fill("/DeviceCMYK cs 0 0.6 0.9 0 sc")},
      space("Separation", "[/Separation /Spot /DeviceCMYK << /FunctionType 2 /Domain [0 1] /C1 [0.9 0.1 0 0] /N 1 >>]", "0.8"),
      space("DeviceN", "[/DeviceN [/Spot /Other] /DeviceCMYK 13 0 R]", "0.7 0.3",
            {handwritten::stream("{ 0 0 }", "/FunctionType 4 /Domain [0 1 0 1] /Range [0 1 0 1 0 1 0 1]")}),
      space("ICCBased", "[/ICCBased 13 0 R]", "0.2 0.7 0.4", {handwritten::stream(profile, "/N 3 /Alternate /DeviceRGB")}),
      space("CalRGB", "[/CalRGB << /WhitePoint [0.9505 1 1.089] /Gamma [1.8 1.8 1.8] >>]", "0.2 0.6 0.9"),
      space("CalGray", "[/CalGray << /WhitePoint [0.9505 1 1.089] /Gamma 2.2 >>]", "0.7"),
      space("Lab", "[/Lab << /WhitePoint [0.9505 1 1.089] /Range [-128 127 -128 127] >>]", "70 -40 50"),
      space("Indexed", "[/Indexed /DeviceRGB 1 <FF8000 2080FF>]", "1"),
      {"axial shading by sh", "q $x $y $w $h re W n /Sh0 sh Q", "/Shading << /Sh0 " + axial + " >>"},
      {"radial shading by sh", "q $x $y $w $h re W n /Sh0 sh Q", "/Shading << /Sh0 " + radial + " >>"},
      {"axial shading pattern", fill("/Pattern cs /P0 scn"), "/Pattern << /P0 << /PatternType 2 /Shading " + axial + " >> >>"},
      {"radial shading pattern", fill("/Pattern cs /P0 scn"), "/Pattern << /P0 << /PatternType 2 /Shading " + radial + " >> >>"},
      {"inline image", "q $w 0 0 $h $x $y cm BI /W 2 /H 2 /CS /RGB /BPC 8 /F /AHx ID FF8000 2080FF 80FF00 FFFF80> EI Q"},
      {"Type 3 text", type3},
      {.name = "Type 3 text in a file that needs repair", .art = type3, .damaged = true},
      {"Type 3 text under 2 Tc 12 Tw", "BT /T3 30 Tf 2 Tc 12 Tw $x $y Td (bead cab dace) Tj ET"},
      cidKind("CID font Identity-H", "BT /CH 24 Tf $x $y Td <> Tj ET"),
      cidKind("CID font Identity-V beside Identity-H", "BT /CV 24 Tf 540 590 Td <> Tj ET BT /CH 24 Tf $x $y Td <> Tj ET"),
      // A direct dictionary beside a font of the same name in WinAnsi.
      {"subset TrueType with Differences", "BT /TT 30 Tf $x $y Td <0102030405> Tj /TW 30 Tf (Delta) Tj ET", {},
       dejaVu(13, "ABCDEF+DejaVuSans", 32) << "<< /Type /Font /Subtype /TrueType /BaseFont /ABCDEF+DejaVuSans "
                                              "/FirstChar 32 /LastChar 126 /FontDescriptor 13 0 R /Encoding /WinAnsiEncoding >>",
       "/TW 15 0 R /TT << /Type /Font /Subtype /TrueType /BaseFont /ABCDEF+DejaVuSans /FirstChar 1 /LastChar 5 "
       "/Widths [770 615 278 392 613] /FontDescriptor 13 0 R /Encoding << /BaseEncoding /WinAnsiEncoding "
       "/Differences [1 /D /e /l /t /a] >> >>"},
      {.name = "RC4", .art = secret, .qpdf = encrypt + QStringList{"128", "--use-aes=n", "--"}},
      {.name = "AES-128", .art = secret, .qpdf = encrypt + QStringList{"128", "--use-aes=y", "--"}},
      {.name = "AES-256", .art = secret, .qpdf = encrypt + QStringList{"256", "--"}},
      {.name = "optional content", .art = "/OC /L0 BDC " + fill("0.9 0.3 0.1 rg") + " EMC",
       .resources = "/Properties << /L0 13 0 R >>", .objects = {"<< /Type /OCG /Name (Layer) >>"},
       .catalog = "/OCProperties << /OCGs [13 0 R] /D << /ON [13 0 R] >> >>"},
      {"soft mask", "q /G0 gs " + fill("0.1 0.2 0.9 rg") + " Q",
       "/ExtGState << /G0 << /SMask << /Type /Mask /S /Luminosity /G 13 0 R >> >> >>",
       {form("0.3 g 0 0 595 842 re f", "/BBox [0 0 595 842] /Group << /S /Transparency /CS /DeviceGray >>")}},
      {"transparency group", "q /G1 gs $w 0 0 $h $x $y cm /Fg Do Q", "/ExtGState << /G1 << /ca 0.4 >> >> /XObject << /Fg 13 0 R >>",
       {form("0.1 0.6 0.2 rg 0 0 1 1 re f 0.8 0.1 0.1 rg 0.25 0.25 0.5 0.5 re f",
             "/BBox [0 0 1 1] /Group << /S /Transparency /I true /K true >>")}},
      {.name = "text in a form shared by two pages", .resources = "/XObject << /Fx 13 0 R >>",
       .objects = {form(line(1) + line(2), "/BBox [0 0 595 842] /Resources << /Font << /F1 7 0 R >> >>")},
       .page1 = kBackground + line(0) + "/Fx Do\n" + line(3), .page2 = "/Fx Do\n"},
      {"clipping text", "q 0.8 0.1 0.5 rg BT 7 Tr /F1 40 Tf $x $y Td (Clip) Tj ET $x $y $w $h re f Q"},
      // The text a line copies as, around its text object and inside one.
      {.name = "ActualText spans around the lines",
       .page1 = kBackground + line(0) + "/Span <</ActualText (" + kLines[1] + ")>> BDC\n" + line(1) + "EMC\n" +
                line(2).replace("Td (", "Td /Span <</ActualText (" + kLines[2] + ")>> BDC (").replace(" Tj", " Tj EMC") +
                line(3)},
      {.name = "scale left open at the outer level",
       .page1 = kBackground + "2 0 0 2 0 0 cm\n" + line(0, 0.5) + line(1, 0.5) + line(2, 0.5) + line(3, 0.5)},
      {"form naming Courier /F1", "q 1 0 0 1 $x $y cm /Fc Do Q", "/XObject << /Fc 13 0 R >>",
       {form("BT /F1 30 Tf 0 10 Td (Courier words) Tj ET", "/BBox [0 0 300 60] /Resources << /Font << /F1 8 0 R >> >>")}},
      {"form without resources on pages of different /F1", "q 1 0 0 1 $x $y cm /Fn Do Q", "/XObject << /Fn 13 0 R >>",
       {form("BT /F1 30 Tf 0 10 Td (Shared words) Tj ET", "/BBox [0 0 300 60]")}},
      {"20000 references deep", fill("0.2 0.5 0.9 rg"), "/ExtGState << /Deep 13 0 R >>", chain << "<< >>"},
  };
}

// Objects 1-12: catalog, pages, two pages, their contents, Helvetica (page 1's
// /F1), Courier (page 2's), a Type 3 font whose glyphs a-e are squares and
// half squares; the kind's own objects follow.
QByteArray kindPdf(const PageKind& kind) {
  const QString page = QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents %1 0 R "
                                      "/Resources << /Font << /F1 %2 0 R /T3 9 0 R %3 >> %4 >> >>");
  const QString fonts = QString::fromLatin1(kind.fonts), resources = QString::fromLatin1(kind.resources);
  const QByteArray art = twice(kind.art), lines = kBackground + line(0) + line(1) + line(2) + line(3);
  QByteArray pdf = handwritten::buildPdf(
      QStringList{"<< /Type /Catalog /Pages 2 0 R " + kind.catalog + " >>", "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
                  page.arg(5).arg(7).arg(fonts, resources), page.arg(6).arg(8).arg(fonts, resources),
                  handwritten::stream(kind.page1.isEmpty() ? lines + art : kind.page1),
                  handwritten::stream(kind.page2.isEmpty() ? textLine("F1", 14, 72, 700, "Echo page two") + art : kind.page2),
                  "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
                  "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding /WinAnsiEncoding >>",
                  "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 600 700] /FontMatrix [0.001 0 0 0.001 0 0] /CharProcs "
                  "<< /a 10 0 R /b 11 0 R /c 10 0 R /d 11 0 R /e 10 0 R /space 12 0 R >> /Encoding << /Differences [32 "
                  "/space 97 /a /b /c /d /e] >> /FirstChar 32 /LastChar 101 /Widths [" + QByteArray("600 ").repeated(70) + "] >>",
                  handwritten::stream("600 0 0 0 500 700 d1 0 0 500 700 re f"),
                  handwritten::stream("600 0 0 0 500 700 d1 0 0 500 350 re f"), handwritten::stream("600 0 d0")} +
      kind.objects);
  return kind.damaged ? pdf.insert(pdf.indexOf('\n') + 1, "% every offset after this line is wrong\n") : pdf;
}

QStringList mupdfWords(const QString& file) {
  return oracles::mupdfReading(file, 0).text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

}  // namespace

TEST(EditKeepsPage, EverythingButTheEditedLinesStaysAsItWas) {
  if (!hasTool("pdftotext") || !hasTool("pdftoppm") || !hasTool("mutool") || !hasTool("qpdf"))
    GTEST_SKIP() << "poppler-utils, mupdf-tools or qpdf missing";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString raw = dir.filePath("raw.pdf"), saved = dir.filePath("saved.pdf"), plain = dir.filePath("plain.pdf");
  QStringList faults;
  for (const PageKind& kind : kinds()) {
    SCOPED_TRACE(kind.name.toStdString());
    // Read with a password, the files are compared as qpdf decrypts them.
    const QString password = kind.qpdf.isEmpty() ? "" : "user", after = password.isEmpty() ? saved : plain;
    const QString input = password.isEmpty() ? raw : dir.filePath("in.pdf");
    QFile file(raw);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(kindPdf(kind)) > 0 && file.flush());
    ASSERT_TRUE(password.isEmpty() || runTool("qpdf", kind.qpdf + QStringList{raw, input}) == 0);
    QFile::remove(saved);
    PdfDocument doc;
    std::vector<TextBlock> blocks;
    if (doc.open(input, password.toLatin1())) blocks = doc.extractText(0);
    const auto at = [&](const char* text) {
      return size_t(std::find_if(blocks.begin(), blocks.end(), [&](auto& b) { return b.text.contains(text); }) - blocks.begin());
    };
    const size_t bravo = at("Bravo"), charlie = at("Charlie");
    if (bravo == charlie || std::max(bravo, charlie) >= blocks.size()) {
      faults << kind.name + ": lines not found";
      continue;
    }
    const QRectF edited = blocks[bravo].rect, deleted = blocks[charlie].originalRect;
    blocks[bravo].text = QStringLiteral("Bravo changed okapi");
    blocks[bravo].textEdited = true;
    TextBlock removal, dropped;
    removal.page = blocks[charlie].page;
    removal.originalRect = removal.rect = deleted;
    removal.originalRotation = removal.rotation = blocks[charlie].originalRotation;
    blocks.erase(blocks.begin() + qsizetype(charlie));
    dropped.text = QStringLiteral("Yonder gnu");
    dropped.rect = QRectF(300, 760, 150, 18);
    removal.textEdited = dropped.textEdited = true;
    blocks.push_back(removal);
    blocks.push_back(dropped);
    if (!doc.overlayOcrText(0, blocks, false) || !doc.save(saved) ||
        (!password.isEmpty() && runTool("qpdf", {"--password=user", "--decrypt", saved, after}) != 0)) {
      faults << kind.name + ": not saved " + doc.lastError();
      continue;
    }
    QStringList why;
    if (!oracles::qpdfCheckPasses(saved, password)) why << "qpdf --check fails";
    const QString text = oracles::pageText(after, 0);
    for (const char* gone : {"Charlie", "edited"})
      if (text.contains(gone)) why << QStringLiteral("poppler still reads ") + gone;
    const QList<QRectF> gnu = oracles::wordBoxes(after, 0, "gnu", 842);
    if (!text.contains("okapi") || gnu.isEmpty() || !dropped.rect.adjusted(-4, -4, 4, 4).contains(gnu[0].center()))
      why << "poppler does not read the new lines in their places";
    why << oracles::keptFault(raw, after, {edited, deleted, dropped.rect}, 842);
    const QImage before = oracles::renderWithPoppler(raw, 0, 50), shown = oracles::renderWithPoppler(after, 0, 50);
    for (const QRectF& r : {edited, deleted})
      if (oracles::inkIn(shown, r, 842, 50) < 0.9 * oracles::inkIn(before, r, 842, 50)) why << "a white box where a line was";
    const QStringList words = mupdfWords(after);
    QStringList lost = oracles::missingWords(mupdfWords(raw), words + QString(kLines[1] + ' ' + kLines[2]).split(' '));
    if (!words.contains("okapi")) lost << "okapi";
    if (!lost.isEmpty()) why << "MuPDF misses " + lost.join(' ');
    why.removeAll(QString());
    if (!why.isEmpty()) faults << kind.name + ": " + why.join("; ");
  }
  EXPECT_TRUE(faults.isEmpty()) << faults.size() << " kinds fail:\n" << faults.join('\n').toStdString();
}

// Run by the test below in a child of its own: the first line of a page,
// edited, is saved or refused with a message, within 500 MB.
TEST(EditKeepsPageChild, DISABLED_EditsTheFirstLine) {
  const QString input = qEnvironmentVariable("ULVO_EDIT_INPUT"), saved = input + ".saved.pdf";
  if (input.isEmpty()) GTEST_SKIP();
  const rlimit limit{rlim_t(4) << 30, rlim_t(4) << 30};  // a runaway throws here, not the machine
  setrlimit(RLIMIT_AS, &limit);
  PdfDocument doc;
  ASSERT_TRUE(doc.open(input));
  std::vector<TextBlock> blocks = doc.extractText(0);
  ASSERT_FALSE(blocks.empty());
  blocks[0].text = QStringLiteral("Bravo changed okapi");
  blocks[0].textEdited = true;
  if (doc.overlayOcrText(0, blocks, false) && doc.save(saved)) {
    EXPECT_TRUE(oracles::pageText(saved, 0, {"-q"}).contains("okapi"));
  } else {
    EXPECT_FALSE(doc.lastError().isEmpty()) << "refused without a message";
    EXPECT_FALSE(QFile::exists(saved));
  }
  std::printf("peak memory %.0f MB\n", peakResidentMb());
  EXPECT_LT(peakResidentMb(), 500);
}

// Thirty million operands without an operator after one line of text.
TEST(EditKeepsPage, AFloodOfOperandsIsEditedOrRefusedWithinMemory) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "memory is measured without the sanitizer's shadow";
#endif
  QTemporaryDir dir;
  const QString input = dir.filePath("flood.pdf");
  ASSERT_TRUE(writeRawPdf(input + ".raw", {{line(1) + QByteArray("0 ").repeated(30000000)}}));
  ASSERT_EQ(runTool("qpdf", {"--compress-streams=y", input + ".raw", input}), 0);
  qputenv("ULVO_EDIT_INPUT", input.toLocal8Bit());
  QByteArray out;
  const int exit = runTool(QCoreApplication::applicationFilePath(),
                           {"--gtest_also_run_disabled_tests", "--gtest_filter=EditKeepsPageChild.*"}, &out, 300000);
  qunsetenv("ULVO_EDIT_INPUT");
  EXPECT_EQ(exit, 0) << out.right(3000).constData();
}
