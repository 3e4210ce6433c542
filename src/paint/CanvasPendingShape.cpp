// Pending shapes of the canvas: handles, hit test, dragging, overlay and
// the final painting into the shape's layer.
#include "CanvasWidget.h"

#include "Document.h"

#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.141592653589793;
const QColor kAccent(0, 120, 215);
const QColor kRotationGreen(0, 180, 0);

// The shape itself in image pixels; the overlay and the commit share it.
void paintShape(QPainter& painter, const PendingShape& shape) {
  if (shape.kind == PendingShape::Line) {
    painter.setPen(QPen(shape.color, shape.penWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawLine(shape.p1, shape.p2);
    return;
  }
  const QPointF centre = shape.rect.center();
  painter.translate(centre);
  painter.rotate(shape.rotation);
  painter.translate(-centre);
  if (shape.kind == PendingShape::Text) {
    painter.setFont(shape.font);
    painter.setPen(shape.color);
    painter.drawText(shape.rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, shape.text);
    return;
  }
  painter.setPen(QPen(shape.color, shape.penWidth, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
  painter.setBrush(Qt::NoBrush);
  if (shape.kind == PendingShape::Rectangle)
    painter.drawRect(shape.rect);
  else
    painter.drawEllipse(shape.rect);
}

Qt::CursorShape cursorForHandle(int handle) {
  switch (handle) {
    case 1:
    case 8:
      return Qt::SizeFDiagCursor;
    case 3:
    case 6:
      return Qt::SizeBDiagCursor;
    case 2:
    case 7:
      return Qt::SizeVerCursor;
    case 4:
    case 5:
      return Qt::SizeHorCursor;
    case 9:
    case 11:
    case 12:
      return Qt::CrossCursor;
    case 10:
    case 13:
      return Qt::SizeAllCursor;
    default:
      return Qt::ArrowCursor;
  }
}

bool movesLeft(int h) { return h == 1 || h == 4 || h == 6; }
bool movesRight(int h) { return h == 3 || h == 5 || h == 8; }
bool movesTop(int h) { return h == 1 || h == 2 || h == 3; }
bool movesBottom(int h) { return h == 6 || h == 7 || h == 8; }

}  // namespace

QPointF rotateAround(const QPointF& point, const QPointF& centre, double degrees) {
  const double t = degrees * kPi / 180.0;
  const double dx = point.x() - centre.x();
  const double dy = point.y() - centre.y();
  return QPointF(centre.x() + std::cos(t) * dx - std::sin(t) * dy, centre.y() + std::sin(t) * dx + std::cos(t) * dy);
}

void CanvasWidget::setPendingShape(const PendingShape& shape) {
  pending = shape;
  if (pending.layerIndex < 0 && document) pending.layerIndex = document->activeIndex;
  dragHandle = 0;
  update();
}

QList<QPointF> CanvasWidget::pendingHandleWidgetPoints() const {
  QList<QPointF> points;
  const QPointF origin = imageRectOnWidget().topLeft();
  auto toWidget = [&](const QPointF& p) { return origin + p * zoom; };
  if (pending.kind == PendingShape::Line) {
    points << toWidget(pending.p1) << toWidget(pending.p2);
    return points;
  }
  if (pending.kind == PendingShape::None) return points;
  const QRectF& r = pending.rect;
  const QPointF c = r.center();
  const QList<QPointF> raw{{r.left(), r.top()},    {c.x(), r.top()},     {r.right(), r.top()},
                           {r.left(), c.y()},      {r.right(), c.y()},   {r.left(), r.bottom()},
                           {c.x(), r.bottom()},    {r.right(), r.bottom()}, {c.x(), r.top() - 20}};
  for (const QPointF& p : raw) points << toWidget(rotateAround(p, c, pending.rotation));
  return points;
}

int CanvasWidget::pendingHitTest(const QPoint& q) const {
  static const int ids[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  const QList<QPointF> handles = pendingHandleWidgetPoints();
  auto near = [&](const QPointF& p) { return QRectF(p - QPointF(7, 7), QSizeF(14, 14)).contains(QPointF(q)); };
  if (pending.kind == PendingShape::Line) {
    if (handles.size() < 2) return 0;
    if (near(handles[0])) return 11;
    if (near(handles[1])) return 12;
    const QPointF a = handles[0];
    const QPointF b = handles[1];
    const QPointF ab = b - a;
    const double length2 = QPointF::dotProduct(ab, ab);
    if (length2 <= 0) return 0;
    const double t = std::clamp(QPointF::dotProduct(QPointF(q) - a, ab) / length2, 0.0, 1.0);
    const QPointF d = QPointF(q) - (a + t * ab);
    return QPointF::dotProduct(d, d) < 100 ? 13 : 0;
  }
  if (pending.kind == PendingShape::None) return 0;
  for (int i = 0; i < handles.size(); ++i)
    if (near(handles[i])) return ids[i];
  const QPointF local = rotateAround(widgetToImageF(QPointF(q)), pending.rect.center(), -pending.rotation);
  return pending.rect.contains(local) ? 10 : 0;
}

void CanvasWidget::updatePendingDrag(const QPoint& q) {
  const QPointF c = widgetToImageF(QPointF(q));
  const QPointF s = widgetToImageF(QPointF(dragStart));
  const QPointF d = c - s;
  if (pending.kind == PendingShape::Line) {
    if (dragHandle == 11 || dragHandle == 13) pending.p1 = dragStartP1 + d;
    if (dragHandle == 12 || dragHandle == 13) pending.p2 = dragStartP2 + d;
    return;
  }
  const double x0 = dragStartRect.x(), y0 = dragStartRect.y();
  const double w0 = dragStartRect.width(), h0 = dragStartRect.height();
  const QPointF m = dragStartRect.center();
  if (dragHandle == 9) {
    pending.rotation = dragStartRotation + (std::atan2(c.y() - m.y(), c.x() - m.x()) -
                                            std::atan2(s.y() - m.y(), s.x() - m.x())) * 180.0 / kPi;
    return;
  }
  if (dragHandle == 10) {
    pending.rect = QRectF(x0 + d.x(), y0 + d.y(), w0, h0);
    return;
  }
  if (dragHandle < 1 || dragHandle > 8) return;
  const QPointF l = rotateAround(c, m, -dragStartRotation);
  double x = x0, y = y0, w = w0, h = h0;
  if (movesLeft(dragHandle)) {
    x = l.x();
    w = w0 - (l.x() - x0);
  }
  if (movesRight(dragHandle)) w = l.x() - x0;
  if (movesTop(dragHandle)) {
    y = l.y();
    h = h0 - (l.y() - y0);
  }
  if (movesBottom(dragHandle)) h = l.y() - y0;
  if ((QGuiApplication::keyboardModifiers() & Qt::ControlModifier) && w0 > 0 && h0 > 0) {
    switch (dragHandle) {
      case 1:
      case 3:
      case 6:
      case 8: {
        const double scale = std::min(std::abs(h) / h0, std::abs(w) / w0);
        w = scale * w0;
        h = scale * h0;
        x = (dragHandle == 1 || dragHandle == 6) ? x0 + w0 - w : x0;
        y = (dragHandle == 1 || dragHandle == 3) ? y0 + h0 - h : y0;
        break;
      }
      case 2:
      case 7:
        w = (w0 / h0) * h;
        x = m.x() - w / 2;
        break;
      default:
        h = (h0 / w0) * w;
        y = m.y() - h / 2;
        break;
    }
  }
  pending.rect = QRectF(x, y, w, h).normalized();
}

void CanvasWidget::drawPendingOverlay(QPainter& painter) {
  if (!hasPendingShape()) return;
  const QRect r = imageRectOnWidget();
  painter.save();
  painter.translate(r.topLeft());
  painter.scale(zoom, zoom);
  painter.setRenderHint(QPainter::Antialiasing, true);
  paintShape(painter, pending);
  painter.restore();

  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  const QList<QPointF> h = pendingHandleWidgetPoints();
  auto square = [&](const QPointF& p) {
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(kAccent);
    painter.drawRect(QRectF(p - QPointF(4.5, 4.5), QSizeF(9, 9)));
  };
  if (pending.kind == PendingShape::Line && h.size() == 2) {
    painter.setPen(QPen(kAccent, 1, Qt::DashLine));
    painter.drawLine(h[0], h[1]);
    square(h[0]);
    square(h[1]);
  } else if (h.size() == 9) {
    painter.setPen(QPen(kAccent, 1, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolygon(QPolygonF{h[0], h[2], h[7], h[5]});
    painter.setPen(QPen(kRotationGreen, 1, Qt::SolidLine));
    painter.drawLine(h[1], h[8]);
    for (int i = 0; i < 8; ++i) square(h[i]);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(kRotationGreen);
    painter.drawEllipse(QRectF(h[8] - QPointF(4.5, 4.5), QSizeF(9, 9)));
  }
  painter.restore();
}

void CanvasWidget::commitPendingShape() {
  if (!hasPendingShape()) return;
  const int index = pending.layerIndex;
  if (!document || index < 0 || index >= document->layers.size()) {
    resetPendingShape();
    update();
    return;
  }
  const PendingShape shape = pending;
  const QImage before = shape.before.copy();
  Layer* layer = document->layers[index].get();
  {
    QPainter painter(&layer->image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    paintShape(painter, shape);
  }
  const QString text = shape.kind == PendingShape::Text ? QStringLiteral("Текст") : QStringLiteral("Примитив");
  resetPendingShape();
  commitLayerSnapshot(index, before, text);
  update();
}

void CanvasWidget::cancelPendingShape() {
  if (!hasPendingShape()) return;
  const int index = pending.layerIndex;
  if (document && index >= 0 && index < document->layers.size() && !pending.before.isNull())
    document->layers[index]->image = pending.before;
  resetPendingShape();
  update();
}

void CanvasWidget::resetPendingShape() {
  pending = PendingShape();
  dragHandle = 0;
  restoreOverrideCursor();
}

void CanvasWidget::setPendingTextFontFamily(const QString& family) {
  if (pending.kind != PendingShape::Text) return;
  pending.font.setFamily(family);
  update();
}

void CanvasWidget::setPendingTextBold(bool bold) {
  if (pending.kind != PendingShape::Text) return;
  pending.font.setWeight(bold ? QFont::Bold : QFont::Normal);
  update();
}

void CanvasWidget::setPendingTextItalic(bool italic) {
  if (pending.kind != PendingShape::Text) return;
  pending.font.setStyle(italic ? QFont::StyleItalic : QFont::StyleNormal);
  update();
}

void CanvasWidget::pendingPress(const QPoint& position) {
  const int h = pendingHitTest(position);
  if (h == 0) {
    commitPendingShape();
    return;
  }
  dragHandle = h;
  dragStart = position;
  dragStartRect = pending.rect;
  dragStartP1 = pending.p1;
  dragStartP2 = pending.p2;
  dragStartRotation = pending.rotation;
}

void CanvasWidget::pendingHover(const QPoint& position) {
  const QCursor cursor(cursorForHandle(pendingHitTest(position)));
  if (!overrideCursorSet) {
    QGuiApplication::setOverrideCursor(cursor);
    overrideCursorSet = true;
  } else {
    QGuiApplication::changeOverrideCursor(cursor);
  }
}
