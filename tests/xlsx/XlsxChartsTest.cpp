// Charts written by openpyxl (one-cell anchors sized by their extent, parts
// named by absolute targets) drawn inside their anchor cells.
#include "XlsxTestSupport.h"
#include "xlsx/XlsxPreviewWidget.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace xlsxtest;

namespace {

const char* kCharts = R"(
wb = openpyxl.Workbook()
ws = wb.active
ws.append(["Month", "North", "South"])
for row in [["Jan", 3, 5], ["Feb", 6, 2], ["Mar", 9, 4], ["Apr", 4, 7]]:
    ws.append(row)
ws["K32"] = "end"
data = Reference(ws, min_col=2, min_row=1, max_col=3, max_row=5)
cats = Reference(ws, min_col=1, min_row=2, max_row=5)
for kind, anchor in [(BarChart, "A8"), (LineChart, "F8"), (PieChart, "A20")]:
    chart = kind()
    chart.title = "Sales"
    chart.add_data(data if kind is not PieChart else Reference(ws, min_col=2, min_row=1, max_row=5), titles_from_data=True)
    chart.set_categories(cats)
    # openpyxl writes no cached values; spreadsheet programs do, and charts are drawn from them.
    from openpyxl.chart.data_source import NumData, NumVal
    for series, column in zip(chart.series, [[3, 6, 9, 4], [5, 2, 4, 7]]):
        series.val.numRef.numCache = NumData(pt=[NumVal(idx=i, v=v) for i, v in enumerate(column)], ptCount=4)
    chart.width = 8
    chart.height = 5
    ws.add_chart(chart, anchor)
wb.save(path)
)";

TEST(XlsxCharts, OneCellAnchoredChartsAreDrawnInsideTheirAnchor) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("charts.xlsx"));
  const QString error = writeWithOpenpyxl(path, QString::fromUtf8(kCharts));
  ASSERT_TRUE(error.isEmpty()) << error.toStdString();
  const XlsxWorkbook book = loadXlsxWorkbook(path);
  // openpyxl names the sheet part "/xl/worksheets/sheet1.xml", from the package root.
  ASSERT_EQ(book.sheets.size(), 1) << book.messages().join('\n').toStdString();
  const QList<XlsxIChart>& charts = book.sheets.first().charts;
  ASSERT_EQ(charts.size(), 3);

  // 8 x 5 cm is 302 x 189 pixels at 96 dpi: five default columns of 64 and
  // ten default rows of 20, starting at the anchor cell.
  struct Expected {
    int type, fromRow, fromCol;
  } expected[] = {{XlsxIChart::Column, 7, 0}, {XlsxIChart::Line, 7, 5}, {XlsxIChart::Pie, 19, 0}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(charts[i].type, expected[i].type);
    EXPECT_EQ(charts[i].title, QStringLiteral("Sales"));
    EXPECT_EQ(charts[i].fromRow, expected[i].fromRow);
    EXPECT_EQ(charts[i].fromCol, expected[i].fromCol);
    EXPECT_EQ(charts[i].toCol, expected[i].fromCol + 4);
    EXPECT_EQ(charts[i].toRow, expected[i].fromRow + 9);
    ASSERT_FALSE(charts[i].series.isEmpty());
    EXPECT_EQ(charts[i].series.first().values, (QList<double>{3, 6, 9, 4}));
  }

  const QList<QImage> pages = renderAll(book);
  ASSERT_EQ(pages.size(), 1);
  const QImage& page = pages.first();
  PageGrid grid;
  for (int c = 0; c < 11; ++c) grid.colWidthsChars.append(8.43);
  for (int r = 0; r < 32; ++r) grid.rowHeightsPt.append(15);
  const QColor background(248, 250, 255), firstSeries(0x42, 0x72, 0xc4);
  QRegion inside;
  for (const XlsxIChart& chart : charts) {
    // Anchor rows count from 0, sheet rows from 1: the grid starts at sheet row 1.
    const QRect anchor = grid.span(chart.fromRow, chart.fromCol, chart.toRow, chart.toCol);
    inside += anchor.adjusted(-2, -2, 2, 2);
    const QRect core = anchor.adjusted(6, 6, -6, -6);
    SCOPED_TRACE(chart.type);
    EXPECT_GT(countColor(page, core, background, 2), core.width() * core.height() / 3);
    EXPECT_GT(countColor(page, core, firstSeries, 12), 150);
  }
  // No chart paint outside the three anchors.
  int outside = 0;
  for (int y = 0; y < page.height(); y += 2)
    for (int x = 0; x < page.width(); x += 2)
      if (!inside.contains(QPoint(x, y)) && page.pixelColor(x, y) == background) ++outside;
  EXPECT_EQ(outside, 0);
}

