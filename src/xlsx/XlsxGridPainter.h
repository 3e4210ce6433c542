#pragma once
// Painting a window of a laid-out sheet, shared by the preview and the page
// images: fills and grid first, then text, which runs on into empty
// neighbours as in the spreadsheet program, then borders.

#include "XlsxCellPainter.h"
#include "XlsxSheetGrid.h"

#include <vector>

struct XlsxGridLayout {
  XlsxGridSpan span;
  std::vector<double> colEdges;  // from span.firstCol, then the far edge
  std::vector<double> rowEdges;  // from span.firstRow, then the far edge
  double colEdge(int col) const { return colEdges[size_t(col - span.firstCol)]; }
  double rowEdge(int row) const { return rowEdges[size_t(row - span.firstRow)]; }
  // Rows firstRow..lastRow and columns firstCol..lastCol, every y moved up by top.
  QRectF blockRect(int firstRow, int firstCol, int lastRow, int lastCol, double top = 0) const {
    return QRectF(QPointF(colEdge(firstCol), rowEdge(firstRow) - top),
                  QPointF(colEdge(lastCol + 1), rowEdge(lastRow + 1) - top));
  }
  // The cells a chart covers, cut to the span; empty when its top-left cell
  // lies outside the span.
  XlsxGridSpan chartCells(const XlsxIChart& chart) const;
};

// The sheet laid out at 96 dpi in whole pixels: the one layout that the
// preview shows and the page images are scaled from, so that both hold the
// same texts at the same size relative to their cells.
XlsxGridLayout iSheetLayout(const XlsxISheetData& sheet, const QList<XlsxIChart>& charts);

// Paints the cells of rows row0..row1 and columns col0..col1 (all inside the
// span), every y moved up by top. A merged block is painted where the window
// first meets it, reaching to its last row and column within the span.
void iPaintCellWindow(QPainter& painter, const XlsxISheetData& sheet, const XlsxIStyles& styles,
                      const XlsxGridLayout& layout, int row0, int row1, int col0, int col1, double top,
                      XlsxPaintTarget target);
