#include "StrokeTool.h"

#include "CanvasWidget.h"
#include "Document.h"

void StrokeTool::mousePress(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) {
  if (!beginLayerDrag(document, point)) return;
  beginStroke(event);
  paintSegment(document, point, point);
  canvas->update();
}

void StrokeTool::mouseMove(CanvasWidget* canvas, Document* document, QMouseEvent*, const QPoint& point) {
  if (!dragging) return;
  paintSegment(document, start, point);
  start = point;
  canvas->update();
}

void StrokeTool::mouseRelease(CanvasWidget* canvas, Document*, QMouseEvent*, const QPoint&) {
  if (!dragging) return;
  dragging = false;
  canvas->commitLayerSnapshot(before, name());
  canvas->update();
}
