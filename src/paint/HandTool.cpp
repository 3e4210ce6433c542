#include "HandTool.h"

#include "CanvasWidget.h"

#include <QMouseEvent>

void HandTool::mousePress(CanvasWidget* canvas, Document*, QMouseEvent* event, const QPoint&) {
  dragging = true;
  lastWidgetPos = event->position().toPoint();
  canvas->setCursor(Qt::ClosedHandCursor);
}

void HandTool::mouseMove(CanvasWidget* canvas, Document*, QMouseEvent* event, const QPoint&) {
  if (!dragging) return;
  const QPoint position = event->position().toPoint();
  canvas->adjustOffset(QPointF(position - lastWidgetPos));
  lastWidgetPos = position;
}

void HandTool::mouseRelease(CanvasWidget* canvas, Document*, QMouseEvent*, const QPoint&) {
  dragging = false;
  canvas->setCursor(Qt::OpenHandCursor);
}
