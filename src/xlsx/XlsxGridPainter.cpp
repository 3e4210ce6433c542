#include "XlsxGridPainter.h"

#include <QFontMetricsF>
#include <QPainter>

#include <memory>

namespace {

const XlsxICell* cellAt(const XlsxISheetData& sheet, int row, int col) {
  const auto rowIt = sheet.cells.constFind(row);
  if (rowIt == sheet.cells.cend()) return nullptr;
  const auto cellIt = rowIt->constFind(col);
  return cellIt == rowIt->cend() ? nullptr : &cellIt.value();
}

class WindowPainter {
 public:
  WindowPainter(QPainter& painter, const XlsxISheetData& sheet, const XlsxIStyles& styles,
                const XlsxGridLayout& layout, int row0, int row1, int col0, int col1, double top,
                XlsxPaintTarget target)
      : painter(painter), sheet(sheet), styles(styles), layout(layout), row0(row0), row1(row1), col0(col0),
        col1(col1), top(top), target(target) {}

  // The cost follows the rows and columns of the window plus the cells and
  // merges inside it: empty positions are never visited one by one.
  void paintFills() {
    const QColor gridColour = target == XlsxPaintTarget::Page ? QColor(210, 210, 210) : QColor(220, 220, 220);
    const bool page = target == XlsxPaintTarget::Page;
    const auto snap = [page](double v) { return page ? double(int(v)) : v; };
    const double x0 = snap(layout.colEdge(col0)), x1 = snap(layout.colEdge(col1 + 1));
    const double y0 = snap(layout.rowEdge(row0) - top), y1 = snap(layout.rowEdge(row1 + 1) - top);
    painter.setPen(QPen(gridColour, 0.5));
    for (int col = col0; col <= col1 + 1; ++col) {
      const double x = snap(layout.colEdge(col));
      painter.drawLine(QPointF(x, y0), QPointF(x, y1));
    }
    for (int row = row0; row <= row1 + 1; ++row) {
      const double y = snap(layout.rowEdge(row) - top);
      painter.drawLine(QPointF(x0, y), QPointF(x1, y));
    }
    forEachCell([this](int, int, const QRectF& rect, const XlsxICell& cell, bool merged) {
      if (iCellHasFill(cell, styles)) iDrawCellFill(painter, rect, cell, styles, target);
      else if (merged) painter.fillRect(rect, Qt::white);  // a merged block hides the grid inside it
      else return;
      iDrawCellLines(painter, rect, cell, styles, target, true);
    });
  }

  void paintTexts() {
    forEachCell([this](int row, int col, const QRectF& rect, const XlsxICell& cell, bool merged) {
      if (!cell.text.isEmpty()) drawText(row, col, rect, cell, merged);
    });
  }

  void paintBorders() {
    forEachCell([this](int, int, const QRectF& rect, const XlsxICell& cell, bool) {
      iDrawCellLines(painter, rect, cell, styles, target, false);
    });
  }

 private:
  // Visits the stored cells of the window that no merge covers, then every
  // merged block that meets the window with its top-left cell.
  template <typename Visit>
  void forEachCell(const Visit& visit) {
    merges = std::make_unique<XlsxMergeRows>(sheet.merges, row0, row1, col0, col1);
    for (auto rowIt = sheet.cells.lowerBound(row0); rowIt != sheet.cells.cend() && rowIt.key() <= row1; ++rowIt) {
      const int row = rowIt.key();
      merges->moveTo(row);
      currentRow = row;
      const QMap<int, XlsxICell>& cells = rowIt.value();
      if (target == XlsxPaintTarget::Preview) runOnFromOutside(row, cells, visit);
      for (auto it = cells.lowerBound(col0); it != cells.cend() && it.key() <= col1; ++it) {
        if (merges->at(it.key())) continue;
        const QRectF rect = layout.blockRect(row, it.key(), row, it.key(), top);
        if (!rect.isEmpty()) visit(row, it.key(), rect, it.value(), false);
      }
    }
    currentRow = -1;
    for (const XlsxIMerge& m : merges->inWindow()) {
      const int lastRow = std::min(m.lastRow, layout.span.lastRow);
      const int lastCol = std::min(m.lastCol, layout.span.lastCol);
      if (m.firstRow < layout.span.firstRow || m.firstCol < layout.span.firstCol) continue;
      const QRectF rect = layout.blockRect(m.firstRow, m.firstCol, lastRow, lastCol, top);
      if (rect.isEmpty()) continue;  // hidden rows and columns
      const XlsxICell* found = cellAt(sheet, m.firstRow, m.firstCol);
      visit(m.firstRow, m.firstCol, rect, found ? *found : empty, true);
    }
  }

  // Text of a cell left of the window that runs on into it, or right of it
  // running back: the preview paints windows of a sheet.
  template <typename Visit>
  void runOnFromOutside(int row, const QMap<int, XlsxICell>& cells, const Visit& visit) {
    const auto near = [&](QMap<int, XlsxICell>::const_iterator it) {
      if (it.value().text.isEmpty()) return false;
      if (it.key() < layout.span.firstCol || it.key() > layout.span.lastCol) return true;
      const XlsxCellLook look = iCellLook(it.value(), styles);
      if (!look.mayOverflow) return true;
      // Merged text never runs on; a merge outside the window is not known
      // to the cursor, so the merges are asked.
      for (const XlsxIMerge& m : sheet.merges)
        if (row >= m.firstRow && row <= m.lastRow && it.key() >= m.firstCol && it.key() <= m.lastCol) return true;
      const QRectF rect = layout.blockRect(row, it.key(), row, it.key(), top);
      if (!rect.isEmpty()) visit(row, it.key(), rect, it.value(), false);
      return true;
    };
    for (auto below = cells.lowerBound(col0); below != cells.cbegin();)
      if (near(--below)) break;
    for (auto above = cells.upperBound(col1); above != cells.cend(); ++above)
      if (near(above)) break;
  }

