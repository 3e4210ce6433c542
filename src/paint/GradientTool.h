#pragma once
#include "LayerDragTool.h"

// A linear gradient from the primary to the secondary colour over the layer.
class GradientTool : public LayerDragTool {
 public:
  QString name() const override { return QStringLiteral("Градиент"); }
  void mouseMove(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
  void mouseRelease(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;

 private:
  void paintGradient(Document* document, const QPoint& end) const;
};
