// A workbook as a spreadsheet program shows it: a chart beside its table,
// a large title in a row of default height, long text running on into empty
// neighbours, currency signs and quoted text of number formats, white cells
// in the preview. Pages are read back by tesseract and probed by pixels.
#include "XlsxTestSupport.h"
#include "xlsx/XlsxCellPainter.h"
#include "xlsx/XlsxPreviewWidget.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace xlsxtest;

namespace {

// A table in A3:E15 under a 16-point title, a bar chart anchored at G3:N17
// (two-cell anchor, cached values as spreadsheet programs write them), and
// three long notes: left-aligned in A17, right-aligned in E19, centred in C21.
const char* kSalesBook = R"(
from openpyxl.chart.data_source import NumData, NumVal
from openpyxl.drawing.spreadsheet_drawing import TwoCellAnchor, AnchorMarker
wb = openpyxl.Workbook()
ws = wb.active
ws["A1"] = "Quarterly Report"
ws["A1"].font = Font(size=16, bold=True)
ws.append([])
ws.append(["Month", "North", "South", "East", "West"])
for c in "ABCDE":
    ws[c + "3"].font = Font(bold=True)
    ws[c + "3"].fill = PatternFill("solid", fgColor="DDEBF7")
names = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]
for i, name in enumerate(names, start=1):
    ws.append([name, i * 10, i * 7, i * 5, 1000 + i])
ws["A17"] = "Shipping resumed after the harbour strike ended"
ws["E19"] = "Figures checked by the regional auditors"
ws["E19"].alignment = Alignment(horizontal="right")
ws["C21"] = "Totals exclude internal transfers entirely"
ws["C21"].alignment = Alignment(horizontal="center")
chart = BarChart()
chart.add_data(Reference(ws, min_col=2, min_row=3, max_col=3, max_row=15), titles_from_data=True)
for series, column in zip(chart.series, [[i * 10 for i in range(1, 13)], [i * 7 for i in range(1, 13)]]):
    series.val.numRef.numCache = NumData(pt=[NumVal(idx=i, v=v) for i, v in enumerate(column)], ptCount=12)
anchor = TwoCellAnchor()
anchor._from = AnchorMarker(col=6, row=2)
anchor.to = AnchorMarker(col=13, row=16)
chart.anchor = anchor
ws.add_chart(chart)
wb.save(path)
)";

class SalesBook : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = new QTemporaryDir;
    const QString path = dir->filePath(QStringLiteral("sales.xlsx"));
    const QString error = writeWithOpenpyxl(path, QString::fromUtf8(kSalesBook));
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    book = new XlsxWorkbook(loadXlsxWorkbook(path));
    // Landscape A4 holds the fourteen columns (A..N) without shrinking.
    XlsxPageOptions options;
    options.landscape = true;
    pages = new QList<QImage>(renderAll(*book, options));
  }
  static void TearDownTestSuite() {
    delete pages;
    delete book;
    delete dir;
  }
  // Page geometry: default columns; row 1 grown to its 16-point title (at
  // least the 21 points a spreadsheet program gives it).
  static PageGrid grid() {
    PageGrid g;
    for (int c = 0; c < 14; ++c) g.colWidthsChars.append(8.43);
    g.rowHeightsPt.append(book->sheets.first().data->rowHeights.value(1));
    for (int r = 1; r < 21; ++r) g.rowHeightsPt.append(15);
    return g;
  }
  const QImage& page() const { return pages->first(); }

  static QTemporaryDir* dir;
  static XlsxWorkbook* book;
  static QList<QImage>* pages;
};
QTemporaryDir* SalesBook::dir = nullptr;
XlsxWorkbook* SalesBook::book = nullptr;
QList<QImage>* SalesBook::pages = nullptr;

