#pragma once
// Plain records of one imported workbook. Cell rows keep the 1-based row
// number written in the sheet; columns count from 0; drawing anchors count
// from 0 in both directions.

#include <QColor>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>

#include <map>
#include <memory>

struct XlsxICell {
  QString text;
  int style = 0;
  double value = 0.0;
  bool numeric = false;
};

struct XlsxIMerge {
  int firstRow = 0;
  int firstCol = -1;
  int lastRow = 0;
  int lastCol = -1;
};

// Column widths kept as the ranges the sheet writes them in: a "col" element
// over the whole sheet width costs one entry, not sixteen thousand.
class XlsxColumnRanges {
 public:
  struct Range {
    int last = 0;
    double width = 8.43;  // characters
    bool hidden = false;
  };
  // Columns first..last (from 0) take width and hidden; later ranges win.
  void assign(int first, int last, double width, bool hidden);
  // The range holding column; null when no "col" element covers it.
  const Range* find(int column) const;
  // Every column some range covers, for small sheets and checks.
  QList<int> columns() const;
  size_t rangeCount() const { return ranges.size(); }

 private:
  std::map<int, Range> ranges;  // first column -> range; ranges never overlap
};

struct XlsxISheetData {
  QMap<int, QMap<int, XlsxICell>> cells;
  QList<XlsxIMerge> merges;  // normalised (first <= last) and never overlapping
  XlsxColumnRanges colWidths;
  QMap<int, double> rowHeights;  // points
  // Rows (from 1) the workbook hides: laid out with no size. Hidden columns
  // are marked in colWidths.
  QSet<int> hiddenRows;
  // Rows whose height the workbook fixed ("customHeight"): they do not grow
  // to their largest font.
  QSet<int> customHeightRows;
};

struct XlsxIFont {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  double size = 11.0;
  QColor color = Qt::black;
  bool hasColor = false;
  QString family;  // as the workbook names it
};

struct XlsxIFill {
  QColor color;
  bool hasColor = false;
};

struct XlsxIBorderSide {
  bool present = false;
  QString style;
  QColor color = Qt::black;
};

struct XlsxIBorder {
  XlsxIBorderSide left;
  XlsxIBorderSide right;
  XlsxIBorderSide top;
  XlsxIBorderSide bottom;
};

struct XlsxIXf {
  int fontId = 0;
  int fillId = 0;
  int borderId = 0;
  int numFmtId = 0;
  bool applyFont = false;
  bool applyFill = false;
  bool applyBorder = false;
  bool applyAlignment = false;
  QString horizontal;
  QString vertical;
  bool wrapText = false;
  int indent = 0;
};

// Indices are kept as read; every user checks them before use.
struct XlsxIStyles {
  QMap<int, QString> numFmts;
  QList<XlsxIFont> fonts;
  QList<XlsxIFill> fills;
  QList<XlsxIBorder> borders;
  QList<XlsxIXf> cellXfs;
  // The font cells of format xfIndex are drawn in; null for the default font.
  const XlsxIFont* cellFont(int xfIndex) const {
    if (xfIndex < 0 || xfIndex >= cellXfs.size()) return nullptr;
    const XlsxIXf& xf = cellXfs[xfIndex];
    const bool valid = xf.fontId >= 0 && xf.fontId < fonts.size();
    return valid && (xf.applyFont || xf.fontId > 0) ? &fonts[xf.fontId] : nullptr;
  }
};

struct XlsxIChartSeries {
  QString name;
  QList<QString> categories;
  QList<double> values;
};

struct XlsxIChart {
  enum Type { Column = 0, Bar = 1, Line = 2, Pie = 3, Area = 4, None = 5 };
  int type = None;
  QString title;
  QList<XlsxIChartSeries> series;
  int fromRow = 0;
  int fromCol = 0;
  int toRow = 0;
  int toCol = 0;
};

// One readable worksheet; the sheet data is shared so that copies of the
// record never outlive or double-free it.
struct XlsxSheetInfo {
  QString name;
  std::shared_ptr<XlsxISheetData> data;
  QList<XlsxIChart> charts;
};
