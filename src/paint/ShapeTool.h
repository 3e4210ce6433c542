#pragma once
// What the line, rectangle and ellipse share: a preview on the layer while
// dragging, then a pending shape that the canvas paints in later.

#include "LayerDragTool.h"
#include "PendingShape.h"

class QPainter;

class ShapeTool : public LayerDragTool {
 public:
  void mouseMove(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
  void mouseRelease(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;

 protected:
  // The end point with Control held.
  virtual QPoint constrained(const QPoint& point) const = 0;
  virtual void paintPreview(QPainter& painter, const QPoint& end) const = 0;
  // The shape to hand the canvas; kind None when there is nothing to keep.
  virtual PendingShape shapeFor(const QPoint& end) const = 0;

 private:
  QPoint endPoint(const QPoint& point) const;
};

// The rectangle and the ellipse differ only in the shape kind.
class BoxShapeTool : public ShapeTool {
 protected:
  QPoint constrained(const QPoint& point) const override;
  void paintPreview(QPainter& painter, const QPoint& end) const override;
  PendingShape shapeFor(const QPoint& end) const override;
  virtual int kind() const = 0;
};
