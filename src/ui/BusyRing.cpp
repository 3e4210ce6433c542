#include "BusyRing.h"

#include <QPainter>
#include <QPen>

BusyRing::BusyRing(QWidget* parent) : QWidget(parent) {
  setFixedSize(54, 54);
  connect(&timer, &QTimer::timeout, this, [this] {
    angle = (angle + 30) % 360;
    update();
  });
}

void BusyRing::start(int stepMs) {
  timer.start(stepMs);
  show();
}

void BusyRing::stop() {
  timer.stop();
  hide();
}

void BusyRing::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF ring(7, 7, width() - 14, height() - 14);
  painter.setPen(QPen(QColor(203, 213, 225, 150), 5.0, Qt::SolidLine, Qt::RoundCap));
  painter.drawArc(ring, 0, 5760);
  painter.setPen(QPen(QColor(37, 99, 235), 5.0, Qt::SolidLine, Qt::RoundCap));
  // Qt counts arcs in sixteenths of a degree, counter-clockwise from 3 o'clock.
  painter.drawArc(ring, angle * 16, 1840);
}
