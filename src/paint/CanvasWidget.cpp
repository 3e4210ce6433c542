#include "CanvasWidget.h"

#include "Document.h"
#include "Tool.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMinZoom = 0.05;
constexpr double kMaxZoom = 32.0;

}  // namespace

CanvasWidget::CanvasWidget(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_MouseTracking);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setAutoFillBackground(true);
  connect(&undoStack, &QUndoStack::indexChanged, this, [this] {
    update();
    emit zoomChanged(zoom);
  });
}

CanvasWidget::~CanvasWidget() { restoreOverrideCursor(); }

QRect CanvasWidget::imageRectOnWidget() const {
  if (!document) return QRect();
  const int w = int(std::lround(document->size.width() * zoom));
  const int h = int(std::lround(document->size.height() * zoom));
  const int x = (width() - w) / 2 + int(offset.x());
  const int y = (height() - h) / 2 + int(offset.y());
  return QRect(x, y, w, h);
}

QPoint CanvasWidget::widgetToImage(const QPoint& p) const {
  const QRect r = imageRectOnWidget();
  return QPoint(int((p.x() - r.x()) / zoom), int((p.y() - r.y()) / zoom));
}

QPointF CanvasWidget::widgetToImageF(const QPointF& p) const {
  const QRect r = imageRectOnWidget();
  return QPointF((p.x() - r.x()) / zoom, (p.y() - r.y()) / zoom);
}

QPoint CanvasWidget::imageToWidget(const QPoint& p) const {
  const QRect r = imageRectOnWidget();
  return QPoint(r.x() + int(p.x() * zoom), r.y() + int(p.y() * zoom));
}

void CanvasWidget::applyZoomAt(double factor, const QPoint& pos) {
  if (!document) return;
  const QRect r = imageRectOnWidget();
  const double ipx = (pos.x() - r.x()) / zoom;
  const double ipy = (pos.y() - r.y()) / zoom;
  const double z = std::clamp(zoom * factor, kMinZoom, kMaxZoom);
  const double w = double(std::lround(document->size.width() * z));
  const double h = double(std::lround(document->size.height() * z));
  offset.setX(pos.x() - ipx * z - (width() - w) * 0.5);
  offset.setY(pos.y() - ipy * z - (height() - h) * 0.5);
  zoom = z;
  emit zoomChanged(zoom);
  update();
}

void CanvasWidget::adjustOffset(const QPointF& delta) {
  offset += delta;
  update();
}

void CanvasWidget::fitToView() {
  if (!document || width() < 1 || height() < 1) return;
  if (document->size.isEmpty()) return;
  const double fit = std::min((width() - 48.0) / document->size.width(), (height() - 48.0) / document->size.height());
  zoom = std::clamp(fit, kMinZoom, kMaxZoom);
  offset = QPointF(0, 0);
  emit zoomChanged(zoom);
  update();
}

void CanvasWidget::setPrimaryColor(const QColor& color) {
  primaryColor = color;
  if (tool) tool->setPrimaryColor(color);
}

void CanvasWidget::setSecondaryColor(const QColor& color) {
  secondaryColor = color;
  if (tool) tool->setSecondaryColor(color);
}

void CanvasWidget::setToolSize(int size) {
  toolSize = size;
  if (tool) tool->setSize(size);
  if (pending.kind == PendingShape::Text) {
    pending.font.setPixelSize(std::max(2 * size, 8));
    update();
  }
}

void CanvasWidget::setDocument(Document* doc) {
  resetPendingShape();
  document = doc;
  undoStack.clear();
  selection = QPainterPath();
  update();
}

void CanvasWidget::setSelection(const QRect& rect) {
  QRect clipped = rect;
  if (document) clipped = rect.intersected(QRect(QPoint(0, 0), document->size));
  selection = QPainterPath();
  if (clipped.left() <= clipped.right() && clipped.top() <= clipped.bottom()) selection.addRect(QRectF(clipped));
  update();
}

void CanvasWidget::setSelectionPath(const QPainterPath& path) {
  if (document) {
    QPainterPath bounds;
    bounds.addRect(QRectF(QPointF(0, 0), QSizeF(document->size)));
    selection = path.intersected(bounds);
  } else {
    selection = path;
  }
  update();
}

void CanvasWidget::clearSelection() {
  selection = QPainterPath();
  update();
}

void CanvasWidget::reportColorPicked(const QColor& color) { emit colorPicked(color); }

void CanvasWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(195, 207, 222));
  if (!document) return;
  const QRect r = imageRectOnWidget();
  painter.fillRect(r.adjusted(-1, -1, 1, 1), QColor(80, 90, 100));
  painter.fillRect(r, Qt::white);
  const QColor check(224, 232, 240);
  for (int row = 0; r.y() + row * 16 < r.bottom() + 1; ++row) {
    for (int column = 0; r.x() + column * 16 < r.right() + 1; ++column) {
      if ((row + column) % 2 == 0) continue;
      painter.fillRect(QRect(r.x() + column * 16, r.y() + row * 16, 16, 16).intersected(r), check);
    }
  }
  painter.setRenderHint(QPainter::SmoothPixmapTransform, zoom < 1.0);
  const QImage merged = document->mergedImage();
  painter.drawImage(QRectF(r), merged, QRectF(merged.rect()));
  drawPendingOverlay(painter);
  if (!selection.isEmpty()) {
    QTransform toWidget;
    toWidget.translate(r.x(), r.y());
    toWidget.scale(zoom, zoom);
    const QPainterPath mapped = toWidget.map(selection);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillPath(mapped, QColor(0, 120, 215, 70));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0, 100, 210), 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.drawPath(mapped);
  }
}

QPoint CanvasWidget::eventImagePoint(const QMouseEvent* event) const {
  return widgetToImage(event->position().toPoint());
}

void CanvasWidget::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  if (hasPendingShape()) {
    pendingPress(event->position().toPoint());
    return;
  }
  if (tool && document) tool->mousePress(this, document, event, eventImagePoint(event));
}

void CanvasWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint imagePoint = eventImagePoint(event);
  emit imagePositionChanged(imagePoint);
  if (dragHandle != 0) {
    updatePendingDrag(event->position().toPoint());
    update();
    return;
  }
  if (hasPendingShape()) {
    pendingHover(event->position().toPoint());
    return;
  }
  restoreOverrideCursor();
  if (tool && document) tool->mouseMove(this, document, event, imagePoint);
}

void CanvasWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (dragHandle != 0) {
    dragHandle = 0;
    update();
    return;
  }
  if (tool && document) tool->mouseRelease(this, document, event, eventImagePoint(event));
}

void CanvasWidget::leaveEvent(QEvent* event) {
  restoreOverrideCursor();
  QWidget::leaveEvent(event);
}

void CanvasWidget::wheelEvent(QWheelEvent* event) {
  const double factor = event->angleDelta().y() > 0 ? 1.15 : 1.0 / 1.15;
  applyZoomAt(factor, event->position().toPoint());
}

void CanvasWidget::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      if (hasPendingShape()) {
        cancelPendingShape();
        return;
      }
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (hasPendingShape()) {
        commitPendingShape();
        return;
      }
      if (tool && tool->wantsCropOnEnter()) {
        cropToSelection();
        return;
      }
      break;
    case Qt::Key_Delete:
      if (!selection.isEmpty()) {
        deleteSelection();
        return;
      }
      break;
    default:
      break;
  }
  QWidget::keyPressEvent(event);
}

void CanvasWidget::restoreOverrideCursor() {
  if (!overrideCursorSet) return;
  QGuiApplication::restoreOverrideCursor();
  overrideCursorSet = false;
}
