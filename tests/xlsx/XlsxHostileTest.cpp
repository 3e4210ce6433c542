// Hostile and broken packages: each gives a message naming what is wrong, in
// bounded time and memory, and what can be read still is.
#include "TestSupport.h"
#include "XlsxTestSupport.h"
#include "XlsxZipWriter.h"
#include "xlsx/XlsxImportDialog.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace xlsxtest;

namespace {

const QByteArray kOneCell = "<sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>kept</t></is></c></row></sheetData>";

// Python that copies an openpyxl workbook into `out` without its sheet part
// `name`, which the test then writes itself.
const char* kAllButTheSheet = R"(
import struct, zipfile
wb = openpyxl.Workbook()
wb.active["A1"] = "kept"
wb.save(path + ".base")
name = "xl/worksheets/sheet1.xml"
base = zipfile.ZipFile(path + ".base")
out = zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED)
for item in base.infolist():
    if item.filename != name:
        out.writestr(item, base.read(item.filename))
)";

class HostileWorkbook : public ::testing::Test {
 protected:
  // Loads the package and checks the bounds every hostile input must keep.
  XlsxWorkbook load(const QString& path) {
    const double memoryBefore = peakMemoryMb();
    QElapsedTimer timer;
    timer.start();
    XlsxWorkbook book = loadXlsxWorkbook(path);
    // Rendering whatever was read must stay bounded as well.
    const QList<QImage> pages = renderAll(book);
    EXPECT_LE(pages.size(), 2);
    EXPECT_LT(timer.elapsed(), 20000);
    EXPECT_LT(peakMemoryMb() - memoryBefore, 300.0);
    return book;
  }
  QString write(const QString& name, const XlsxParts& parts) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(writeZipParts(path, parts));
    return path;
  }
  static bool mentions(const XlsxWorkbook& book, const QString& text) {
    return book.messages().join(QLatin1Char('\n')).contains(text);
  }
  static bool keptCell(const XlsxWorkbook& book) {
    return !book.sheets.isEmpty() && book.sheets.first().data->cells.value(1).value(0).text == QLatin1String("kept");
  }

  QTemporaryDir dir;
};

