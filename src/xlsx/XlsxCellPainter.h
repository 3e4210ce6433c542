#pragma once
// Painting of cells and charts, shared by the sheet preview and the page
// images. Both paint the one layout of the sheet (96-dpi pixels) under their
// own scale, so a cell shows the same text at the same size relative to it on
// both; they differ only in how lines are drawn, chosen by the target.

#include "XlsxRecords.h"

#include <QColor>
#include <QFont>
#include <QRectF>

class QFontMetrics;
class QPainter;

enum class XlsxPaintTarget { Preview, Page };

// Display text of a number under a format code.
QString iFormatNum(double value, int numFmtId, const QString& code);

// The text a cell shows: numbers go through their format code.
QString iCellText(const XlsxICell& cell, const XlsxIStyles& styles);

// How a cell's text is drawn: its display text, font, colour and alignment,
// and which way one line of it may run on into empty neighbours.
struct XlsxCellLook {
  QString text;
  QFont font;
  QColor color;
  int flags = 0;
  bool mayOverflow = false;
  int side = -1;  // -1 left-aligned (runs right), 0 centred (both ways), 1 right-aligned (runs left)
};
// Sizes are in the layout's pixels: the painter's scale sets them on screen or page.
XlsxCellLook iCellLook(const XlsxICell& cell, const XlsxIStyles& styles);

// A number shown in part would show another value: when its text is wider
// than `width`, the cell shows as many "#" as fit instead, as the
// spreadsheet program does.
QString iNumberTextThatFits(const QString& text, const QFontMetrics& metrics, double width);

// The layers of a cell, painted in this order over a whole window so that
// neither a neighbour's fill nor its grid covers text that runs on into it.
void iDrawCellFill(QPainter& painter, const QRectF& rect, const XlsxICell& cell, const XlsxIStyles& styles,
                   XlsxPaintTarget target);
bool iCellHasFill(const XlsxICell& cell, const XlsxIStyles& styles);
// Text laid out in textRect, shown only inside clip.
void iDrawCellText(QPainter& painter, const QRectF& textRect, const QRectF& clip, const XlsxCellLook& look,
                   XlsxPaintTarget target);
// grid: the light outline of a cell without border record; otherwise the border record's sides.
void iDrawCellLines(QPainter& painter, const QRectF& rect, const XlsxICell& cell, const XlsxIStyles& styles,
                    XlsxPaintTarget target, bool grid);

// One chart into rect, its text sized in the layout's pixels.
void iDrawChart(QPainter& painter, const QRectF& rect, const XlsxIChart& chart);
void iDrawBarChart(QPainter& painter, QRectF rect, const QList<XlsxIChartSeries>& series, bool horizontal);
