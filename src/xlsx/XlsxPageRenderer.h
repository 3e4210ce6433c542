#pragma once
// The workbook as 150-dpi page images, painted straight from the records and
// handed out one at a time, so that a sheet of thousands of pages never
// holds more than one page image.

#include "XlsxRecords.h"

#include <QImage>
#include <QSizeF>

#include <functional>

struct XlsxPageOptions {
  QSizeF paperPt{595, 842};  // portrait size; landscape swaps it
  bool landscape = false;
  bool fitToWidth = true;
  // Each sheet's page breaks (first rows of new pages), by sheet index; a
  // sheet without an entry is one page.
  QList<QList<int>> sheetBreaks;
};

// The page size in points, the paper turned as chosen.
QSizeF xlsxPageSizePt(const XlsxPageOptions& options);

// The pages one sheet makes when cut at `breaks`, counted without painting.
qint64 countXlsxSheetPages(const XlsxSheetInfo& sheet, const QList<int>& breaks);
// The pages renderXlsxPages would make, counted without painting any.
qint64 countXlsxPages(const QList<XlsxSheetInfo>& sheets, const XlsxPageOptions& options);
// Why a workbook of `pages` pages cannot be imported, in the interface
// language; empty when it can.
QString xlsxPageBoundRefusal(qint64 pages);

// A page that loses columns past its image's right edge, which happens only
// when the sheet is not fitted to the paper's width.
struct XlsxColumnCut {
  int firstRow = 0, lastRow = 0;  // the page's rows
  int column = 0;                 // the first column not wholly on the page
  double shownShare = 0;          // how much of that column is still on it, 0 to 1
  int columnsLost = 0;            // columns from that one on not wholly on it (hidden ones aside)
};
// The pages of one sheet, cut at `breaks`, that lose columns; none when
// every column of every page is on it.
QList<XlsxColumnCut> xlsxSheetColumnCuts(const XlsxSheetInfo& sheet, const XlsxPageOptions& options,
                                         const QList<int>& breaks);

// Paints every page of every sheet in workbook order and hands each to sink;
// stops early when sink returns false. Returns the number of pages handed on,
// or -1 without painting any when the workbook makes more pages than one
// import may add (refusal, when given, then says so).
int renderXlsxPages(const QList<XlsxSheetInfo>& sheets, const XlsxIStyles& styles, const XlsxPageOptions& options,
                    const std::function<bool(const QImage&)>& sink, QString* refusal = nullptr);
