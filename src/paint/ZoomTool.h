#pragma once
#include "Tool.h"

// Zooms in about the click, out with the right button.
class ZoomTool : public Tool {
 public:
  QString name() const override { return QStringLiteral("Масштаб"); }
  QCursor cursor() const override { return QCursor(Qt::SizeAllCursor); }
  void mousePress(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
};
