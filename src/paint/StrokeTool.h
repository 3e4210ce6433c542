#pragma once
// What the brush, eraser and pencil share: a stroke from press to release,
// segment by segment, recorded as one step.

#include "Tool.h"

#include <QImage>

class StrokeTool : public Tool {
 public:
  void mousePress(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
  void mouseMove(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
  void mouseRelease(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;

  bool dragging = false;
  QPoint start;  // the last point of the stroke
  QImage before;

 protected:
  virtual void beginStroke(QMouseEvent*) {}
  virtual void paintSegment(Document* document, const QPoint& from, const QPoint& to) = 0;
};
