#include "BlockEditorFrame.h"

#include "BlockEditorChromeOverlay.h"
#include "BlockGeometry.h"
#include "RotatedTextEdit.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPen>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace {

constexpr int kMarginLeft = 5;
constexpr int kMarginTop = 31;
constexpr int kMarginRight = 5;
constexpr int kMarginBottom = 5;
constexpr int kMinContentWidth = 50;
constexpr int kMinContentHeight = 52;
constexpr double kMinRotation = 0.1;

const QColor kAccent(30, 114, 228);
const QColor kImagePen(200, 50, 50);
const QColor kImageHandleFill(255, 220, 220);
const QColor kImageRotateFill(255, 245, 245);

using Hit = BlockEditorFrame::Hit;

// Tested and painted in this order.
constexpr std::array<Hit, 8> kHandles{Hit::TopLeft,    Hit::Top,        Hit::TopRight, Hit::Left,
                                      Hit::Right,      Hit::BottomLeft, Hit::Bottom,   Hit::BottomRight};

bool isCorner(Hit hit) {
  return hit == Hit::TopLeft || hit == Hit::TopRight || hit == Hit::BottomLeft || hit == Hit::BottomRight;
}

bool isHandleOrRotate(Hit hit) { return hit != Hit::None && hit != Hit::Move; }

void makeTransparent(QWidget* widget) {
  widget->setAttribute(Qt::WA_TranslucentBackground, true);
  widget->setAttribute(Qt::WA_NoSystemBackground, true);
  widget->setAutoFillBackground(false);
  QPalette palette = widget->palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setBrush(group, QPalette::Base, Qt::transparent);
    palette.setBrush(group, QPalette::Window, Qt::transparent);
  }
  widget->setPalette(palette);
}

// A rectangle drawn with a one-pixel pen covers one pixel more than itself.
QRect lessOnePixel(const QRect& r) { return QRect(r.x(), r.y(), r.width() - 1, r.height() - 1); }

// The rectangle from anchor reaching w by h pixels towards the moving corner.
QRect rectFromAnchor(const QPoint& anchor, const QPoint& moving, int w, int h) {
  const int x2 = moving.x() >= anchor.x() ? anchor.x() + w : anchor.x() - w;
  const int y2 = moving.y() >= anchor.y() ? anchor.y() + h : anchor.y() - h;
  // Built from its extremes: QRect::normalized() would shift the edges.
  return QRect(QPoint(std::min(anchor.x(), x2), std::min(anchor.y(), y2)),
               QPoint(std::max(anchor.x(), x2), std::max(anchor.y(), y2)));
}

}  // namespace

BlockEditorFrame::BlockEditorFrame(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  setAttribute(Qt::WA_TranslucentBackground, true);
  setAttribute(Qt::WA_NoSystemBackground, true);
  setAutoFillBackground(false);
  setMouseTracking(true);

  editor = new RotatedTextEdit(this);
  editor->setObjectName(QStringLiteral("BlockTextEditor"));
  editor->viewport()->setObjectName(QStringLiteral("BlockTextEditorViewport"));
  editor->setFrameShape(QFrame::NoFrame);
  editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  editor->setLineWrapMode(QTextEdit::WidgetWidth);
  editor->setMouseTracking(true);
  editor->viewport()->setMouseTracking(true);
  editor->document()->setDocumentMargin(0);
  makeTransparent(editor);
  makeTransparent(editor->viewport());
  editor->installEventFilter(this);
  editor->viewport()->installEventFilter(this);

  chromeOverlay = new BlockEditorChromeOverlay(this, parent ? parent : this);
  chromeOverlay->hide();
}

BlockEditorFrame::~BlockEditorFrame() { delete chromeOverlay.data(); }

QRect BlockEditorFrame::contentRect() const {
  if (contentRectOverride.isValid()) return contentRectOverride;
  return QRect(kMarginLeft, kMarginTop, std::max(1, width() - kMarginLeft - kMarginRight),
               std::max(1, height() - kMarginTop - kMarginBottom));
}

QRect BlockEditorFrame::contentScreenRect() const { return contentRect().translated(pos()); }

