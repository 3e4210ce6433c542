#include "MoveTool.h"

#include "CanvasWidget.h"
#include "Document.h"

#include <QPainter>

void MoveTool::mouseMove(CanvasWidget* canvas, Document* document, QMouseEvent*, const QPoint& point) {
  Layer* layer = document->activeLayer();
  if (!dragging || !layer) return;
  QImage moved(before.size(), before.format());
  moved.fill(Qt::transparent);
  QPainter painter(&moved);
  painter.drawImage(point - start, before);
  painter.end();
  layer->image = moved;
  canvas->update();
}

void MoveTool::mouseRelease(CanvasWidget* canvas, Document*, QMouseEvent*, const QPoint& point) {
  if (!dragging) return;
  dragging = false;
  if (point != start) canvas->commitLayerSnapshot(before, QStringLiteral("Перемещение"));
  canvas->update();
}
