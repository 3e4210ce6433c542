#include "ColorSwatchPair.h"

#include <QMouseEvent>
#include <QPainter>

ColorSwatchPair::ColorSwatchPair(QWidget* parent) : QWidget(parent) {}

QRect ColorSwatchPair::primaryRect() const {
  const int w = (2 * width()) / 3;
  const int h = (2 * height()) / 3;
  return QRect(0, height() - h, w, h);
}

QRect ColorSwatchPair::secondaryRect() const {
  const int w = (2 * width()) / 3;
  const int h = (2 * height()) / 3;
  return QRect(width() - w, 0, w, h);
}

void ColorSwatchPair::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (primaryRect().contains(p))
    emit primaryClicked();
  else if (secondaryRect().contains(p))
    emit secondaryClicked();
}

void ColorSwatchPair::mouseDoubleClickEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (primaryRect().contains(p))
    emit primaryDoubleClicked();
  else if (secondaryRect().contains(p))
    emit secondaryDoubleClicked();
}

void ColorSwatchPair::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  auto outline = [&](const QRect& r, bool active) {
    painter.setBrush(Qt::NoBrush);
    painter.setPen(active ? QPen(QColor(60, 120, 220), 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin)
                          : QPen(Qt::black, 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.drawRect(r.adjusted(0, 0, -1, -1));
  };
  painter.fillRect(secondaryRect(), secondary);
  outline(secondaryRect(), !primaryActive);
  painter.fillRect(primaryRect(), primary);
  outline(primaryRect(), primaryActive);
}
