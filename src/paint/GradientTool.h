#pragma once
#include "Tool.h"

#include <QImage>

// A linear gradient from the primary to the secondary colour over the layer.
class GradientTool : public Tool {
 public:
  QString name() const override { return QStringLiteral("Градиент"); }
  void mousePress(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
  void mouseMove(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
  void mouseRelease(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;

  bool dragging = false;
  QPoint start;
  QImage before;

 private:
  void paintGradient(Document* document, const QPoint& end) const;
};
