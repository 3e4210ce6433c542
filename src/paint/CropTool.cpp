#include "CropTool.h"

#include "CanvasWidget.h"

void CropTool::mouseRelease(CanvasWidget* canvas, Document*, QMouseEvent*, const QPoint&) {
  if (!dragging) return;
  dragging = false;
  if (!canvas->selection.isEmpty()) canvas->cropToSelection();
}