TEST(XlsxCharts, ChartsBelowTheLastFilledRowArePreviewedAndPrintedWhole) {
  // The same charts with nothing written below the table: the sheet's cells
  // end at row 5, the charts reach row 29.
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("below.xlsx"));
  const QString error =
      writeWithOpenpyxl(path, QString::fromUtf8(kCharts).remove(QStringLiteral("ws[\"K32\"] = \"end\"\n")));
  ASSERT_TRUE(error.isEmpty()) << error.toStdString();
  const XlsxWorkbook book = loadXlsxWorkbook(path);
  ASSERT_EQ(book.sheets.size(), 1);
  const XlsxSheetInfo& sheet = book.sheets.first();
  ASSERT_EQ(sheet.data->cells.lastKey(), 5);
  ASSERT_EQ(sheet.charts.size(), 3);
  const QColor background(248, 250, 255), firstSeries(0x42, 0x72, 0xc4);

  const QList<QImage> pages = renderAll(book);
  ASSERT_EQ(pages.size(), 1);
  PageGrid grid;
  for (int c = 0; c < 10; ++c) grid.colWidthsChars.append(8.43);
  for (int r = 0; r < 29; ++r) grid.rowHeightsPt.append(15);
  for (const XlsxIChart& chart : sheet.charts) {
    SCOPED_TRACE(chart.type);
    const QRect anchor = grid.span(chart.fromRow, chart.fromCol, chart.toRow, chart.toCol);
    ASSERT_LE(anchor.bottom(), pages.first().height());
    // Whole: its bottom band is chart paint (background or bars), not the
    // white of an empty page, as well as its middle.
    const QRect core = anchor.adjusted(6, 6, -6, -6);
    EXPECT_GT(countColor(pages.first(), core, background, 2), core.width() * core.height() / 3);
    const QRect bottom(anchor.left() + 6, anchor.bottom() - 10, anchor.width() - 12, 6);
    EXPECT_LT(countColor(pages.first(), bottom, Qt::white, 0), bottom.width() * bottom.height() / 20);
    EXPECT_GT(countColor(pages.first(), core, firstSeries, 12), 150);
  }

  // The preview: default columns of 64 pixels and rows of 20, shrunk to its width.
  XlsxPreviewWidget preview;
  preview.setSheet(sheet.data.get(), book.styles.get(), sheet.charts);
  const QImage shot = preview.grab().toImage();
  const double zoom = preview.zoomFactor();
  for (const XlsxIChart& chart : sheet.charts) {
    SCOPED_TRACE(chart.type);
    const QRect anchor(QPoint(int(chart.fromCol * 64 * zoom), int(chart.fromRow * 20 * zoom)),
                       QPoint(int((chart.toCol + 1) * 64 * zoom) - 1, int((chart.toRow + 1) * 20 * zoom) - 1));
    ASSERT_LE(anchor.bottom(), shot.height());
    const QRect bottom(anchor.left() + 4, anchor.bottom() - 8, anchor.width() - 8, 4);
    EXPECT_LT(countColor(shot, bottom, Qt::white, 0), bottom.width() * bottom.height() / 20);
    const QRect core = anchor.adjusted(5, 5, -5, -5);
    EXPECT_GT(countColor(shot, core, background, 2), core.width() * core.height() / 3);
  }
}

}  // namespace
