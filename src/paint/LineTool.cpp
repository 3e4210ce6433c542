#include "LineTool.h"

#include "ToolDrawing.h"

#include <QPainter>

QPoint LineTool::constrained(const QPoint& point) const { return angleSnap(start, point); }

void LineTool::paintPreview(QPainter& painter, const QPoint& end) const {
  painter.setPen(QPen(primary, size, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawLine(start, end);
}

PendingShape LineTool::shapeFor(const QPoint& end) const {
  PendingShape shape;
  if (end == start) return shape;
  shape.kind = PendingShape::Line;
  shape.p1 = start;
  shape.p2 = end;
  return shape;
}
