#include "ToolDrawing.h"

#include "Document.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

void stroke(Document* document, const QPoint& from, const QPoint& to, const QPen& pen, bool antialiased,
            QPainter::CompositionMode mode) {
  if (!document) return;
  Layer* layer = document->activeLayer();
  if (!layer) return;
  QPainter painter(&layer->image);
  painter.setRenderHint(QPainter::Antialiasing, antialiased);
  painter.setCompositionMode(mode);
  painter.setPen(pen);
  if (from == to)
    painter.drawPoint(from);
  else
    painter.drawLine(from, to);
}

}  // namespace

void drawLine(Document* document, const QPoint& from, const QPoint& to, const QColor& color, int width) {
  stroke(document, from, to, QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin), true,
         QPainter::CompositionMode_SourceOver);
}

void eraseLine(Document* document, const QPoint& from, const QPoint& to, int width) {
  stroke(document, from, to, QPen(Qt::transparent, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin), true,
         QPainter::CompositionMode_Clear);
}

void pencilLine(Document* document, const QPoint& from, const QPoint& to, const QColor& color) {
  stroke(document, from, to, QPen(color, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin), false,
         QPainter::CompositionMode_SourceOver);
}

QPoint angleSnap(const QPoint& start, const QPoint& point) {
  const double dx = point.x() - start.x();
  const double dy = point.y() - start.y();
  const double length = std::hypot(dx, dy);
  if (length < 1.0) return point;
  const double step = 0.2617993877991494;
  const double a = std::round(std::atan2(dy, dx) / step) * step;
  return start + QPoint(int(std::lround(std::cos(a) * length)), int(std::lround(std::sin(a) * length)));
}

QPoint squareEndPoint(const QPoint& start, const QPoint& point) {
  const int dx = point.x() - start.x();
  const int dy = point.y() - start.y();
  const int m = std::min(std::abs(dx), std::abs(dy));
  return QPoint(start.x() + (dx < 0 ? -m : m), start.y() + (dy < 0 ? -m : m));
}