void BlockEditorFrame::setContentScreenRect(const QRect& rect) {
  const QRect outer = outerRectForContentRect(rect);
  setGeometry(outer);
  contentRectOverride = rect.translated(-outer.topLeft());
  layoutEditor();
  syncChromeOverlay();
  update();
}

QRect BlockEditorFrame::outerRectForContentRect(const QRect& c) const {
  if (std::abs(rotationAngle) < kMinRotation)
    return QRect(c.x() - kMarginLeft, c.y() - kMarginTop, c.width() + kMarginLeft + kMarginRight,
                 c.height() + kMarginTop + kMarginBottom);
  // The chrome reaches 8 px beside and 34 px above the content; all of it
  // must stay inside the frame once turned.
  const QRectF chrome(QPointF(c.x() - 8, c.y() - 34), QPointF(c.x() + c.width() + 8, c.y() + c.height() + 8));
  const QPointF centre = QRectF(c).center();
  double left = 1e300, top = 1e300, right = -1e300, bottom = -1e300;
  for (const QPointF& corner : {chrome.topLeft(), chrome.topRight(), chrome.bottomLeft(), chrome.bottomRight()}) {
    const QPointF turned = rotatePoint(corner, centre, rotationAngle);
    left = std::min(left, turned.x());
    top = std::min(top, turned.y());
    right = std::max(right, turned.x());
    bottom = std::max(bottom, turned.y());
  }
  const QRectF bounds(QPointF(left, top), QPointF(right, bottom));
  const QRectF grown = bounds.adjusted(-3, -3, 3, 3);
  return QRect(QPoint(static_cast<int>(std::floor(grown.left())), static_cast<int>(std::floor(grown.top()))),
               QPoint(static_cast<int>(std::ceil(grown.right())), static_cast<int>(std::ceil(grown.bottom()))));
}

void BlockEditorFrame::setContentRectOverride(const QRect& rect) {
  contentRectOverride = rect;
  layoutEditor();
  syncChromeOverlay();
  update();
}

void BlockEditorFrame::applyEditorRotation() { editor->setRotationAngle(imageMode ? 0.0 : rotationAngle); }

void BlockEditorFrame::setRotationAngle(double degrees) {
  rotationAngle = normalizedAngle(degrees);
  applyEditorRotation();
  layoutEditor();
  syncChromeOverlay();
  update();
}

void BlockEditorFrame::setImageMode(bool on) {
  imageMode = on;
  editor->setVisible(!on);
  editor->setAttribute(Qt::WA_TransparentForMouseEvents, on);
  applyEditorRotation();
  layoutEditor();
  syncChromeOverlay();
  update();
}

void BlockEditorFrame::setTextPaintingSuppressed(bool suppressed) {
  if (suppressed == textPaintingSuppressed) return;
  textPaintingSuppressed = suppressed;
  layoutEditor();
  update();
}

void BlockEditorFrame::setPlaceholderText(const QString& text) { editor->setPlaceholderText(text); }

void BlockEditorFrame::layoutEditor() {
  const QRect content = contentRect();
  if (!content.isValid()) return;
  if (imageMode || std::abs(rotationAngle) <= kMinRotation) {
    editor->setGeometry(content);
    editor->setPaintContentRect(QRect());
    editor->setPaintingSuppressed(textPaintingSuppressed);
  } else {
    // The turned text needs the whole frame to be painted and clicked in.
    editor->setGeometry(0, 0, width(), height());
    editor->setPaintContentRect(content);
    editor->setPaintingSuppressed(true);
  }
  applyEditorRotation();
  editor->raise();
  syncChromeOverlay();
}

void BlockEditorFrame::syncChromeOverlay() {
  if (!chromeOverlay || !parentWidget()) return;
  if (chromeOverlay->parentWidget() == this)
    chromeOverlay->setGeometry(0, 0, width(), height());
  else
    chromeOverlay->setGeometry(geometry());
  chromeOverlay->setVisible(isVisible());
  chromeOverlay->raise();
  chromeOverlay->update();
}

QPoint BlockEditorFrame::contentCentre() const {
  const QRect c = contentRect();
  return QPoint((c.left() + c.right()) / 2, (c.top() + c.bottom()) / 2);
}

