// PDF font names as real files carry them map to families that are installed
// here, and the italic of a line is read from its font name.
#include "TestSupport.h"
#include "view/BlockTextRenderer.h"
#include "view/PdfFontMapping.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QRegularExpression>

using namespace testsupport;

namespace {

TEST(PdfFontMappingTest, NamesMapToFamilies) {
  const struct {
    const char* name;
    const char* family;
  } cases[] = {
      {"ABCDEF+TimesNewRomanPSMT", "Times New Roman"},
      {"Times-BoldItalic", "Times New Roman"},
      {"QWERTY+Times New Roman,Italic", "Times New Roman"},
      {"TimesArial", "Times New Roman"},  // times is looked for first
      {"Helvetica-Oblique", "Arial"},
      {"BCDEEE+Arial-BoldMT", "Arial"},
      {"Arial,BoldItalic", "Arial"},
      {"CourierNewPS-BoldMT", "Courier New"},
      {"Courier", "Courier New"},
      {"AAAAAA+Calibri,Italic", "Calibri"},
      {"Cambria-Bold", "Cambria"},
      {"Georgia", "Georgia"},
      {"Verdana-Bold", "Verdana"},
      {"Tahoma", "Tahoma"},
      {"EBGaramond-Regular", "Garamond"},
      {"Liberation Serif", "Liberation Serif"},
      {"Liberation Sans Bold", "Liberation Sans"},
      // Names as PDFs spell them, without blanks between the words.
      {"ABCDEF+LiberationSerif-Bold", "Liberation Serif"},
      {"DejaVuSans-Oblique", "DejaVu Sans"},
      {"DejaVuSerif", "DejaVu Serif"},
      {"NimbusRoman-Regular", "Nimbus Roman"},
      {"ABCDEF+SomeFont-Regular", "SomeFont-Regular"},  // own case, prefix gone
      {"MyriadPro", "MyriadPro"},
      // TeX faces show in the DejaVu faces their edits are written in.
      {"LVPXGP+CMR10", "DejaVu Serif"},
      {"CMBX12", "DejaVu Serif"},
      {"CMTI10", "DejaVu Serif"},
      {"ZPXMBW+CMTT10", "DejaVu Sans Mono"},  // typewriter text in the monospaced face
      {"CMSS10", "DejaVu Sans"},
      {"LMRoman10-Regular", "DejaVu Serif"},
      {"Cmyk-Display", "Cmyk-Display"},
      {"", "Arial"},
      {"ABCDEF+", "Arial"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(mapPdfFont(QString::fromUtf8(c.name)), QString::fromUtf8(c.family)) << c.name;
  }
}

TEST(PdfFontMappingTest, MappedFamiliesResolveToTheInstalledFontsFontconfigChooses) {
  if (!hasTool(QStringLiteral("fc-match"))) GTEST_SKIP() << "fc-match missing";
  const QStringList families = QFontDatabase::families();
  for (const char* name : {"ABCDEF+TimesNewRomanPSMT", "Arial-BoldMT", "CourierNewPS-BoldMT", "DejaVuSans-Bold",
                           "LiberationSerif-Italic", "NimbusRoman-Regular"}) {
    const QString mapped = mapPdfFont(QString::fromLatin1(name));
    QByteArray out;
    ASSERT_EQ(runTool(QStringLiteral("fc-match"), {QStringLiteral("-f"), QStringLiteral("%{family[0]}"), mapped}, &out), 0);
    const QString expected = QString::fromUtf8(out).trimmed();
    QString resolved = QFontInfo(QFont(mapped)).family();
    EXPECT_TRUE(families.contains(resolved)) << name << " -> " << resolved.toStdString();
    // Qt names the foundry when two provide one family: "Nimbus Roman [urw]".
    resolved.remove(QRegularExpression(QStringLiteral(" \\[.*\\]$")));
    EXPECT_EQ(resolved, expected) << name << " -> " << mapped.toStdString();
  }
}

TEST(PdfFontMappingTest, ItalicIsReadFromTheFontName) {
  const struct {
    const char* name;
    bool italic;
  } cases[] = {
      {"Arial Bold Oblique", true}, {"times-italic", true},     {"Helvetica-Slanted", true},
      {"GaramondInclined", true},   {"Calibri,Italic", true},   {"Italique", false},
      {"Arial-BoldMT", false},      {"TimesNewRomanPSMT", false},
      // TeX names say it in their style letters.
      {"YFYCUT+CMTI10", true},      {"CMSL10", true},           {"CMBXTI10", true},
      {"CMMI10", true},             {"CMR10", false},           {"CMTT10", false},
      {"CMBX12", false},
  };
  for (const auto& c : cases) EXPECT_EQ(fontNameLooksItalic(QString::fromLatin1(c.name)), c.italic) << c.name;

  // A native line's italic flag counts only when its font name says so; a
  // recognised line keeps its flag; a line without a family takes the block's.
  TextBlock::Line native;
  native.text = QStringLiteral("text");
  native.rect = QRectF(0, 0, 40, 12);
  native.fontSize = 10.0f;
  native.spans.push_back(TextBlock::Line::Span{});
  native.italic = true;
  const struct {
    const char* family;
    bool withSpans;
    bool flagged;
    bool blockItalic;
    bool italic;
  } lines[] = {
      {"Arial-BoldMT", true, true, false, false},
      {"Arial-ItalicMT", true, true, false, true},
      {"Arial-BoldMT", false, true, false, true},
      {"", true, false, true, true},
      {"", true, true, false, false},
  };
  for (const auto& c : lines) {
    TextBlock::Line line = native;
    line.fontFamily = QString::fromLatin1(c.family);
    if (!c.withSpans) line.spans.clear();
    line.italic = c.flagged;
    TextBlock block;
    block.italic = c.blockItalic;
    EXPECT_EQ(effectiveLineItalic(line, block), c.italic) << c.family << " spans " << c.withSpans;
    EXPECT_EQ(lineRenderFont(line, block, 1.0, QString(), false, 1.0).italic(), c.italic) << c.family;
  }
}

}  // namespace
