#include "XlsxSheetGrid.h"

#include "XlsxLimits.h"

#include <limits>
#include <queue>

void XlsxColumnRanges::assign(int first, int last, double width, bool hidden) {
  if (last < first) return;
  auto it = ranges.lower_bound(first);
  // A range that starts before first and reaches into it keeps its head,
  // and its tail past last when it reaches that far.
  if (it != ranges.begin()) {
    const auto previous = std::prev(it);
    if (previous->second.last >= first) {
      const Range whole = previous->second;
      previous->second.last = first - 1;
      if (whole.last > last) ranges[last + 1] = whole;
    }
  }
  it = ranges.lower_bound(first);
  while (it != ranges.end() && it->first <= last) {
    if (it->second.last > last) {
      const Range tail = it->second;
      ranges.erase(it);
      ranges[last + 1] = tail;
      break;
    }
    it = ranges.erase(it);
  }
  ranges[first] = Range{last, width, hidden};
}

const XlsxColumnRanges::Range* XlsxColumnRanges::find(int column) const {
  auto it = ranges.upper_bound(column);
  if (it == ranges.begin()) return nullptr;
  --it;
  return it->second.last >= column ? &it->second : nullptr;
}

QList<int> XlsxColumnRanges::columns() const {
  QList<int> result;
  for (const auto& [first, range] : ranges)
    for (int c = first; c <= range.last; ++c) result.append(c);
  return result;
}

int iPreviewColumnPixels(const XlsxISheetData& sheet, int column) {
  const XlsxColumnRanges::Range* range = sheet.colWidths.find(column);
  return range ? std::max(20, int(7 * range->width + 5)) : 64;
}

int iPreviewRowPixels(const XlsxISheetData& sheet, int row) {
  const auto it = sheet.rowHeights.constFind(row);
  return it == sheet.rowHeights.cend() ? 20 : std::max(12, int(it.value() * 96 / 72));
}

XlsxGridSpan iGridSpan(const XlsxISheetData& sheet, const QList<XlsxIChart>& charts) {
  XlsxGridSpan span;
  if (sheet.cells.isEmpty() && charts.isEmpty()) return span;
  int firstRow = std::numeric_limits<int>::max(), lastRow = 0;
  int firstCol = std::numeric_limits<int>::max(), lastCol = 0;
  if (!sheet.cells.isEmpty()) {
    firstRow = sheet.cells.firstKey();
    lastRow = sheet.cells.lastKey();
  }
  for (const auto& row : sheet.cells) {
    if (row.isEmpty()) continue;
    firstCol = std::min(firstCol, row.firstKey());
    lastCol = std::max(lastCol, row.lastKey());
  }
  // Anchor rows count from 0, sheet rows from 1.
  for (const XlsxIChart& chart : charts) {
    firstRow = std::min(firstRow, chart.fromRow + 1);
    lastRow = std::max(lastRow, std::max(chart.fromRow, chart.toRow) + 1);
    firstCol = std::min(firstCol, chart.fromCol);
    lastCol = std::max(lastCol, std::max(chart.fromCol, chart.toCol));
  }
  span.firstRow = firstRow;
  span.lastRow = lastRow;
  span.firstCol = firstCol == std::numeric_limits<int>::max() ? 0 : firstCol;
  span.lastCol = lastCol;
  return span;
}

XlsxMergeRows::XlsxMergeRows(const QList<XlsxIMerge>& merges, int firstRow, int lastRow, int firstCol, int lastCol)
    : windowFirstRow(firstRow), windowFirstCol(firstCol) {
  for (const XlsxIMerge& m : merges) {
    if (m.lastRow < firstRow || m.firstRow > lastRow || m.lastCol < firstCol || m.firstCol > lastCol) continue;
    waiting.push_back(m);
  }
  std::stable_sort(waiting.begin(), waiting.end(),
                   [](const XlsxIMerge& a, const XlsxIMerge& b) { return a.firstRow < b.firstRow; });
}

void XlsxMergeRows::moveTo(int row) {
  active.erase(std::remove_if(active.begin(), active.end(), [row](const XlsxIMerge& m) { return m.lastRow < row; }),
               active.end());
  while (nextWaiting < waiting.size() && waiting[nextWaiting].firstRow <= row) {
    const XlsxIMerge& m = waiting[nextWaiting++];
    if (m.lastRow < row) continue;
    const auto at = std::lower_bound(active.begin(), active.end(), m.firstCol,
                                     [](const XlsxIMerge& a, int col) { return a.firstCol < col; });
    active.insert(at, m);
  }
}

const XlsxIMerge* XlsxMergeRows::at(int col) const {
  auto it = std::upper_bound(active.begin(), active.end(), col,
                             [](int c, const XlsxIMerge& m) { return c < m.firstCol; });
  if (it == active.begin()) return nullptr;
  --it;
  return it->lastCol >= col ? &*it : nullptr;
}

QList<XlsxIMerge> iCleanMerges(const QList<XlsxIMerge>& merges, int* dropped) {
  std::vector<XlsxIMerge> sorted;
  sorted.reserve(size_t(merges.size()));
  for (const XlsxIMerge& m : merges) {
    if (m.firstRow <= 0 || m.lastRow <= 0 || m.firstCol < 0 || m.lastCol < 0) continue;
    XlsxIMerge n{std::min(m.firstRow, m.lastRow), std::min(m.firstCol, m.lastCol), std::max(m.firstRow, m.lastRow),
                 std::max(m.firstCol, m.lastCol)};
    if (n.firstRow == n.lastRow && n.firstCol == n.lastCol) continue;
    sorted.push_back(n);
  }
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const XlsxIMerge& a, const XlsxIMerge& b) { return a.firstRow < b.firstRow; });
  // Sweep down the rows: the ranges crossing the current row never share a
  // column, so one neighbour tells whether a new range overlaps any of them.
  std::map<int, XlsxIMerge> crossing;  // first column -> range
  using Ending = std::pair<int, int>;   // last row, first column
  std::priority_queue<Ending, std::vector<Ending>, std::greater<Ending>> endings;
  QList<XlsxIMerge> kept;
  int overlapping = 0;
  for (const XlsxIMerge& m : sorted) {
    while (!endings.empty() && endings.top().first < m.firstRow) {
      crossing.erase(endings.top().second);
      endings.pop();
    }
    auto it = crossing.upper_bound(m.lastCol);
    if (it != crossing.begin() && std::prev(it)->second.lastCol >= m.firstCol) {
      ++overlapping;
      continue;
    }
    crossing[m.firstCol] = m;
    endings.push({m.lastRow, m.firstCol});
    kept.append(m);
  }
  if (dropped) *dropped = overlapping;
  return kept;
}
