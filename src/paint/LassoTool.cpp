#include "LassoTool.h"

#include "CanvasWidget.h"

#include <QMouseEvent>
#include <QPainterPath>
#include <QPolygonF>

namespace {

QPainterPath polygonPath(const QList<QPoint>& points, bool closed) {
  QPolygonF polygon;
  for (const QPoint& p : points) polygon << QPointF(p);
  QPainterPath path;
  path.addPolygon(polygon);
  if (closed) path.closeSubpath();
  return path;
}

}  // namespace

void LassoTool::mousePress(CanvasWidget* canvas, Document*, QMouseEvent*, const QPoint& point) {
  dragging = true;
  points.clear();
  points.append(point);
  canvas->clearSelection();
}

void LassoTool::mouseMove(CanvasWidget* canvas, Document*, QMouseEvent* event, const QPoint& point) {
  if (!dragging || !(event->buttons() & Qt::LeftButton)) return;
  points.append(point);
  canvas->setSelectionPath(polygonPath(points, false));
}

void LassoTool::mouseRelease(CanvasWidget* canvas, Document*, QMouseEvent*, const QPoint&) {
  dragging = false;
  if (points.size() < 3)
    canvas->clearSelection();
  else
    canvas->setSelectionPath(polygonPath(points, true));
}
