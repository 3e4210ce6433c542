// The part readers on small hand-written parts: colours as the format numbers
// them, boolean attributes in both spellings, relationship targets, number
// formats, and cell references.
#include "XlsxTestSupport.h"
#include "XlsxZipWriter.h"
#include "xlsx/XlsxCellPainter.h"
#include "xlsx/XlsxReaders.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QXmlStreamReader>

namespace {

QColor colorOf(const char* element) {
  QXmlStreamReader reader{QByteArray(element)};
  while (reader.readNext() != QXmlStreamReader::StartElement) {}
  return iResolveColor(reader.attributes(), iParseTheme(QByteArray()));
}

TEST(XlsxColours, ThemeIndicesFollowTheFormatAndTintsMoveLightness) {
  struct Case {
    const char* element;
    QColor expected;
  } cases[] = {
      {"<c theme=\"0\"/>", QColor("#ffffff")},  // lt1, the window background
      {"<c theme=\"1\"/>", QColor("#000000")},  // dk1, the window text
      {"<c theme=\"2\"/>", QColor("#e7e6e6")},  // lt2
      {"<c theme=\"3\"/>", QColor("#44546a")},  // dk2
      {"<c theme=\"4\"/>", QColor("#4472c4")},
      {"<c theme=\"12\"/>", QColor("#000000")},
      {"<c theme=\"4\" tint=\"0.0005\"/>", QColor("#4472c4")},
      {"<c theme=\"4\" tint=\"-1\"/>", QColor("#000000")},
      {"<c rgb=\"FF4472C4\"/>", QColor("#4472c4")},
      {"<c rgb=\"4472C4\"/>", QColor("#4472c4")},
      {"<c indexed=\"10\"/>", QColor("#ff0000")},
      {"<c indexed=\"64\"/>", QColor("#000000")},
  };
  for (const Case& c : cases) EXPECT_EQ(colorOf(c.element).rgb(), c.expected.rgb()) << c.element;
  EXPECT_FALSE(colorOf("<c rgb=\"4472C\"/>").isValid());
  EXPECT_FALSE(colorOf("<c auto=\"1\"/>").isValid());
  // Tint 0.5 on accent 1 (HSL lightness 0.518) lands halfway to white: 0.759.
  EXPECT_NEAR(colorOf("<c theme=\"4\" tint=\"0.5\"/>").lightnessF(), 0.759, 0.004);
}

TEST(XlsxStyles, BooleanAttributesAcceptBothSpellings) {
  const auto styles = iParseStyles(
      "<styleSheet><fonts><font><b val=\"false\"/><i val=\"true\"/><u val=\"double\"/><sz val=\"0\"/></font>"
      "<font><b/><u/></font></fonts><fills><fill><patternFill patternType=\"gray125\"><fgColor rgb=\"FFFF0000\"/>"
      "</patternFill></fill></fills><borders><border><left style=\"thin\"/><diagonal><color rgb=\"FFFF0000\"/>"
      "</diagonal></border></borders><cellStyleXfs><xf fontId=\"9\"/></cellStyleXfs><cellXfs>"
      "<xf fontId=\"1\" applyFont=\"true\" applyFill=\"false\" applyBorder=\"1\"><alignment wrapText=\"true\"/></xf>"
      "<xf applyFont=\"0\"><alignment wrapText=\"false\"/></xf></cellXfs></styleSheet>",
      iParseTheme(QByteArray()));
  ASSERT_EQ(styles->fonts.size(), 2);
  EXPECT_FALSE(styles->fonts[0].bold);
  EXPECT_TRUE(styles->fonts[0].italic);
  EXPECT_FALSE(styles->fonts[0].underline);
  EXPECT_EQ(styles->fonts[0].size, 11.0);
  EXPECT_TRUE(styles->fonts[1].bold);
  EXPECT_TRUE(styles->fonts[1].underline);
  ASSERT_EQ(styles->fills.size(), 1);
  EXPECT_FALSE(styles->fills[0].hasColor);
  ASSERT_EQ(styles->borders.size(), 1);
  EXPECT_EQ(styles->borders[0].left.color, QColor(Qt::black));
  ASSERT_EQ(styles->cellXfs.size(), 2);
  EXPECT_TRUE(styles->cellXfs[0].applyFont);
  EXPECT_FALSE(styles->cellXfs[0].applyFill);
  EXPECT_TRUE(styles->cellXfs[0].applyBorder);
  EXPECT_TRUE(styles->cellXfs[0].wrapText);
  EXPECT_FALSE(styles->cellXfs[1].applyFont);
  EXPECT_FALSE(styles->cellXfs[1].wrapText);
}

TEST(XlsxSheet, CellsTakeTheirRowFromTheRowElement) {
  const auto sheet = iParseSheet(
      "<worksheet><cols><col min=\"2\" max=\"4\"/></cols><sheetData><row r=\"3\" ht=\"30\">"
      "<c r=\"B5\" t=\"b\"><v>true</v></c><c r=\"c5\" t=\"s\"><v>7</v></c><c r=\"D5\"><v>3.5</v></c>"
      "<c r=\"E5\" t=\"inlineStr\"><is><r><t>Hello</t></r><r><t>World</t></r></is></c><c r=\"5F\"><v>1</v></c>"
      "<c r=\"G5\" t=\"e\"><v>#N/A</v></c></row></sheetData><mergeCells><mergeCell ref=\"A1:C2\"/>"
      "<mergeCell ref=\"A1\"/></mergeCells></worksheet>",
      {QStringLiteral("only")});
  const auto& row = sheet->cells.value(3);
  // The shared-string cell out of range has no text and no format: it is
  // like no cell and is not stored.
  EXPECT_EQ(row.size(), 4);
  EXPECT_FALSE(row.contains(2));
  EXPECT_EQ(row.value(1).text, QStringLiteral("TRUE"));
  EXPECT_EQ(row.value(2).text, QString());
  EXPECT_TRUE(row.value(3).numeric);
  EXPECT_EQ(row.value(3).value, 3.5);
  EXPECT_EQ(row.value(4).text, QStringLiteral("HelloWorld"));
  EXPECT_EQ(row.value(6).text, QStringLiteral("#N/A"));
  EXPECT_EQ(sheet->rowHeights.value(3), 30.0);
  EXPECT_EQ(sheet->colWidths.columns(), (QList<int>{1, 2, 3}));
  ASSERT_EQ(sheet->merges.size(), 1);
  EXPECT_EQ(sheet->merges[0].lastRow, 2);
  EXPECT_EQ(sheet->merges[0].lastCol, 2);
}

TEST(XlsxNumbers, FormatCodesAsTheSheetShowsThem) {
  struct Case {
    double value;
    int id;
    const char* code;
    const char* shown;
  } cases[] = {
      {45000, 14, "d/m/yyyy", "15.03.2023"}, {45000.75, 22, "m/d/yy h:mm", "15.03.2023"},
      {0.256, 0, "0.0%", "25.6%"},           {0.256, 9, "0%", "26%"},
      {1234.5, 0, "#,##0.00", "1,234.50"},   {1234.5, 0, "#,##0", "1234.5"},
      {1234, 0, "#,##0", "1,234"},           {45000, 0, "yyyy-mm-dd", "15.03.2023"},
      {0.5, 0, "h:mm", "0.5"},               {1234.5, 0, "0.00", "1234.50"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(iFormatNum(c.value, c.id, QString::fromLatin1(c.code)), QString::fromLatin1(c.shown)) << c.code;
}

TEST(XlsxPackage, TargetsResolveFromTheRootOrTheOwnersFolder) {
  EXPECT_EQ(iResolvePartPath("xl/workbook.xml", "/xl/worksheets/sheet1.xml"), "xl/worksheets/sheet1.xml");
  EXPECT_EQ(iResolvePartPath("xl/workbook.xml", "worksheets/sheet1.xml"), "xl/worksheets/sheet1.xml");
  EXPECT_EQ(iResolvePartPath("xl/worksheets/sheet1.xml", "../drawings/drawing1.xml"), "xl/drawings/drawing1.xml");
  EXPECT_EQ(iResolvePartPath("xl/drawings/drawing1.xml", "../charts/./chart1.xml"), "xl/charts/chart1.xml");

  // A workbook whose sheets are named one way each, and a theme part.
  QTemporaryDir dir;
  XlsxParts parts = minimalWorkbook({"<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData>",
                                     "<sheetData><row r=\"1\"><c r=\"A1\"><v>2</v></c></row></sheetData>"});
  for (auto& [name, data] : parts)
    if (name == QLatin1String("xl/_rels/workbook.xml.rels"))
      data.replace("Target=\"worksheets/sheet2.xml\"", "Target=\"/xl/worksheets/sheet2.xml\"");
  const QString path = dir.filePath(QStringLiteral("targets.xlsx"));
  ASSERT_TRUE(writeZipParts(path, parts));
  const XlsxWorkbook book = loadXlsxWorkbook(path);
  ASSERT_EQ(book.sheets.size(), 2) << book.messages().join('\n').toStdString();
  EXPECT_EQ(book.sheets[1].data->cells.value(1).value(0).value, 2.0);
}

}  // namespace
