#pragma once
#include "LayerDragTool.h"

// Drags the whole active layer; what leaves the picture is lost.
class MoveTool : public LayerDragTool {
 public:
  QString name() const override { return QStringLiteral("Перемещение"); }
  QCursor cursor() const override { return QCursor(Qt::SizeAllCursor); }
  void mouseMove(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
  void mouseRelease(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
};
