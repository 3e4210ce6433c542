#include "RotatedTextEdit.h"

#include "BlockGeometry.h"

#include <QAbstractTextDocumentLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <cmath>

RotatedTextEdit::RotatedTextEdit(QWidget* parent) : QTextEdit(parent) {
  for (QWidget* w : {static_cast<QWidget*>(this), viewport()}) {
    w->setAttribute(Qt::WA_TranslucentBackground, true);
    w->setAttribute(Qt::WA_NoSystemBackground, true);
    w->setAutoFillBackground(false);
  }
}

RotatedTextEdit::~RotatedTextEdit() = default;

namespace {

// The block's history is the page view's: its keys pass the editor by, so the
// window's undo and redo see them, instead of the document's own small history.
bool isHistoryKey(const QKeyEvent* key) {
  return key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) ||
         key->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_Y) ||
         key->keyCombination() == QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z);
}

}  // namespace

bool RotatedTextEdit::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride && isHistoryKey(static_cast<QKeyEvent*>(event))) {
    event->ignore();
    return true;
  }
  return QTextEdit::event(event);
}

void RotatedTextEdit::keyPressEvent(QKeyEvent* event) {
  if (isHistoryKey(event)) {
    event->ignore();
    return;
  }
  QTextEdit::keyPressEvent(event);
}

void RotatedTextEdit::setRotationAngle(double degrees) {
  const double normalized = normalizedAngle(degrees);
  if (std::abs(normalized - rotationAngle) < 0.01) return;
  rotationAngle = normalized;
  viewport()->update();
}

void RotatedTextEdit::setPaintContentRect(const QRect& rect) {
  paintContentRect = rect;
  if (rect.isValid() && lineWrapMode() != QTextEdit::NoWrap) setLineWrapColumnOrWidth(std::max(1, rect.width()));
  viewport()->update();
}

void RotatedTextEdit::setPaintingSuppressed(bool suppressed) {
  if (suppressed == paintingSuppressed) return;
  paintingSuppressed = suppressed;
  viewport()->update();
}

bool RotatedTextEdit::isRotated() const { return std::abs(rotationAngle) > 0.1; }

QRect RotatedTextEdit::effectiveContentRect() const {
  if (paintContentRect.isValid()) return paintContentRect;
  return QRect(0, 0, viewport()->width(), viewport()->height());
}

QPointF RotatedTextEdit::mapFromRotatedViewport(const QPointF& viewportPos) const {
  const QRect r = effectiveContentRect();
  const QPointF topLeft(r.topLeft());
  if (std::abs(rotationAngle) <= 0.1) return viewportPos - topLeft;
  const QPointF centre = topLeft + QPointF(r.width() * 0.5, r.height() * 0.5);
  return rotatePoint(viewportPos, centre, -rotationAngle) - topLeft;
}

void RotatedTextEdit::forwardMappedMouseEvent(QMouseEvent* event) {
  QMouseEvent mapped(event->type(), mapFromRotatedViewport(event->position()), event->scenePosition(),
                     event->globalPosition(), event->button(), event->buttons(), event->modifiers(),
                     event->pointingDevice());
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      QTextEdit::mousePressEvent(&mapped);
      break;
    case QEvent::MouseButtonRelease:
      QTextEdit::mouseReleaseEvent(&mapped);
      break;
    case QEvent::MouseButtonDblClick:
      QTextEdit::mouseDoubleClickEvent(&mapped);
      break;
    default:
      QTextEdit::mouseMoveEvent(&mapped);
      break;
  }
  event->setAccepted(mapped.isAccepted());
  viewport()->update();
}

void RotatedTextEdit::mousePressEvent(QMouseEvent* event) {
  if (isRotated())
    forwardMappedMouseEvent(event);
  else
    QTextEdit::mousePressEvent(event);
}

void RotatedTextEdit::mouseReleaseEvent(QMouseEvent* event) {
  if (isRotated())
    forwardMappedMouseEvent(event);
  else
    QTextEdit::mouseReleaseEvent(event);
}

void RotatedTextEdit::mouseDoubleClickEvent(QMouseEvent* event) {
  if (isRotated())
    forwardMappedMouseEvent(event);
  else
    QTextEdit::mouseDoubleClickEvent(event);
}

void RotatedTextEdit::mouseMoveEvent(QMouseEvent* event) {
  if (isRotated())
    forwardMappedMouseEvent(event);
  else
    QTextEdit::mouseMoveEvent(event);
}

void RotatedTextEdit::paintEvent(QPaintEvent* event) {
  if (paintingSuppressed) return;
  QPainter painter(viewport());
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  painter.setClipRect(event ? event->rect() : viewport()->rect());

  const QRect r = effectiveContentRect();
  if (std::abs(rotationAngle) > 0.1) {
    const QPointF centre = QPointF(r.topLeft()) + QPointF(r.width() * 0.5, r.height() * 0.5);
    painter.translate(centre);
    painter.rotate(rotationAngle);
    painter.translate(-centre);
  }
  const int scrollX = horizontalScrollBar()->value();
  const int scrollY = verticalScrollBar()->value();
  painter.translate(r.topLeft());
  painter.translate(-scrollX, -scrollY);

  QAbstractTextDocumentLayout::PaintContext context;
  context.palette = palette();
  context.clip = QRectF(scrollX, scrollY, r.width(), r.height());
  for (const QTextEdit::ExtraSelection& extra : extraSelections()) {
    context.selections.append(QAbstractTextDocumentLayout::Selection{extra.cursor, extra.format});
  }
  const QTextCursor cursor = textCursor();
  if (cursor.hasSelection()) {
    QTextCharFormat format;
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    format.setBackground(palette().brush(group, QPalette::Highlight));
    format.setForeground(palette().brush(group, QPalette::HighlightedText));
    context.selections.append(QAbstractTextDocumentLayout::Selection{cursor, format});
  }
  context.cursorPosition = hasFocus() ? cursor.position() : -1;
  document()->documentLayout()->draw(&painter, context);

  if (document()->isEmpty() && !placeholderText().isEmpty()) {
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(QRect(QPoint(0, 0), r.size()), Qt::AlignLeft | Qt::AlignTop, placeholderText());
  }
}
