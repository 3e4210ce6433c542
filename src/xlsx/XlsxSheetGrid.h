#pragma once
// The laid-out grid of a sheet (its row and column edges) and the merged
// ranges that touch one painted window of it.

#include "XlsxRecords.h"

#include <QHash>

#include <algorithm>
#include <functional>
#include <vector>

struct XlsxGridSpan {
  int firstRow = 1, lastRow = 0;  // sheet row numbers, from 1
  int firstCol = 0, lastCol = -1;
  bool isEmpty() const { return lastRow < firstRow; }
};

// Rows from the smallest to the largest row number, columns from the
// smallest first to the largest last column of any row (the latter from 0).
XlsxGridSpan iGridSpan(const XlsxISheetData& sheet);

// Running edges: one entry per item, then the far edge.
template <typename T>
std::vector<T> iEdges(int first, int last, const std::function<T(int)>& size) {
  std::vector<T> edges;
  edges.reserve(size_t(std::max(last - first + 2, 1)));
  T running = 0;
  for (int i = first; i <= last; ++i) {
    edges.push_back(running);
    running += size(i);
  }
  edges.push_back(running);
  return edges;
}

// Index of the item whose [edge i, edge i+1) holds y; -1 outside.
template <typename T>
int iEdgeIndexAt(const std::vector<T>& edges, T y) {
  if (edges.size() < 2 || y < edges.front() || y >= edges.back()) return -1;
  const auto it = std::upper_bound(edges.begin(), edges.end(), y);
  return int(it - edges.begin()) - 1;
}

// Merges within rows first..last and columns first..last of the grid: the
// span of each top-left cell and whether a position is covered by a merge.
// Its memory is bounded by the window, never by the merges' extent.
class XlsxMergeWindow {
 public:
  XlsxMergeWindow(const QList<XlsxIMerge>& merges, int firstRow, int lastRow, int firstCol, int lastCol);
  bool covered(int row, int col) const;
  // Last row and column of the merge whose top-left cell this is.
  bool spanOf(int row, int col, int* lastRow, int* lastCol) const;

 private:
  int firstRow, lastRow, firstCol, lastCol;
  std::vector<char> coveredCells;
  QHash<qint64, std::pair<int, int>> spans;
};
