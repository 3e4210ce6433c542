#include "XlsxPreviewWidget.h"

#include "XlsxCellPainter.h"
#include "XlsxMessages.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

XlsxGridLayout previewGrid(const XlsxISheetData* sheet, const QList<XlsxIChart>& charts) {
  return sheet ? iSheetLayout(*sheet, charts) : XlsxGridLayout();
}

// Rows that open a new page when the rows are filled onto the paper, the
// sheet shrunk to the paper's width when it is wider.
QList<int> breaksOf(const std::vector<double>& rowEdges, int firstRow, int contentWidth, QSizeF paperPt, bool landscape) {
  QList<int> breaks;
  if (rowEdges.empty()) return breaks;
  const QSizeF paper = landscape ? paperPt.transposed() : paperPt;
  double usableHeight = paper.height() * 96 / 72 - 53.333;
  const double usableWidth = paper.width() * 96 / 72 - 53.333;
  if (contentWidth > usableWidth) usableHeight = usableHeight / (usableWidth / contentWidth);
  double accumulated = 0;
  for (size_t i = 0; i + 1 < rowEdges.size(); ++i) {
    const double h = rowEdges[i + 1] - rowEdges[i];
    if (accumulated > 0 && accumulated + h > usableHeight) {
      breaks.append(firstRow + int(i));
      accumulated = h;
    } else {
      accumulated += h;
    }
  }
  return breaks;
}

}  // namespace

QList<int> XlsxPreviewWidget::automaticBreaks(const XlsxISheetData* sheet, const QList<XlsxIChart>& charts,
                                              QSizeF paperPt, bool landscape) {
  const XlsxGridLayout grid = previewGrid(sheet, charts);
  if (grid.rowEdges.empty()) return {};
  return breaksOf(grid.rowEdges, grid.span.firstRow, int(grid.colEdges.back()), paperPt, landscape);
}

void XlsxPreviewWidget::setBreaks(const QList<int>& rows) {
  pageBreaks.clear();
  for (const int row : rows)
    if (row > firstRow() && row <= grid.span.lastRow) pageBreaks.append(row);
  std::sort(pageBreaks.begin(), pageBreaks.end());
  pageBreaks.erase(std::unique(pageBreaks.begin(), pageBreaks.end()), pageBreaks.end());
  update();
  emit pageBreaksChanged();
}

XlsxPreviewWidget::XlsxPreviewWidget(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setMinimumWidth(300);
}

void XlsxPreviewWidget::setSheet(const XlsxISheetData* sheetData, const XlsxIStyles* sheetStyles,
                                 const QList<XlsxIChart>& sheetCharts) {
  sheet = sheetData;
  styles = sheetStyles;
  charts = sheetCharts;
  pageBreaks.clear();
  recalcLayout();
  autoBreaks();
  update();
}

void XlsxPreviewWidget::setPaperSize(QSizeF paper, bool isLandscape) {
  paperPt = paper;
  landscape = isLandscape;
  autoBreaks();
  update();
}

void XlsxPreviewWidget::recalcLayout() {
  contentWidth = contentHeight = 0;
  grid = previewGrid(sheet, charts);
  if (grid.span.isEmpty()) {
    setFixedSize(300, 200);
    return;
  }
  contentWidth = int(grid.colEdges.back());
  contentHeight = int(grid.rowEdges.back());
  const int available = parentWidget() ? std::max(parentWidget()->width() - 40, 200) : 600;
  zoom = contentWidth > available ? double(available) / contentWidth : 1.0;
  // A widget cannot be taller than Qt allows; rows past that stay out of reach.
  const qint64 height = std::max<qint64>(qint64(contentHeight * zoom) + 2, 100);
  setFixedSize(std::max(int(contentWidth * zoom) + 2, 200), int(std::min<qint64>(height, QWIDGETSIZE_MAX)));
}