TEST_F(SalesBook, TheChartSitsBesideTheTableInItsAnchorColumns) {
  ASSERT_EQ(book->sheets.size(), 1) << book->messages().join('\n').toStdString();
  ASSERT_EQ(pages->size(), 1);
  const QColor chartBackground(248, 250, 255), north(0x42, 0x72, 0xc4), header(0xdd, 0xeb, 0xf7);
  const QRect table = grid().span(2, 0, 14, 4);
  const QRect anchor = grid().span(2, 6, 16, 13);
  // The table keeps its own colours: the header fill, and no chart paint.
  const QRect headerRow = grid().span(2, 0, 2, 4).adjusted(3, 3, -3, -3);
  EXPECT_GT(countColor(page(), headerRow, header, 4), headerRow.width() * headerRow.height() / 2);
  EXPECT_EQ(countColor(page(), table, chartBackground, 1), 0);
  EXPECT_EQ(countColor(page(), table, north, 10), 0);
  // The chart fills its anchor cells G3:N17 with its background and bars.
  const QRect core = anchor.adjusted(6, 6, -6, -6);
  EXPECT_GT(countColor(page(), core, chartBackground, 1), core.width() * core.height() / 3);
  EXPECT_GT(countColor(page(), core, north, 10), 500);
  // Every word of the table is read from the page.
  QStringList expected = {"month", "north", "south", "east", "west"};
  for (const char* m : {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"})
    expected << QString::fromLatin1(m);
  for (int i = 1; i <= 12; ++i) expected << QString::number(i * 10) << QString::number(1000 + i);
  // Enlarged: tesseract then takes the first column for the words it is.
  const QImage shot = page().copy(grid().span(2, 0, 14, 4).adjusted(-4, -4, 4, 4));
  const QStringList read = ocrWords(shot.scaled(shot.size() * 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
  EXPECT_GE(wordRecall(expected, read), 0.95) << read.join(' ').toStdString();
}

TEST_F(SalesBook, TheTitleRowGrowsToItsFontAndLongTextRunsOn) {
  // The 16-point title stands whole inside its grown row: ink above its
  // baseline (capitals) and below it (the descender of "y"), none touching
  // the row's edges.
  EXPECT_GE(book->sheets.first().data->rowHeights.value(1), 21.0);
  const QRect titleRow = grid().span(0, 0, 0, 4);
  const QRect ink = inkBox(page(), titleRow);
  ASSERT_FALSE(ink.isEmpty());
  const double em = 16 * 150.0 / 72.0;
  EXPECT_GE(ink.height(), int(em * 0.85)) << ink.height();
  EXPECT_GT(ink.top(), titleRow.top() + 1);
  EXPECT_LT(ink.bottom(), titleRow.bottom() - 1);
  // Below the descender the row is white again, above the next row's line.
  EXPECT_EQ(countInk(page(), QRect(titleRow.left(), ink.bottom() + 2, titleRow.width(), 2)), 0);

  // The three notes are read whole from their rows.
  const auto rowWords = [this](int row) {
    return ocrWords(page().copy(grid().span(row, 0, row, 9).adjusted(-4, -6, 4, 6)));
  };
  const QStringList left = rowWords(16), right = rowWords(18), centred = rowWords(20);
  EXPECT_GE(wordRecall({"shipping", "resumed", "after", "the", "harbour", "strike", "ended"}, left), 0.99)
      << left.join(' ').toStdString();
  EXPECT_GE(wordRecall({"figures", "checked", "by", "the", "regional", "auditors"}, right), 0.99)
      << right.join(' ').toStdString();
  EXPECT_GE(wordRecall({"totals", "exclude", "internal", "transfers", "entirely"}, centred), 0.99)
      << centred.join(' ').toStdString();
  // The right-aligned note ends at its own cell's right edge and runs left;
  // the centred one reaches out on both sides of C21.
  const QRect rightInk = inkBox(page(), grid().span(18, 0, 18, 9));
  EXPECT_NEAR(rightInk.right(), grid().cell(18, 4).right(), 8);
  EXPECT_LT(rightInk.left(), grid().cell(18, 3).left());
  const QRect centreInk = inkBox(page(), grid().span(20, 0, 20, 9));
  EXPECT_LT(centreInk.left(), grid().cell(20, 2).left());
  EXPECT_GT(centreInk.right(), grid().cell(20, 2).right());
  EXPECT_NEAR(centreInk.center().x(), grid().cell(20, 2).center().x(), 6);
}

TEST_F(SalesBook, ThePreviewShowsTheChartBesideWhiteCells) {
  XlsxPreviewWidget preview;
  const XlsxSheetInfo& sheet = book->sheets.first();
  preview.setSheet(sheet.data.get(), book->styles.get(), sheet.charts);
  const QImage shot = preview.grab().toImage();
  const double zoom = preview.zoomFactor();
  // Preview columns are 64 pixels, rows 20 (the title row 28).
  const auto x = [zoom](int col) { return int(col * 64 * zoom); };
  const auto y = [zoom](int row) { return int((row == 0 ? 0 : 28 + (row - 1) * 20) * zoom); };
  const QRect tableArea(QPoint(x(0) + 2, y(2) + 2), QPoint(x(5) - 2, y(15) - 2));
  const QRect chartArea(QPoint(x(6) + 4, y(2) + 4), QPoint(x(14) - 4, y(17) - 4));
  const QColor chartBackground(248, 250, 255);
  EXPECT_GT(countColor(shot, chartArea, chartBackground, 1), chartArea.width() * chartArea.height() / 3);
  EXPECT_EQ(countColor(shot, tableArea, chartBackground, 1), 0);
  // An empty cell is white, as on the page, not the grey of the desk.
  const QRect emptyCell(QPoint(x(2) + 3, y(19) + 3), QPoint(x(3) - 3, y(20) - 3));
  EXPECT_EQ(countColor(shot, emptyCell, Qt::white, 0), emptyCell.width() * emptyCell.height());
}

TEST(XlsxNumberFormats, LiteralsAndCurrencySignsOfTheCodeAreKept) {
  struct Case {
    double value;
    const char* code;
    const char* shown;
  } cases[] = {
      {1234.5, "#,##0.00 ₽", "1,234.50 ₽"},
      {1234.5, "#,##0.00 \"€\"", "1,234.50 €"},
      {12, "0 \"кг\"", "12 кг"},
      {3, "\\$0.00", "$3.00"},
      {1234.5, "[$€-407] #,##0.00", "€ 1,234.50"},
      {-5, "#,##0.00 ₽;[Red]-#,##0.00 ₽", "-5.00 ₽"},
      {0, "0.00;-0.00;\"—\"", "—"},
      {-1234, "$#,##0", "-$1,234"},
      {0.256, "0.0% \"годовых\"", "25.6% годовых"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(iFormatNum(c.value, 0, QString::fromUtf8(c.code)), QString::fromUtf8(c.shown)) << c.code;

  // The same codes through a workbook written by openpyxl and its styles part.
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("money.xlsx"));
  const QString error = writeWithOpenpyxl(path, QStringLiteral(R"(
wb = openpyxl.Workbook()
ws = wb.active
for row, (value, code) in enumerate([(1234.5, "#,##0.00 ₽"), (99, '0 "кг"'), (7.5, '#,##0.00 "€"')], start=1):
    ws.cell(row=row, column=1, value=value).number_format = code
wb.save(path)
)"));
  ASSERT_TRUE(error.isEmpty()) << error.toStdString();
  const XlsxWorkbook book = loadXlsxWorkbook(path);
  ASSERT_EQ(book.sheets.size(), 1);
  const auto text = [&book](int row) {
    return iCellText(book.sheets.first().data->cells.value(row).value(0), *book.styles);
  };
  EXPECT_EQ(text(1), QStringLiteral("1,234.50 ₽"));
  EXPECT_EQ(text(2), QStringLiteral("99 кг"));
  EXPECT_EQ(text(3), QStringLiteral("7.50 €"));
}

// The same money in a column too narrow for it and in a wide one, and text
// beside an empty neighbour. Read back by tesseract from the page and from the
// preview: the narrow cell shows "#" and no digit, never a shortened value.
// A row of a date and amounts in default columns shows the same on both.
TEST(XlsxNumbersTooWide, AreShownAsHashesWhileTextRunsOn) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("narrow.xlsx"));
  const QString error = writeWithOpenpyxl(path, QStringLiteral(R"(
wb = openpyxl.Workbook()
ws = wb.active
ws.column_dimensions["A"].width = 10
ws.column_dimensions["C"].width = 30
for cell in ("A1", "C1"):
    ws[cell] = 12345678.9
    ws[cell].number_format = "#,##0.00"
ws["A3"] = "Harbour strike at the docks"
for cell, value, code in (("B5", 42.5, "[$€-x-euro2] #,##0.00"), ("D5", 46023, "dd.mm.yyyy"),
                          ("E5", 423.67, "[$€-x-euro2] #,##0.00"), ("F5", 13444.95, '#,##0.00 "₽"')):
    ws[cell] = value
    ws[cell].number_format = code
wb.save(path)
)"));
  ASSERT_TRUE(error.isEmpty()) << error.toStdString();
  const XlsxWorkbook book = loadXlsxWorkbook(path);
  ASSERT_EQ(book.sheets.size(), 1);
  const auto digits = [](const QStringList& words) {
    return words.join(' ').contains(QRegularExpression(QStringLiteral("[0-9]")));
  };
  // tesseract reads a lone cell better with white around it, enlarged.
  const auto read = [](const QImage& image, const QRect& rect, int factor) {
    QImage canvas(rect.width() * factor + 80, rect.height() * factor + 80, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    painter.drawImage(QPoint(40, 40), image.copy(rect).scaled(rect.size() * factor, Qt::IgnoreAspectRatio,
                                                              Qt::SmoothTransformation));
    painter.end();
    return ocrWords(canvas);
  };

  const QList<QImage> pages = renderAll(book);
  ASSERT_EQ(pages.size(), 1);
  PageGrid grid;
  grid.colWidthsChars = {10, 8.43, 30, 8.43, 8.43, 8.43};
  grid.rowHeightsPt = {15, 15, 15, 15, 15};
  const QRect narrow = grid.cell(0, 0), wide = grid.cell(0, 2);
  EXPECT_GT(countInk(pages.first(), narrow.adjusted(2, 2, -2, -2)), 20);
  const QStringList narrowWords = read(pages.first(), narrow, 2);
  EXPECT_FALSE(digits(narrowWords)) << narrowWords.join(' ').toStdString();
  // Nothing of the number spills into the empty neighbour.
  EXPECT_EQ(countInk(pages.first(), grid.cell(0, 1).adjusted(2, 2, -2, -2)), 0);
  // As many '#' as fit in the cell less its margins, none cut: two strokes per '#', a '#' apart.
  QList<int> strokes;
  const QRect hashes = inkBox(pages.first(), narrow.adjusted(-30, 2, 0, -2));
  for (int x = hashes.left(), y = hashes.center().y(); x <= hashes.right(); ++x)
    if (qGray(pages.first().pixel(x, y)) < 128 && qGray(pages.first().pixel(x - 1, y)) >= 128) strokes << x;
  ASSERT_EQ(strokes.size() % 2, 0) << strokes.size();
  const double pitch = double(strokes.last() - strokes[1]) / double(strokes.size() / 2 - 1);
  // The cell's margins are 2 layout pixels a side, at 150/96 page pixels each.
  const double room = narrow.width() - 4 * 150.0 / 96.0;
  EXPECT_LE(strokes.size() / 2 * pitch, room + 1) << pitch;
  EXPECT_GT((strokes.size() / 2 + 1) * pitch, room) << pitch;
  const QStringList wideWords = read(pages.first(), wide, 2);
  EXPECT_TRUE(wideWords.join(' ').contains(QStringLiteral("12,345,678.90"))) << wideWords.join(' ').toStdString();
  // Text still runs on into the empty cell beside it.
  EXPECT_GT(countInk(pages.first(), grid.cell(2, 1).adjusted(2, 2, -2, -2)), 20);

  // The preview at 96 dpi: columns of 75, 64 and 215 pixels, rows of 20.
  XlsxPreviewWidget preview;
  const XlsxSheetInfo& sheet = book.sheets.first();
  preview.setSheet(sheet.data.get(), book.styles.get(), sheet.charts);
  ASSERT_DOUBLE_EQ(preview.zoomFactor(), 1.0);
  const QImage shot = preview.grab().toImage();
  const QStringList previewNarrow = read(shot, QRect(0, 0, 75, 20), 4);
  EXPECT_FALSE(digits(previewNarrow)) << previewNarrow.join(' ').toStdString();
  EXPECT_GT(countInk(shot, QRect(2, 2, 71, 16)), 10);
  const QStringList previewWide = read(shot, QRect(139, 0, 215, 20), 4);
  EXPECT_TRUE(previewWide.join(' ').contains(QStringLiteral("12,345,678.90"))) << previewWide.join(' ').toStdString();
  const auto amounts = [](const QStringList& words) {
    static const QRegularExpression amount(QStringLiteral("\\d\\d\\.\\d\\d\\.\\d{4}|\\d[\\d,]*\\.\\d\\d"));
    QStringList found;
    for (auto it = amount.globalMatch(words.join(' ')); it.hasNext();) found << it.next().captured();
    return found;
  };
  const QStringList onPage = amounts(read(pages.first(), grid.span(4, 0, 4, 5), 2));
  // Shrunk to a narrower dialog the preview shows as many values as the page.
  QWidget narrowDialog;
  narrowDialog.resize(500, 300);
  XlsxPreviewWidget shrunk(&narrowDialog);
  shrunk.setSheet(sheet.data.get(), book.styles.get(), sheet.charts);
  const double zoom = shrunk.zoomFactor();
  ASSERT_LT(zoom, 0.9);
  const QStringList onScreen = amounts(read(shrunk.grab().toImage(), QRect(0, int(80 * zoom), int(546 * zoom), int(20 * zoom) + 1), 5));
  EXPECT_TRUE(onPage.contains(QStringLiteral("42.50")) && onScreen.contains(QStringLiteral("42.50")));
  EXPECT_EQ(onScreen.size(), onPage.size()) << onScreen.join(' ').toStdString() << " / " << onPage.join(' ').toStdString();
}

}  // namespace
