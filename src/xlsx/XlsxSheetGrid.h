#pragma once
// The laid-out grid of a sheet (its row and column edges) and the merged
// ranges met while painting one window of it row by row.

#include "XlsxRecords.h"

#include <algorithm>
#include <functional>
#include <vector>

struct XlsxGridSpan {
  int firstRow = 1, lastRow = 0;  // sheet row numbers, from 1
  int firstCol = 0, lastCol = -1;
  bool isEmpty() const { return lastRow < firstRow; }
};

// Rows from the smallest to the largest row number, columns from the
// smallest first to the largest last column of any row (the latter from 0),
// widened to hold every chart's anchor cells: a chart sits beside the cells
// where the spreadsheet shows it, never over them. Empty without cells.
XlsxGridSpan iGridSpan(const XlsxISheetData& sheet, const QList<XlsxIChart>& charts = {});

// A column's width and a row's height in the preview's whole pixels at
// 96 dpi, hidden or not; a chart's one-cell anchor is measured in them too.
int iPreviewColumnPixels(const XlsxISheetData& sheet, int column);
int iPreviewRowPixels(const XlsxISheetData& sheet, int row);

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

// Merges met by rows first..last and columns first..last, visited row by row
// in ascending order. Each row holds only the merges that cross it, so time
// and memory follow the window painted, never the merges' extent.
class XlsxMergeRows {
 public:
  XlsxMergeRows(const QList<XlsxIMerge>& merges, int firstRow, int lastRow, int firstCol, int lastCol);
  // Makes row current; rows must come in ascending order.
  void moveTo(int row);
  // The merge holding column col of the current row; null when none.
  const XlsxIMerge* at(int col) const;
  // Every merge that meets the window, by first row.
  const std::vector<XlsxIMerge>& inWindow() const { return waiting; }
  // Whether (row, col) is where the window first meets merge m: its top-left
  // cell, or the window's corner of a merge that starts above or left of it.
  bool isAnchor(const XlsxIMerge& m, int row, int col) const {
    return row == std::max(m.firstRow, windowFirstRow) && col == std::max(m.firstCol, windowFirstCol);
  }

 private:
  std::vector<XlsxIMerge> waiting;  // by first row
  size_t nextWaiting = 0;
  std::vector<XlsxIMerge> active;   // crossing the current row, by first column
  int windowFirstRow, windowFirstCol;
};

// Normalises merges (first corner above and left of the last), drops
// single cells, ranges outside the sheet and any range that overlaps one
// kept before it. Returns the kept ranges, ordered by first row; *dropped
// counts the overlapping ones.
QList<XlsxIMerge> iCleanMerges(const QList<XlsxIMerge>& merges, int* dropped);
