#include "XlsxGridPainter.h"

#include <QFontMetricsF>
#include <QPainter>

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
                XlsxPaintTarget target, double zoom)
      : painter(painter), sheet(sheet), styles(styles), layout(layout), row0(row0), row1(row1), col0(col0),
        col1(col1), top(top), target(target), zoom(zoom) {}

  enum Layer { Fill, Text, Border };

  void paint(Layer layer) {
    XlsxMergeRows merges(sheet.merges, row0, row1, col0, col1);
    for (int row = row0; row <= row1; ++row) {
      merges.moveTo(row);
      if (layer == Text && target == XlsxPaintTarget::Preview) runOnFromOutside(row, merges);
      for (int col = col0; col <= col1; ++col) {
        const XlsxIMerge* m = merges.at(col);
        if (m && !merges.isAnchor(*m, row, col)) continue;
        const int firstRow = m ? m->firstRow : row, firstCol = m ? m->firstCol : col;
        const int lastRow = m ? std::min(m->lastRow, layout.span.lastRow) : row;
        const int lastCol = m ? std::min(m->lastCol, layout.span.lastCol) : col;
        if (firstRow < layout.span.firstRow || firstCol < layout.span.firstCol) continue;
        const QRectF rect = blockRect(firstRow, firstCol, lastRow, lastCol);
        if (rect.isEmpty()) continue;  // hidden rows and columns
        const XlsxICell* found = cellAt(sheet, firstRow, firstCol);
        const XlsxICell& cell = found ? *found : empty;
        if (layer == Fill) {
          iDrawCellFill(painter, rect, cell, styles, target);
          iDrawCellLines(painter, rect, cell, styles, target, true);
        } else if (layer == Border) {
          iDrawCellLines(painter, rect, cell, styles, target, false);
        } else if (found && !cell.text.isEmpty()) {
          drawText(row, col, rect, cell, m != nullptr, merges);
        }
      }
    }
  }

 private:
  QRectF blockRect(int firstRow, int firstCol, int lastRow, int lastCol) const {
    return QRectF(QPointF(layout.colEdge(firstCol), layout.rowEdge(firstRow) - top),
                  QPointF(layout.colEdge(lastCol + 1), layout.rowEdge(lastRow + 1) - top));
  }

  bool emptyAt(int row, int col, const XlsxMergeRows& merges) const {
    if (col < layout.span.firstCol || col > layout.span.lastCol) return false;
    // A merge outside the window cannot reach a neighbour inside it; one in
    // the window is known to the cursor.
    if (col >= col0 && col <= col1 && merges.at(col)) return false;
    const XlsxICell* cell = cellAt(sheet, row, col);
    return !cell || cell->text.isEmpty();
  }

  // Text of a cell left of the window that runs on into it, or right of it
  // running back: the preview paints windows of a sheet.
  void runOnFromOutside(int row, const XlsxMergeRows& merges) {
    const auto rowIt = sheet.cells.constFind(row);
    if (rowIt == sheet.cells.cend()) return;
    const QMap<int, XlsxICell>& cells = rowIt.value();
    auto below = cells.lowerBound(col0);
    while (below != cells.cbegin()) {
      --below;
      if (below.value().text.isEmpty()) continue;
      if (below.key() >= layout.span.firstCol) runOnCell(row, below.key(), below.value(), merges);
      break;
    }
    for (auto above = cells.upperBound(col1); above != cells.cend(); ++above) {
      if (above.value().text.isEmpty()) continue;
      if (above.key() <= layout.span.lastCol) runOnCell(row, above.key(), above.value(), merges);
      break;
    }
  }

  void runOnCell(int row, int col, const XlsxICell& cell, const XlsxMergeRows& merges) {
    const XlsxCellLook look = iCellLook(cell, styles, target, zoom);
    if (!look.mayOverflow || look.text.isEmpty()) return;
    // A merge outside the window is not known to the cursor; merged text
    // never runs on, so a merged cell is left to its own window.
    for (const XlsxIMerge& m : sheet.merges)
      if (row >= m.firstRow && row <= m.lastRow && col >= m.firstCol && col <= m.lastCol) return;
    const QRectF rect = blockRect(row, col, row, col);
    if (!rect.isEmpty()) drawText(row, col, rect, cell, false, merges);
  }

  void drawText(int row, int col, const QRectF& rect, const XlsxICell& cell, bool merged,
                const XlsxMergeRows& merges) {
    const XlsxCellLook look = iCellLook(cell, styles, target, zoom);
    if (look.text.isEmpty()) return;
    painter.setFont(look.font);
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
    while (right < rect.right() + reachRight && emptyAt(row, lastCol + 1, merges)) right = layout.colEdge(++lastCol + 1);
    while (left > rect.left() - reachLeft && emptyAt(row, firstCol - 1, merges)) left = layout.colEdge(--firstCol);
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
  double zoom;
  const XlsxICell empty;
};

}  // namespace

void iPaintCellWindow(QPainter& painter, const XlsxISheetData& sheet, const XlsxIStyles& styles,
                      const XlsxGridLayout& layout, int row0, int row1, int col0, int col1, double top,
                      XlsxPaintTarget target, double zoom) {
  if (layout.span.isEmpty() || row1 < row0 || col1 < col0) return;
  WindowPainter window(painter, sheet, styles, layout, row0, row1, col0, col1, top, target, zoom);
  window.paint(WindowPainter::Fill);
  window.paint(WindowPainter::Text);
  window.paint(WindowPainter::Border);
}
