#include "ShapeTool.h"

#include "CanvasWidget.h"
#include "Document.h"
#include "ToolDrawing.h"

#include <QGuiApplication>
#include <QPainter>

QPoint ShapeTool::endPoint(const QPoint& point) const {
  return (QGuiApplication::keyboardModifiers() & Qt::ControlModifier) ? constrained(point) : point;
}

void ShapeTool::mouseMove(CanvasWidget* canvas, Document* document, QMouseEvent*, const QPoint& point) {
  Layer* layer = document->activeLayer();
  if (!dragging || !layer) return;
  const QPoint end = endPoint(point);
  layer->image = before.copy();
  QPainter painter(&layer->image);
  painter.setRenderHint(QPainter::Antialiasing, true);
  paintPreview(painter, end);
  painter.end();
  canvas->update();
}

void ShapeTool::mouseRelease(CanvasWidget* canvas, Document* document, QMouseEvent*, const QPoint& point) {
  Layer* layer = document->activeLayer();
  // A release whose press committed a waiting shape belongs to no drag of
  // this tool; acting on it would restore a stale picture.
  if (!layer || !dragging) return;
  dragging = false;
  const QPoint end = endPoint(point);
  layer->image = before;
  PendingShape shape = shapeFor(end);
  if (shape.kind != PendingShape::None) {
    shape.before = before;
    shape.color = primary;
    shape.penWidth = size;
    shape.layerIndex = document->activeIndex;
    canvas->setPendingShape(shape);
  }
  canvas->update();
}

QPoint BoxShapeTool::constrained(const QPoint& point) const { return squareEndPoint(start, point); }

void BoxShapeTool::paintPreview(QPainter& painter, const QPoint& end) const {
  painter.setPen(QPen(primary, size, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
  painter.setBrush(Qt::NoBrush);
  const QRect box = QRect(start, end).normalized();
  if (kind() == PendingShape::Rectangle)
    painter.drawRect(box);
  else
    painter.drawEllipse(box);
}

PendingShape BoxShapeTool::shapeFor(const QPoint& end) const {
  PendingShape shape;
  const QRectF box = QRectF(QPointF(start), QSizeF(end.x() - start.x(), end.y() - start.y())).normalized();
  if (box.width() <= 0 || box.height() <= 0) return shape;
  shape.kind = kind();
  shape.rect = box;
  return shape;
}
