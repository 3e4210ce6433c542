#include "XlsxPageRenderer.h"

#include "XlsxCellPainter.h"
#include "XlsxSheetGrid.h"

#include <QPainter>

namespace {

constexpr double kDpi = 150.0;
constexpr double kMargin = 20.0 * kDpi / 72.0;  // 41.667 pixels

struct SheetLayout {
  XlsxGridSpan span;
  std::vector<double> colEdges;  // pixels at 150 dpi
  std::vector<double> rowEdges;
};

SheetLayout layoutOf(const XlsxISheetData& sheet) {
  SheetLayout layout;
  layout.span = iGridSpan(sheet);
  layout.colEdges = iEdges<double>(layout.span.firstCol, layout.span.lastCol, [&sheet](int column) {
    if (sheet.hiddenCols.contains(column)) return 0.0;
    const auto it = sheet.colWidths.constFind(column);
    return it == sheet.colWidths.cend() ? 97.203125 : std::max(8.0, 7.0 * it.value() * kDpi / 96.0 + 5.0);
  });
  layout.rowEdges = iEdges<double>(layout.span.firstRow, layout.span.lastRow, [&sheet](int row) {
    if (sheet.hiddenRows.contains(row)) return 0.0;
    const auto it = sheet.rowHeights.constFind(row);
    return it == sheet.rowHeights.cend() ? 31.25 : std::max(6.0, it.value() * kDpi / 72.0);
  });
  return layout;
}

// Row ranges of the pages: the breaks that fall inside the sheet cut it.
QList<std::pair<int, int>> pageRanges(const XlsxGridSpan& span, const QList<int>& breaks) {
  QList<std::pair<int, int>> ranges;
  int start = span.firstRow;
  for (const int row : breaks) {
    if (row > start && row <= span.lastRow) {
      ranges.append({start, row - 1});
      start = row;
    }
  }
  ranges.append({start, span.lastRow});
  return ranges;
}

class PagePainter {
 public:
  PagePainter(const XlsxSheetInfo& sheet, const XlsxIStyles& styles, const SheetLayout& layout, double chartZoom)
      : sheet(sheet), styles(styles), layout(layout), chartZoom(chartZoom) {}

  void paint(QPainter& painter, int firstRow, int lastRow, double scale, double visibleWidth) const {
    const XlsxGridSpan& span = layout.span;
    const double top = rowEdge(firstRow);
    // Columns that start past the image's right edge are never seen.
    int lastColumn = span.lastCol;
    while (lastColumn > span.firstCol && colEdge(lastColumn) * scale > visibleWidth) --lastColumn;
    const XlsxMergeWindow merges(sheet.data->merges, firstRow, lastRow, span.firstCol, lastColumn);
    const XlsxICell empty;
    for (int row = firstRow; row <= lastRow; ++row) {
      const auto rowIt = sheet.data->cells.constFind(row);
      for (int col = span.firstCol; col <= lastColumn; ++col) {
        if (merges.covered(row, col)) continue;
        int endRow = row, endCol = col;
        if (merges.spanOf(row, col, &endRow, &endCol)) {
          endRow = std::min(endRow, span.lastRow);
          endCol = std::min(endCol, span.lastCol);
        }
        const QRectF rect(QPointF(colEdge(col), rowEdge(row) - top),
                          QPointF(colEdge(endCol + 1), rowEdge(endRow + 1) - top));
        if (rect.isEmpty()) continue;  // hidden rows and columns
        const XlsxICell* cell = &empty;
        if (rowIt != sheet.data->cells.cend()) {
          const auto cellIt = rowIt->constFind(col);
          if (cellIt != rowIt->cend()) cell = &cellIt.value();
        }
        iDrawCell(painter, rect, *cell, styles, XlsxPaintTarget::Page, chartZoom);
      }
    }
    const QRectF rowsArea(0, 0, layout.colEdges.back(), rowEdge(lastRow + 1) - top);
    for (const XlsxIChart& chart : sheet.charts) {
      const int topRow = chart.fromRow + 1;
      int bottomRow = std::min(chart.toRow + 1, span.lastRow);
      if (topRow < span.firstRow || chart.fromCol < span.firstCol) continue;
      if (bottomRow < span.firstRow || chart.toCol < span.firstCol) continue;
      // A chart is drawn on the pages whose rows it meets, clipped to them.
      const int pageTop = std::max(topRow, firstRow);
      if (pageTop > lastRow || bottomRow < firstRow) continue;
      const double left = chart.fromCol > span.lastCol ? 0.0 : colEdge(chart.fromCol);
      const double right = chart.toCol > span.lastCol ? layout.colEdges.back() : colEdge(chart.toCol + 1);
      const QRectF rect(QPointF(left, rowEdge(pageTop) - top), QPointF(right, rowEdge(bottomRow + 1) - top));
      painter.save();
      painter.setClipRect(rowsArea);
      iDrawChart(painter, rect, chart, chartZoom);
      painter.restore();
    }
  }

  double rowEdge(int row) const { return layout.rowEdges[size_t(row - layout.span.firstRow)]; }
  double colEdge(int col) const { return layout.colEdges[size_t(col - layout.span.firstCol)]; }

 private:
  const XlsxSheetInfo& sheet;
  const XlsxIStyles& styles;
  const SheetLayout& layout;
  double chartZoom;
};

}  // namespace

QSizeF xlsxPageSizePt(const XlsxPageOptions& options) {
  return options.landscape ? options.paperPt.transposed() : options.paperPt;
}

int renderXlsxPages(const QList<XlsxSheetInfo>& sheets, const XlsxIStyles& styles, const XlsxPageOptions& options,
                    const std::function<bool(const QImage&)>& sink) {
  const QSizeF pagePt = xlsxPageSizePt(options);
  const QSize imageSize(int(pagePt.width() * kDpi / 72.0), int(pagePt.height() * kDpi / 72.0));
  const double usableWidth = pagePt.width() * kDpi / 72.0 - 2 * kMargin;
  const double usableHeight = pagePt.height() * kDpi / 72.0 - 2 * kMargin;
  int handed = 0;
  for (qsizetype index = 0; index < sheets.size(); ++index) {
    const XlsxSheetInfo& sheet = sheets[index];
    if (!sheet.data || sheet.data->cells.isEmpty()) continue;
    const SheetLayout layout = layoutOf(*sheet.data);
    const double sheetWidth = layout.colEdges.back();
    const double fit = options.fitToWidth && sheetWidth > usableWidth ? usableWidth / sheetWidth : 1.0;
    const PagePainter pagePainter(sheet, styles, layout, options.chartZoom);
    const QList<int> breaks = index == options.shownSheet ? options.shownBreaks : QList<int>();
    for (const auto& [first, last] : pageRanges(layout.span, breaks)) {
      if (first < layout.span.firstRow || first > layout.span.lastRow) continue;
      const double pageHeight = (pagePainter.rowEdge(last + 1) - pagePainter.rowEdge(first)) * fit;
      const double scale = pageHeight > usableHeight ? fit * usableHeight / pageHeight : fit;
      QImage image(imageSize, QImage::Format_RGB32);
      image.setDotsPerMeterX(5906);
      image.setDotsPerMeterY(5906);
      image.fill(Qt::white);
      {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.translate(kMargin, kMargin);
        painter.scale(scale, scale);
        pagePainter.paint(painter, first, last, scale, imageSize.width() - kMargin);
      }
      ++handed;
      if (!sink(image)) return handed;
    }
  }
  return handed;
}
