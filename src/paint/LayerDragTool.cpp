#include "LayerDragTool.h"

#include "Document.h"

void LayerDragTool::mousePress(CanvasWidget*, Document* document, QMouseEvent*, const QPoint& point) {
  beginLayerDrag(document, point);
}

bool LayerDragTool::beginLayerDrag(Document* document, const QPoint& point) {
  Layer* layer = document->activeLayer();
  if (!layer) return false;
  before = layer->image.copy();
  start = point;
  dragging = true;
  return true;
}