  bool emptyAt(int row, int col) const {
    if (col < layout.span.firstCol || col > layout.span.lastCol) return false;
    // A merge in the window is known to the cursor of the current row.
    if (row == currentRow && col >= col0 && col <= col1 && merges->at(col)) return false;
    const XlsxICell* cell = cellAt(sheet, row, col);
    return !cell || cell->text.isEmpty();
  }

  void drawText(int row, int col, const QRectF& rect, const XlsxICell& cell, bool merged) {
    XlsxCellLook look = iCellLook(cell, styles);
    if (look.text.isEmpty()) return;
    painter.setFont(look.font);
    if (cell.numeric) {
      look.text = iNumberTextThatFits(look.text, painter.fontMetrics(), rect.width() - 4.0);
      iDrawCellText(painter, rect, rect, look, target);
      return;
    }
    const double needed = look.mayOverflow && !merged ? painter.fontMetrics().horizontalAdvance(look.text) + 4.0 : 0;
    if (needed <= rect.width()) {
      iDrawCellText(painter, rect, rect, look, target);
      return;
    }
    double left = rect.left(), right = rect.right();
    int firstCol = col, lastCol = col;
    const double spare = needed - rect.width();
    const double reachRight = look.side < 0 ? spare : look.side == 0 ? spare / 2 : 0;
    const double reachLeft = look.side > 0 ? spare : look.side == 0 ? spare / 2 : 0;
    while (right < rect.right() + reachRight && emptyAt(row, lastCol + 1)) right = layout.colEdge(++lastCol + 1);
    while (left > rect.left() - reachLeft && emptyAt(row, firstCol - 1)) left = layout.colEdge(--firstCol);
    // The light grid between the cell and the neighbours its text covers is
    // not drawn, as in the spreadsheet program.
    for (int c = firstCol + 1; c <= lastCol; ++c) {
      const XlsxICell* before = c - 1 == col ? &cell : cellAt(sheet, row, c - 1);
      const XlsxICell* after = c == col ? &cell : cellAt(sheet, row, c);
      if ((before && iCellHasFill(*before, styles)) || (after && iCellHasFill(*after, styles))) continue;
      const double x = layout.colEdge(c);
      painter.fillRect(QRectF(x - 1, rect.top() + 1, 2, rect.height() - 2), Qt::white);
    }
    QRectF textRect = rect;
    if (look.side < 0) textRect.setRight(rect.left() + needed);
    else if (look.side > 0) textRect.setLeft(rect.right() - needed);
    else textRect = QRectF(rect.center().x() - needed / 2, rect.top(), needed, rect.height());
    iDrawCellText(painter, textRect, QRectF(QPointF(left, rect.top()), QPointF(right, rect.bottom())), look, target);
  }

  QPainter& painter;
  const XlsxISheetData& sheet;
  const XlsxIStyles& styles;
  const XlsxGridLayout& layout;
  int row0, row1, col0, col1;
  double top;
  XlsxPaintTarget target;
  const XlsxICell empty;
  std::unique_ptr<XlsxMergeRows> merges;
  int currentRow = -1;
};

}  // namespace

XlsxGridLayout iSheetLayout(const XlsxISheetData& sheet, const QList<XlsxIChart>& charts) {
  XlsxGridLayout grid;
  grid.span = iGridSpan(sheet, charts);
  if (grid.span.isEmpty()) return grid;
  grid.colEdges = iEdges<double>(grid.span.firstCol, grid.span.lastCol, [&sheet](int column) {
    const XlsxColumnRanges::Range* range = sheet.colWidths.find(column);
    return range && range->hidden ? 0 : iPreviewColumnPixels(sheet, column);
  });
  grid.rowEdges = iEdges<double>(grid.span.firstRow, grid.span.lastRow, [&sheet](int row) {
    return sheet.hiddenRows.contains(row) ? 0 : iPreviewRowPixels(sheet, row);
  });
  return grid;
}

XlsxGridSpan XlsxGridLayout::chartCells(const XlsxIChart& chart) const {
  // Anchor rows count from 0, sheet rows from 1.
  const int topRow = chart.fromRow + 1;
  if (topRow < span.firstRow || topRow > span.lastRow || chart.fromCol < span.firstCol || chart.fromCol > span.lastCol)
    return XlsxGridSpan();
  XlsxGridSpan cells;
  cells.firstRow = topRow;
  cells.firstCol = chart.fromCol;
  cells.lastRow = std::min(std::max(chart.toRow, chart.fromRow) + 1, span.lastRow);
  cells.lastCol = std::min(std::max(chart.toCol, chart.fromCol), span.lastCol);
  return cells;
}

void iPaintCellWindow(QPainter& painter, const XlsxISheetData& sheet, const XlsxIStyles& styles,
                      const XlsxGridLayout& layout, int row0, int row1, int col0, int col1, double top,
                      XlsxPaintTarget target) {
  if (layout.span.isEmpty() || row1 < row0 || col1 < col0) return;
  WindowPainter window(painter, sheet, styles, layout, row0, row1, col0, col1, top, target);
  window.paintFills();
  window.paintTexts();
  window.paintBorders();
}