void XlsxPreviewWidget::autoBreaks() {
  pageBreaks.clear();
  if (grid.rowEdges.empty()) return;
  pageBreaks = breaksOf(grid.rowEdges, firstRow(), contentWidth, paperPt, landscape);
  emit pageBreaksChanged();
}

int XlsxPreviewWidget::rowAtY(int y) const {
  if (grid.rowEdges.size() < 2) return -1;
  const int index = iEdgeIndexAt(grid.rowEdges, double(int(y / zoom)));
  return index < 0 ? -1 : firstRow() + index;
}

int XlsxPreviewWidget::breakYForRow(int row) const {
  if (row < firstRow() || grid.rowEdges.empty() || qint64(row) - firstRow() >= qint64(grid.rowEdges.size())) return -1;
  return int(grid.rowEdge(row) * zoom);
}

int XlsxPreviewWidget::breakNear(int y) const {
  for (qsizetype i = 0; i < pageBreaks.size(); ++i) {
    const int by = breakYForRow(pageBreaks[i]);
    if (by >= 0 && std::abs(y - by) <= 6) return int(i);
  }
  return -1;
}

void XlsxPreviewWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragIndex = breakNear(int(std::lround(event->position().y())));
  if (dragIndex >= 0) setCursor(Qt::SizeVerCursor);
}

void XlsxPreviewWidget::mouseMoveEvent(QMouseEvent* event) {
  const int y = int(std::lround(event->position().y()));
  if (dragIndex >= 0) {
    const int row = rowAtY(y);
    if (row <= firstRow() || dragIndex >= pageBreaks.size() || row == pageBreaks[dragIndex]) return;
    pageBreaks[dragIndex] = row;
    std::sort(pageBreaks.begin(), pageBreaks.end());
    pageBreaks.erase(std::unique(pageBreaks.begin(), pageBreaks.end()), pageBreaks.end());
    update();
    emit pageBreaksChanged();
    return;
  }
  const int before = hoveredBreak;
  const int index = breakNear(y);
  hoveredBreak = index >= 0 ? pageBreaks[index] : -1;
  setCursor(hoveredBreak >= 0 ? Qt::SizeVerCursor : Qt::ArrowCursor);
  if (hoveredBreak != before) update();
}

void XlsxPreviewWidget::mouseReleaseEvent(QMouseEvent*) {
  dragIndex = -1;
  setCursor(Qt::ArrowCursor);
}

void XlsxPreviewWidget::leaveEvent(QEvent*) {
  if (hoveredBreak < 0) return;
  hoveredBreak = -1;
  update();
}

void XlsxPreviewWidget::drawChart(QPainter& painter, const QRectF& rect, const XlsxIChart& chart) const {
  iDrawChart(painter, rect, chart);
}

// Only the rows and columns that meet the exposed area are painted: a sheet
// of a hundred thousand rows repaints as fast as a short one.
void XlsxPreviewWidget::paintCells(QPainter& painter, const QRect& exposed) const {
  const auto indexAt = [](const std::vector<double>& edges, double y) {
    const auto it = std::upper_bound(edges.begin(), edges.end(), double(int(y)));
    return std::clamp(int(it - edges.begin()) - 1, 0, int(edges.size()) - 2);
  };
  const int row0 = firstRow() + indexAt(grid.rowEdges, exposed.top() / zoom);
  const int row1 = firstRow() + indexAt(grid.rowEdges, (exposed.bottom() + 1) / zoom);
  const int col0 = firstCol() + indexAt(grid.colEdges, exposed.left() / zoom);
  const int col1 = firstCol() + indexAt(grid.colEdges, (exposed.right() + 1) / zoom);
  // Cells are white as on the page; the grey around them is the desk.
  painter.fillRect(QRectF(0, 0, contentWidth, contentHeight), Qt::white);
  if (styles) iPaintCellWindow(painter, *sheet, *styles, grid, row0, row1, col0, col1, 0.0,
                               XlsxPaintTarget::Preview);
}