QRect BlockEditorFrame::handleRect(Hit hit) const {
  const QRect c = contentRect();
  const int x1 = c.left(), y1 = c.top(), x2 = c.right(), y2 = c.bottom();
  const QPoint m = contentCentre();
  auto span = [](int left, int top, int right, int bottom) { return QRect(QPoint(left, top), QPoint(right, bottom)); };
  switch (hit) {
    case Hit::Top:
      return span(m.x() - 4, y1 - 4, m.x() + 3, y1 + 3);
    case Hit::Bottom:
      return span(m.x() - 4, y2 - 3, m.x() + 3, y2 + 4);
    case Hit::Right:
      return span(x2 - 3, m.y() - 4, x2 + 4, m.y() + 3);
    case Hit::Left:
      return span(x1 - 4, m.y() - 4, x1 + 3, m.y() + 3);
    case Hit::TopRight:
      return span(x2 - 3, y1 - 4, x2 + 4, y1 + 3);
    case Hit::TopLeft:
      return span(x1 - 4, y1 - 4, x1 + 3, y1 + 3);
    case Hit::BottomRight:
      return span(x2 - 3, y2 - 3, x2 + 4, y2 + 4);
    case Hit::BottomLeft:
      return span(x1 - 4, y2 - 3, x1 + 3, y2 + 4);
    default:
      return QRect();
  }
}

QRect BlockEditorFrame::rotationHandleRect() const {
  const int y1 = contentRect().top();
  const QPoint m = contentCentre();
  return QRect(QPoint(m.x() - 6, y1 - 24), QPoint(m.x() + 5, y1 - 13));
}

BlockEditorFrame::Hit BlockEditorFrame::hitTest(const QPoint& local) const {
  const QPoint m = contentCentre();
  QPoint p = local;
  // The chrome is tested in its unturned layout.
  if (std::abs(rotationAngle) >= kMinRotation) p = rotatePoint(QPointF(local), QPointF(m), -rotationAngle).toPoint();
  const int y1 = contentRect().top();
  if (QRect(QPoint(m.x() - 9, y1 - 27), QPoint(m.x() + 8, y1 - 10)).contains(p)) return Hit::Rotate;
  // The handles reach 6 px into the content; on a short or narrow block they
  // would cover much of its body, which must stay the block's to move. There
  // they keep only an eighth of the content inside each edge.
  const QRect c = contentRect();
  const int gripX = std::min(6, c.width() / 8);
  const int gripY = std::min(6, c.height() / 8);
  if (c.adjusted(gripX, gripY, -gripX, -gripY).contains(p)) return Hit::Move;
  for (Hit hit : kHandles) {
    if (handleRect(hit).adjusted(-2, -2, 2, 2).contains(p)) return hit;
  }
  if (contentRect().adjusted(-4, -4, 4, 4).contains(p)) return Hit::Move;
  return Hit::None;
}

void BlockEditorFrame::updateCursorForHit(Hit hit) {
  Qt::CursorShape shape = Qt::ArrowCursor;
  switch (hit) {
    case Hit::None:
      shape = Qt::ArrowCursor;
      break;
    case Hit::Move:
      shape = Qt::SizeAllCursor;
      break;
    case Hit::Rotate:
      shape = Qt::CrossCursor;
      break;
    case Hit::Top:
    case Hit::Bottom:
      shape = Qt::SizeVerCursor;
      break;
    case Hit::Left:
    case Hit::Right:
      shape = Qt::SizeHorCursor;
      break;
    case Hit::TopRight:
    case Hit::BottomLeft:
      shape = Qt::SizeBDiagCursor;
      break;
    case Hit::TopLeft:
    case Hit::BottomRight:
      shape = Qt::SizeFDiagCursor;
      break;
  }
  setCursor(shape);
  if (hit == Hit::None || hit == Hit::Move) {
    editor->unsetCursor();
    editor->viewport()->setCursor(Qt::IBeamCursor);
  } else {
    editor->setCursor(shape);
    editor->viewport()->setCursor(shape);
  }
}

double BlockEditorFrame::pointerAngleDegrees(const QPoint& global) const {
  const QPoint centre = mapToGlobal(contentCentre());
  return std::atan2(global.y() - centre.y(), global.x() - centre.x()) * 180.0 / std::numbers::pi;
}

