#include "GradientTool.h"

#include "CanvasWidget.h"
#include "Document.h"

#include <QLinearGradient>
#include <QPainter>

void GradientTool::paintGradient(Document* document, const QPoint& end) const {
  Layer* layer = document->activeLayer();
  layer->image = before.copy();
  QLinearGradient gradient{QPointF(start), QPointF(end)};
  gradient.setColorAt(0, primary);
  gradient.setColorAt(1, secondary);
  QPainter painter(&layer->image);
  painter.fillRect(layer->image.rect(), QBrush(gradient));
}

void GradientTool::mouseMove(CanvasWidget* canvas, Document* document, QMouseEvent*, const QPoint& point) {
  if (!dragging || !document->activeLayer()) return;
  paintGradient(document, point);
  canvas->update();
}

void GradientTool::mouseRelease(CanvasWidget* canvas, Document* document, QMouseEvent*, const QPoint& point) {
  // Only a drag of this tool may restore its saved picture.
  if (!dragging) return;
  dragging = false;
  if (!document->activeLayer()) return;
  paintGradient(document, point);
  canvas->commitLayerSnapshot(before, QStringLiteral("Градиент"));
  canvas->update();
}