void XlsxPreviewWidget::paintCharts(QPainter& painter) const {
  for (const XlsxIChart& chart : charts) {
    const XlsxGridSpan cells = grid.chartCells(chart);
    if (!cells.isEmpty())
      drawChart(painter, grid.blockRect(cells.firstRow, cells.firstCol, cells.lastRow, cells.lastCol), chart);
  }
}

void XlsxPreviewWidget::setColumnCuts(const QList<XlsxColumnCut>& cuts) {
  columnCuts = cuts;
  update();
}

void XlsxPreviewWidget::paintColumnCuts(QPainter& painter) const {
  const qint64 rows = qint64(grid.rowEdges.size()) - 1, columns = qint64(grid.colEdges.size()) - 1;
  for (const XlsxColumnCut& cut : columnCuts) {
    const qint64 top = qint64(cut.firstRow) - firstRow(), bottom = qint64(cut.lastRow) + 1 - firstRow();
    const qint64 column = qint64(cut.column) - firstCol();
    if (top < 0 || bottom > rows || top >= bottom || column < 0 || column >= columns) continue;
    const double left = grid.colEdges[size_t(column)], right = grid.colEdges[size_t(column) + 1];
    const double x = (left + cut.shownShare * (right - left)) * zoom;
    const QRectF lost(QPointF(x, grid.rowEdges[size_t(top)] * zoom), QPointF(width(), grid.rowEdges[size_t(bottom)] * zoom));
    painter.fillRect(lost, QColor(90, 90, 90, 90));
    painter.setPen(QPen(QColor(200, 40, 40), 2));
    painter.drawLine(QPointF(x, lost.top()), QPointF(x, lost.bottom()));
  }
}

void XlsxPreviewWidget::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(200, 200, 200));
  if (!sheet || grid.rowEdges.empty()) {
    painter.setPen(Qt::darkGray);
    painter.drawText(rect(), Qt::AlignCenter, xlsxTranslate(QStringLiteral("Нет данных")));
    return;
  }
  painter.save();
  painter.scale(zoom, zoom);
  painter.setRenderHint(QPainter::Antialiasing, false);
  paintCells(painter, event->rect());
  paintCharts(painter);
  painter.restore();
  paintColumnCuts(painter);

  QList<int> tops = {0};
  for (const int row : pageBreaks) {
    const qint64 index = qint64(row) - firstRow();
    if (index < 0 || index >= qint64(grid.rowEdges.size())) continue;
    const int y = int(grid.rowEdges[size_t(index)] * zoom);
    if (y > 0) tops.append(y);
  }
  tops.append(height());
  for (qsizetype i = 1; i + 1 < tops.size(); i += 2)
    painter.fillRect(QRect(0, tops[i], width(), tops[i + 1] - tops[i]), QColor(0, 0, 0, 15));
  for (const int row : pageBreaks) {
    const qint64 index = qint64(row) - firstRow();
    if (index < 0 || index >= qint64(grid.rowEdges.size())) continue;
    const int y = int(grid.rowEdges[size_t(index)] * zoom);
    if (y < 0) continue;
    const bool hovered = row == hoveredBreak;
    const QColor color = hovered ? QColor(0, 100, 220) : QColor(60, 140, 255);
    painter.setPen(QPen(color, hovered ? 2 : 1, Qt::DashLine, Qt::SquareCap, Qt::BevelJoin));
    painter.drawLine(0, y, width(), y);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRect(7, y - 5, 10, 10));
  }
  QFont font;
  font.setPixelSize(11);
  painter.setFont(font);
  painter.setPen(QColor(100, 100, 100));
  for (qsizetype i = 1; i < tops.size(); ++i)
    painter.drawText(QPoint(width() - 40, (tops[i - 1] + tops[i]) / 2), QCoreApplication::translate("ulvo", "с.%1").arg(i));
}
