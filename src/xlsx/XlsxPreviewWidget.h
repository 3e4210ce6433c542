#pragma once
// One worksheet laid out at 96 dpi and paged on paper, with page breaks the
// user drags to other rows.

#include "XlsxGridPainter.h"
#include "XlsxPageRenderer.h"
#include "XlsxRecords.h"

#include <QWidget>

#include <vector>

class XlsxPreviewWidget : public QWidget {
  Q_OBJECT

 public:
  explicit XlsxPreviewWidget(QWidget* parent = nullptr);

  void setSheet(const XlsxISheetData* sheet, const XlsxIStyles* styles, const QList<XlsxIChart>& charts);
  void setPaperSize(QSizeF paperPt, bool landscape);
  void recalcLayout();
  void autoBreaks();
  // Pages the sheet makes: none without cells, else one more than the breaks.
  int pageCount() const { return grid.rowEdges.empty() ? 0 : int(pageBreaks.size()) + 1; }
  int rowAtY(int y) const;
  int breakYForRow(int row) const;
  const QList<int>& breaks() const { return pageBreaks; }
  // Puts back breaks kept from an earlier drag; rows outside the sheet are left out.
  void setBreaks(const QList<int>& rows);
  // The breaks autoBreaks would place for a sheet on this paper, without a widget.
  static QList<int> automaticBreaks(const XlsxISheetData* sheet, const QList<XlsxIChart>& charts, QSizeF paperPt,
                                    bool landscape);
  double zoomFactor() const { return zoom; }
  // Shades what the pages will cut off past their right edge.
  void setColumnCuts(const QList<XlsxColumnCut>& cuts);

  void drawChart(QPainter& painter, const QRectF& rect, const XlsxIChart& chart) const;

 signals:
  void pageBreaksChanged();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  int breakNear(int y) const;
  void paintCells(QPainter& painter, const QRect& exposed) const;
  void paintCharts(QPainter& painter) const;
  void paintColumnCuts(QPainter& painter) const;

  const XlsxISheetData* sheet = nullptr;
  const XlsxIStyles* styles = nullptr;
  QList<XlsxIChart> charts;
  XlsxGridLayout grid;  // at 96 dpi in whole pixels
  int firstRow() const { return grid.span.firstRow; }
  int firstCol() const { return grid.span.firstCol; }
  int contentWidth = 0;
  int contentHeight = 0;
  QSizeF paperPt{595, 842};
  bool landscape = false;
  double zoom = 1.0;
  QList<int> pageBreaks;
  QList<XlsxColumnCut> columnCuts;
  int dragIndex = -1;
  int hoveredBreak = -1;
};
