#pragma once
#include "Tool.h"

// Pans the view.
class HandTool : public Tool {
 public:
  QString name() const override { return QStringLiteral("Рука"); }
  QCursor cursor() const override { return QCursor(Qt::OpenHandCursor); }
  void mousePress(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
  void mouseMove(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
  void mouseRelease(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;

  bool dragging = false;
  QPoint lastWidgetPos;
};
