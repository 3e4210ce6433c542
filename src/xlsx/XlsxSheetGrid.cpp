#include "XlsxSheetGrid.h"

#include <limits>

namespace {
qint64 key(int row, int col) { return (qint64(row) << 20) | qint64(col); }
}  // namespace

XlsxGridSpan iGridSpan(const XlsxISheetData& sheet) {
  XlsxGridSpan span;
  if (sheet.cells.isEmpty()) return span;
  span.firstRow = sheet.cells.firstKey();
  span.lastRow = sheet.cells.lastKey();
  int first = std::numeric_limits<int>::max(), last = 0;
  for (const auto& row : sheet.cells) {
    if (row.isEmpty()) continue;
    first = std::min(first, row.firstKey());
    last = std::max(last, row.lastKey());
  }
  span.firstCol = first == std::numeric_limits<int>::max() ? 0 : first;
  span.lastCol = last;
  return span;
}

XlsxMergeWindow::XlsxMergeWindow(const QList<XlsxIMerge>& merges, int firstRow, int lastRow, int firstCol,
                                 int lastCol)
    : firstRow(firstRow), lastRow(lastRow), firstCol(firstCol), lastCol(lastCol) {
  if (lastRow < firstRow || lastCol < firstCol) return;
  coveredCells.assign(size_t(qint64(lastRow - firstRow + 1) * (lastCol - firstCol + 1)), 0);
  const qint64 width = lastCol - firstCol + 1;
  for (const XlsxIMerge& m : merges) {
    if (m.firstRow <= 0 || m.lastRow <= 0 || m.firstCol < 0 || m.lastCol < 0) continue;
    const int top = std::min(m.firstRow, m.lastRow), bottom = std::max(m.firstRow, m.lastRow);
    const int left = std::min(m.firstCol, m.lastCol), right = std::max(m.firstCol, m.lastCol);
    if (bottom < firstRow || top > lastRow || right < firstCol || left > lastCol) continue;
    if (top >= firstRow && left >= firstCol) spans.insert(key(top, left), {bottom, right});
    const int r0 = std::max(top, firstRow), r1 = std::min(bottom, lastRow);
    const int c0 = std::max(left, firstCol), c1 = std::min(right, lastCol);
    for (int r = r0; r <= r1; ++r)
      for (int c = c0; c <= c1; ++c)
        if (r != top || c != left) coveredCells[size_t((r - firstRow) * width + (c - firstCol))] = 1;
  }
}

bool XlsxMergeWindow::covered(int row, int col) const {
  if (row < firstRow || row > lastRow || col < firstCol || col > lastCol || coveredCells.empty()) return false;
  return coveredCells[size_t(qint64(row - firstRow) * (lastCol - firstCol + 1) + (col - firstCol))] != 0;
}

bool XlsxMergeWindow::spanOf(int row, int col, int* lastRowOut, int* lastColOut) const {
  const auto it = spans.constFind(key(row, col));
  if (it == spans.cend()) return false;
  *lastRowOut = it->first;
  *lastColOut = it->second;
  return true;
}
