#pragma once
#include "Tool.h"

// Rectangle selection by dragging, both corners inclusive.
class SelectTool : public Tool {
 public:
  QString name() const override { return QStringLiteral("Выделение"); }
  void mousePress(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
  void mouseMove(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
  void mouseRelease(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;

  bool dragging = false;
  QPoint start;
};
