#pragma once
// Workbooks written by openpyxl, pages read back by tesseract, and pixel
// probes of rendered page images.

#include "xlsx/XlsxPageRenderer.h"
#include "xlsx/XlsxRecords.h"
#include "xlsx/XlsxWorkbook.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

namespace xlsxtest {

// Runs a Python script with openpyxl imported and `path` set to the output
// file; returns an empty text on success, else the script's error output.
QString writeWithOpenpyxl(const QString& path, const QString& script);

// Every page of a workbook as 150-dpi images.
QList<QImage> renderAll(const XlsxWorkbook& book, const XlsxPageOptions& options = XlsxPageOptions());

// Words tesseract reads on the image, lower-cased and stripped of surrounding punctuation.
QStringList ocrWords(const QImage& image);
// Share of the expected words found among the read ones (each read word counts once).
double wordRecall(const QStringList& expected, const QStringList& read);

// Pixels of the rectangle whose colour lies within tolerance of colour.
int countColor(const QImage& image, const QRect& rect, const QColor& color, int tolerance = 40);
// Pixels of the rectangle darker than the threshold in every channel.
int countInk(const QImage& image, const QRect& rect, int threshold = 128);
// Bounding box of the ink in the rectangle; empty when there is none.
QRect inkBox(const QImage& image, const QRect& rect, int threshold = 128);

// Page geometry at 150 dpi: cell rectangles of a sheet, given its column
// widths in characters and row heights in points (from the first row and
// column), laid out in whole pixels at 96 dpi as the preview shows them.
struct PageGrid {
  QList<double> colWidthsChars;
  QList<double> rowHeightsPt;
  QRect cell(int row, int col) const;  // 0-based within the lists
  QRect span(int row, int col, int lastRow, int lastCol) const;
};

// Peak resident memory of this process so far, in megabytes.
double peakMemoryMb();

}  // namespace xlsxtest
