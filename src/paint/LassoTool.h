#pragma once
#include "Tool.h"

#include <QList>

// Free-hand polygon selection with the left button.
class LassoTool : public Tool {
 public:
  QString name() const override { return QStringLiteral("Лассо"); }
  void mousePress(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
  void mouseMove(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
  void mouseRelease(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;

  bool dragging = false;
  QList<QPoint> points;
};