TEST_F(HostileWorkbook, ZipBombIsRefusedByItsDeclaredSize) {
  // 400 MB of blanks inside the worksheet part, a few hundred kilobytes packed.
  const QString path = dir.filePath(QStringLiteral("bomb.xlsx"));
  const QString error = writeWithOpenpyxl(path, QString::fromUtf8(kAllButTheSheet) + QStringLiteral(R"(
with out.open(name, "w", force_zip64=True) as part:
    part.write(b'<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>')
    block = b" " * (1 << 20)
    for _ in range(400):
        part.write(block)
    part.write(b"</sheetData></worksheet>")
out.close()
)"));
  ASSERT_TRUE(error.isEmpty()) << error.toStdString();
  const XlsxWorkbook book = load(path);
  EXPECT_TRUE(book.sheets.isEmpty());
  EXPECT_TRUE(mentions(book, QStringLiteral("«xl/worksheets/sheet1.xml» слишком велика"))) << book.messages().join('\n').toStdString();
}

TEST_F(HostileWorkbook, PartLongerThanItDeclaresIsDamaged) {
  // The sizes in both headers claim 64 bytes; the stream holds 50 MB.
  const QString path = dir.filePath(QStringLiteral("liar.xlsx"));
  const QString error = writeWithOpenpyxl(path, QString::fromUtf8(kAllButTheSheet) + QStringLiteral(R"(
out.writestr(name, b"<worksheet>" + b" " * (50 << 20) + b"</worksheet>")
out.close()
data = bytearray(open(path, "rb").read())
encoded = name.encode()
at = data.find(b"PK\x03\x04" + b"", 0)
while at >= 0:
    if data[at + 30:at + 30 + len(encoded)] == encoded:
        struct.pack_into("<I", data, at + 22, 64)
    at = data.find(b"PK\x03\x04", at + 4)
at = data.find(b"PK\x01\x02")
while at >= 0:
    if data[at + 46:at + 46 + len(encoded)] == encoded:
        struct.pack_into("<I", data, at + 24, 64)
    at = data.find(b"PK\x01\x02", at + 4)
open(path, "wb").write(data)
)"));
  ASSERT_TRUE(error.isEmpty()) << error.toStdString();
  const XlsxWorkbook book = load(path);
  EXPECT_TRUE(book.sheets.isEmpty());
  EXPECT_TRUE(mentions(book, QStringLiteral("«xl/worksheets/sheet1.xml» повреждена"))) << book.messages().join('\n').toStdString();
}

TEST_F(HostileWorkbook, CellsPastTheLastColumnOrRowAreLeftOut) {
  const QString path = write(QStringLiteral("far.xlsx"),
                             minimalWorkbook({kOneCell.chopped(12) +
                                              "<row r=\"2\"><c r=\"XFE2\"><v>1</v></c></row>"
                                              "<row r=\"2000000000\"><c r=\"A2000000000\"><v>2</v></c></row>"
                                              "</sheetData><mergeCells><mergeCell ref=\"A1:ZZZZ9\"/></mergeCells>"}));
  const XlsxWorkbook book = load(path);
  ASSERT_TRUE(keptCell(book)) << book.messages().join('\n').toStdString();
  EXPECT_EQ(book.sheets.first().data->cells.size(), 1);
  EXPECT_TRUE(book.sheets.first().data->merges.isEmpty());
  EXPECT_TRUE(mentions(book, QStringLiteral("XFE2")));
  EXPECT_TRUE(mentions(book, QStringLiteral("2000000000")));
  EXPECT_TRUE(mentions(book, QStringLiteral("A1:ZZZZ9")));
}

TEST_F(HostileWorkbook, SheetsTooLargeToPaintAndHugeChartIndicesAreRefused) {
  // Cells at A1 and XFD1048576 would lay out 17 billion grid positions.
  const QByteArray corners = "<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"1048576\">"
                             "<c r=\"XFD1048576\"><v>2</v></c></row></sheetData>";
  XlsxParts parts = minimalWorkbook({corners, kOneCell + "<drawing r:id=\"rId1\"/>"});
  parts.append({QStringLiteral("xl/worksheets/_rels/sheet2.xml.rels"),
                "<Relationships><Relationship Id=\"rId1\" Target=\"../drawings/drawing1.xml\"/></Relationships>"});
  parts.append({QStringLiteral("xl/drawings/drawing1.xml"),
                "<wsDr><twoCellAnchor><from><col>0</col><row>0</row></from><to><col>3</col><row>5</row></to>"
                "<graphicFrame><chart r:id=\"rId1\" xmlns:r=\"x\"/></graphicFrame></twoCellAnchor></wsDr>"});
  parts.append({QStringLiteral("xl/drawings/_rels/drawing1.xml.rels"),
                "<Relationships><Relationship Id=\"rId1\" Target=\"/xl/charts/chart1.xml\"/></Relationships>"});
  parts.append({QStringLiteral("xl/charts/chart1.xml"),
                "<chartSpace><barChart><ser><val><numCache><pt idx=\"2000000000\"><v>1</v></pt>"
                "<pt idx=\"1\"><v>5</v></pt></numCache></val></ser></barChart></chartSpace>"});
  const XlsxWorkbook book = load(write(QStringLiteral("wide.xlsx"), parts));
  ASSERT_EQ(book.sheets.size(), 1) << book.messages().join('\n').toStdString();
  EXPECT_EQ(book.sheets.first().name, QStringLiteral("Sheet2"));
  EXPECT_TRUE(mentions(book, QStringLiteral("Лист «Sheet1» слишком велик")));
  EXPECT_TRUE(mentions(book, QStringLiteral("2000000000")));
  ASSERT_EQ(book.sheets.first().charts.size(), 1);
  EXPECT_EQ(book.sheets.first().charts.first().series.first().values, (QList<double>{0, 5}));
}

// A chart sheet has no cells: it is left out, and the dialog names it with the reason.
TEST_F(HostileWorkbook, AChartSheetIsNamedInTheDialogWithTheReason) {
  XlsxParts parts = minimalWorkbook({kOneCell, QByteArray()});
  parts[1].second = "<?xml version=\"1.0\"?><chartsheet><sheetViews><sheetView workbookViewId=\"0\"/></sheetViews></chartsheet>";
  const QString path = write(QStringLiteral("chartsheet.xlsx"), parts);
  EXPECT_EQ(load(path).sheets.size(), 1);
  XlsxImportDialog dialog(path);
  QStringList shown;
  for (const QLabel* label : dialog.findChildren<QLabel*>()) shown << label->text();
  EXPECT_TRUE(shown.join('\n').contains("Лист «Sheet2» не импортирован: это лист диаграммы")) << shown.join('\n').toStdString();
}

TEST_F(HostileWorkbook, MissingWorkbookBrokenXmlNotAZipAndAPipe) {
  XlsxParts noWorkbook = minimalWorkbook({kOneCell});
  noWorkbook.removeIf([](const auto& part) { return part.first == QLatin1String("xl/workbook.xml"); });
  const XlsxWorkbook missing = load(write(QStringLiteral("noworkbook.xlsx"), noWorkbook));
  EXPECT_TRUE(missing.sheets.isEmpty());
  EXPECT_TRUE(mentions(missing, QStringLiteral("xl/workbook.xml")));

  const XlsxWorkbook broken =
      load(write(QStringLiteral("broken.xlsx"), minimalWorkbook({kOneCell.chopped(12) + "<row r=\"2\"><c r=\"A2\"><v>1"})));
  EXPECT_TRUE(keptCell(broken));
  EXPECT_TRUE(mentions(broken, QStringLiteral("Часть «xl/worksheets/sheet1.xml» повреждена")))
      << broken.messages().join('\n').toStdString();

  const QString text = dir.filePath(QStringLiteral("text.xlsx"));
  QFile file(text);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("not a workbook");
  file.close();
  const XlsxWorkbook notZip = load(text);
  EXPECT_FALSE(notZip.styles);
  EXPECT_TRUE(mentions(notZip, QStringLiteral("не открывается как книга Excel")));

  const QString fifo = dir.filePath(QStringLiteral("pipe.xlsx"));
  ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
  const XlsxWorkbook pipe = load(fifo);
  EXPECT_TRUE(mentions(pipe, QStringLiteral("не открывается как книга Excel")));

  // The dialog says what went wrong and offers nothing to import.
  XlsxImportDialog dialog(dir.filePath(QStringLiteral("broken.xlsx")));
  bool shown = false;
  for (const QLabel* label : dialog.findChildren<QLabel*>())
    shown = shown || label->text().contains(QStringLiteral("xl/worksheets/sheet1.xml"));
  EXPECT_TRUE(shown);
  XlsxImportDialog empty(fifo);
  QSizeF size(-1, -1);
  EXPECT_TRUE(empty.buildPages(size).isEmpty());
  EXPECT_EQ(size, QSizeF(-1, -1));
}

}  // namespace
