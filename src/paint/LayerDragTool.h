#pragma once
// A tool that edits the active layer over a drag: it keeps the layer as it
// was at the press, so the drag can preview from it and record one step.

#include "Tool.h"

#include <QImage>

class LayerDragTool : public Tool {
 public:
  // Starts the drag; the tools preview and record on move and release.
  void mousePress(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;

  bool dragging = false;
  QPoint start;
  QImage before;

 protected:
  // Starts a drag at `point`; false without an active layer.
  bool beginLayerDrag(Document* document, const QPoint& point);
};
