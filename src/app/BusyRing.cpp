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
  const QRectF ring = QRectF(rect()).adjusted(6, 6, -6, -6);
  QColor track = palette().color(QPalette::Highlight);
  track.setAlpha(40);
  painter.setPen(QPen(track, 5));
  painter.drawEllipse(ring);
  painter.setPen(QPen(palette().color(QPalette::Highlight), 5, Qt::SolidLine, Qt::RoundCap));
  // Qt counts arcs in sixteenths of a degree, counter-clockwise.
  painter.drawArc(ring, -angle * 16, 100 * 16);
}