bool BlockEditorFrame::beginInteraction(const QPoint& local, const QPoint& global, bool allowMove) {
  const Hit hit = hitTest(local);
  if (hit == Hit::None || (hit == Hit::Move && !allowMove)) return false;
  pressGlobalPos = global;
  activeHit = hit;
  startContentScreenRect = contentScreenRect();
  startRotationAngle = rotationAngle;
  startPointerAngle = pointerAngleDegrees(global);
  updateCursorForHit(hit);
  raise();
  syncChromeOverlay();
  emit interactionStarted();
  return true;
}

void BlockEditorFrame::updateInteraction(const QPoint& global, Qt::KeyboardModifiers modifiers) {
  if (activeHit == Hit::None) return;
  if (activeHit == Hit::Rotate) {
    // The content stays where it is; the frame grows around the turned chrome.
    const QRect kept = contentScreenRect();
    setRotationAngle(pointerAngleDegrees(global) - startPointerAngle + startRotationAngle);
    setContentScreenRect(kept);
    emit rotationChanged(rotationAngle);
    return;
  }

  const QPoint delta = global - pressGlobalPos;
  const QRect start = startContentScreenRect;
  int x1 = start.left(), y1 = start.top(), x2 = start.right(), y2 = start.bottom();
  if (activeHit == Hit::Move) {
    x1 += delta.x();
    x2 += delta.x();
    y1 += delta.y();
    y2 += delta.y();
  } else {
    if (activeHit == Hit::Left || activeHit == Hit::TopLeft || activeHit == Hit::BottomLeft) x1 += delta.x();
    if (activeHit == Hit::Right || activeHit == Hit::TopRight || activeHit == Hit::BottomRight) x2 += delta.x();
    if (activeHit == Hit::Top || activeHit == Hit::TopLeft || activeHit == Hit::TopRight) y1 += delta.y();
    if (activeHit == Hit::Bottom || activeHit == Hit::BottomLeft || activeHit == Hit::BottomRight) y2 += delta.y();

    if (isCorner(activeHit) && (modifiers & Qt::ShiftModifier)) {
      const bool left = activeHit == Hit::TopLeft || activeHit == Hit::BottomLeft;
      const bool top = activeHit == Hit::TopLeft || activeHit == Hit::TopRight;
      const QPoint anchor(left ? start.right() : start.left(), top ? start.bottom() : start.top());
      const QPoint moving(left ? x1 : x2, top ? y1 : y2);
      const double ratio = std::max(static_cast<double>(start.width()) / std::max(start.height(), 1), 0.05);
      int w = std::max(std::abs(anchor.x() - moving.x()), kMinContentWidth);
      int h = std::max(std::abs(anchor.y() - moving.y()), kMinContentHeight);
      if (static_cast<double>(w) / h > ratio)
        h = std::max(static_cast<int>(std::lround(w / ratio)), kMinContentHeight);
      else
        w = std::max(static_cast<int>(std::lround(h * ratio)), kMinContentWidth);
      const QRect kept = rectFromAnchor(anchor, moving, w, h);
      x1 = kept.left();
      y1 = kept.top();
      x2 = kept.right();
      y2 = kept.bottom();
    }
    if (x2 - x1 < kMinContentWidth - 1) x2 = x1 + kMinContentWidth - 1;
    if (y2 - y1 < kMinContentHeight - 1) y2 = y1 + kMinContentHeight - 1;
  }
  const QRect rect(QPoint(x1, y1), QPoint(x2, y2));
  setContentScreenRect(rect);
  emit rectChanged(rect);
}

void BlockEditorFrame::endInteraction(const QPoint& local) {
  const bool wasRunning = activeHit != Hit::None;
  activeHit = Hit::None;
  updateCursorForHit(hitTest(local));
  if (wasRunning) emit interactionFinished();
}

bool BlockEditorFrame::externalHandleAt(const QPoint& parentPos) const {
  return isHandleOrRotate(hitTest(parentPos - pos()));
}

bool BlockEditorFrame::beginExternalInteraction(const QPoint& parentPos, const QPoint& global) {
  return beginInteraction(parentPos - pos(), global, false);
}

