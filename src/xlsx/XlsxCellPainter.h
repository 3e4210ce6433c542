#pragma once
// Painting of cells and charts, shared by the sheet preview and the page
// images. The two differ in a few cell rules (fonts, borders, number codes),
// chosen by the target.

#include "XlsxRecords.h"

#include <QRectF>

class QPainter;

enum class XlsxPaintTarget { Preview, Page };

// Display text of a number under a format code.
QString iFormatNum(double value, int numFmtId, const QString& code);

// The text a cell shows: numbers go through their format code.
QString iCellText(const XlsxICell& cell, const XlsxIStyles& styles, XlsxPaintTarget target);

// One cell or merged block into rect. zoom is the preview's zoom (text size).
void iDrawCell(QPainter& painter, const QRectF& rect, const XlsxICell& cell, const XlsxIStyles& styles,
               XlsxPaintTarget target, double zoom);

// One chart into rect; zoom sets its text sizes.
void iDrawChart(QPainter& painter, const QRectF& rect, const XlsxIChart& chart, double zoom);
void iDrawBarChart(QPainter& painter, QRectF rect, const QList<XlsxIChartSeries>& series, bool horizontal);
