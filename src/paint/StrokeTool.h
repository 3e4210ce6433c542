#pragma once
// What the brush, eraser and pencil share: a stroke from press to release,
// segment by segment, recorded as one step.

#include "LayerDragTool.h"

class StrokeTool : public LayerDragTool {
 public:
  void mousePress(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
  void mouseMove(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
  void mouseRelease(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;

 protected:
  // `start` follows the stroke: it holds its last point.
  virtual void beginStroke(QMouseEvent*) {}
  virtual void paintSegment(Document* document, const QPoint& from, const QPoint& to) = 0;
};
