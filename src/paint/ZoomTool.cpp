#include "ZoomTool.h"

#include "CanvasWidget.h"

#include <QMouseEvent>

void ZoomTool::mousePress(CanvasWidget* canvas, Document*, QMouseEvent* event, const QPoint&) {
  const double factor = event->button() == Qt::RightButton ? 0.6666666666666666 : 1.5;
  canvas->applyZoomAt(factor, event->position().toPoint());
}
