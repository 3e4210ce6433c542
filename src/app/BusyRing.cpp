#include "BusyRing.h"

#include <QPainter>
#include <QTimer>

BusyRing::BusyRing(QWidget* parent) : QWidget(parent), spinTimer(new QTimer(this)) {
  setFixedSize(54, 54);
  spinTimer->setInterval(45);
  connect(spinTimer, &QTimer::timeout, this, [this] {
    arcAngle = (arcAngle + 30) % 360;
    update();
  });
}

void BusyRing::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF ring = QRectF(rect()).adjusted(6, 6, -6, -6);
  QColor track = palette().color(QPalette::Mid);
  track.setAlpha(70);
  painter.setPen(QPen(track, 5));
  painter.drawEllipse(ring);
  painter.setPen(QPen(palette().color(QPalette::Highlight), 5, Qt::SolidLine, Qt::RoundCap));
  // Qt counts arcs in sixteenths of a degree, counter-clockwise.
  painter.drawArc(ring, (90 - arcAngle) * 16, -100 * 16);
}
