#include "SelectTool.h"

#include "CanvasWidget.h"

void SelectTool::mousePress(CanvasWidget* canvas, Document*, QMouseEvent*, const QPoint& point) {
  dragging = true;
  start = point;
  canvas->setSelection(QRect(point, point));
}

void SelectTool::mouseMove(CanvasWidget* canvas, Document*, QMouseEvent*, const QPoint& point) {
  if (dragging) canvas->setSelection(QRect(start, point).normalized());
}

void SelectTool::mouseRelease(CanvasWidget*, Document*, QMouseEvent*, const QPoint&) { dragging = false; }