void BlockEditorFrame::updateExternalInteraction(const QPoint& global, Qt::KeyboardModifiers modifiers) {
  updateInteraction(global, modifiers);
}

void BlockEditorFrame::endExternalInteraction(const QPoint& parentPos) {
  if (activeHit != Hit::None) endInteraction(parentPos - pos());
}

bool BlockEditorFrame::eventFilter(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!editor || !widget || (widget != editor && widget != editor->viewport()))
    return QWidget::eventFilter(watched, event);
  const QEvent::Type type = event->type();
  if (type == QEvent::FocusIn) syncChromeOverlay();
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease && type != QEvent::MouseMove)
    return QWidget::eventFilter(watched, event);

  syncChromeOverlay();
  auto* mouse = static_cast<QMouseEvent*>(event);
  const QPoint local = widget->mapTo(this, mouse->position().toPoint());
  const QPoint global = mouse->globalPosition().toPoint();
  const Hit hit = hitTest(local);
  if (type == QEvent::MouseButtonPress) {
    if (isHandleOrRotate(hit) && beginInteraction(local, global, false)) {
      event->accept();
      return true;
    }
  } else if (type == QEvent::MouseMove) {
    if (activeHit != Hit::None) {
      updateInteraction(global, mouse->modifiers());
      event->accept();
      return true;
    }
    updateCursorForHit(hit);
    if (isHandleOrRotate(hit)) return true;
  } else if (activeHit != Hit::None) {
    activeHit = Hit::None;
    updateCursorForHit(hit);
    emit interactionFinished();
    event->accept();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void BlockEditorFrame::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton &&
      beginInteraction(event->position().toPoint(), event->globalPosition().toPoint(), true)) {
    event->accept();
    return;
  }
  QWidget::mousePressEvent(event);
}

void BlockEditorFrame::mouseMoveEvent(QMouseEvent* event) {
  if (activeHit != Hit::None) {
    updateInteraction(event->globalPosition().toPoint(), event->modifiers());
    event->accept();
    return;
  }
  updateCursorForHit(hitTest(event->position().toPoint()));
}

void BlockEditorFrame::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && activeHit != Hit::None) {
    endInteraction(event->position().toPoint());
    event->accept();
    return;
  }
  QWidget::mouseReleaseEvent(event);
}

void BlockEditorFrame::paintEvent(QPaintEvent*) {
  if (chromeOverlay) return;
  QPainter painter(this);
  paintChrome(painter);
}

void BlockEditorFrame::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  syncChromeOverlay();
}

void BlockEditorFrame::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  layoutEditor();
}

void BlockEditorFrame::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  syncChromeOverlay();
}

void BlockEditorFrame::hideEvent(QHideEvent* event) {
  if (chromeOverlay) chromeOverlay->hide();
  QWidget::hideEvent(event);
}

void BlockEditorFrame::paintChrome(QPainter& painter) const {
  const QRect c = contentRect();
  const QPoint m = contentCentre();
  const bool turned = std::abs(rotationAngle) > kMinRotation;
  painter.save();
  if (turned) {
    painter.translate(m);
    painter.rotate(rotationAngle);
    painter.translate(-m);
  }
  const QColor penColor = imageMode ? kImagePen : kAccent;
  if (!imageMode) {
    painter.setPen(QPen(kAccent, 1, Qt::DashLine, Qt::SquareCap, Qt::BevelJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(lessOnePixel(c));
  }
  const QPen solid(penColor, 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
  painter.setPen(solid);
  painter.setBrush(imageMode ? kImageHandleFill : QColor(Qt::white));
  for (Hit hit : kHandles) painter.drawRect(lessOnePixel(handleRect(hit)));
  QColor connector = penColor;
  if (turned && !imageMode) connector.setAlpha(120);
  painter.setPen(QPen(connector, 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
  painter.drawLine(QPoint(m.x(), c.top() - 13), QPoint(m.x(), c.top()));
  painter.setPen(solid);
  painter.setBrush(imageMode ? kImageRotateFill : QColor(Qt::white));
  painter.drawEllipse(lessOnePixel(rotationHandleRect()));
  painter.restore();
}
