#include "ColorWheelWidget.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.141592653589793;

double angleDegrees(double dx, double dy) {
  double angle = std::atan2(dy, dx) * 180.0 / kPi;
  if (angle < 0) angle += 360.0;
  return angle;
}

}  // namespace

ColorWheelWidget::ColorWheelWidget(QWidget* parent) : QWidget(parent) {
  setMinimumSize(100, 100);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void ColorWheelWidget::setColor(const QColor& c) {
  if (c == color) return;
  color = c;
  update();
}

QRectF ColorWheelWidget::wheelRect() const {
  const int side = std::min(width(), height()) - 4;
  return QRectF((width() - side) / 2.0, (height() - side) / 2.0, side, side);
}

QPointF ColorWheelWidget::indicatorPos() const {
  const QRectF r = wheelRect();
  if (color.hsvHue() == -1) return r.center();
  const double a = color.hsvHueF() * 2 * kPi;
  const double s = color.hsvSaturationF() * r.width() / 2;
  return QPointF(r.center().x() + s * std::cos(a), r.center().y() + s * std::sin(a));
}

void ColorWheelWidget::rebuildWheel() {
  const int n = std::max(1, int(wheelRect().width()));
  wheelImage = QImage(n, n, QImage::Format_ARGB32);
  wheelImage.fill(Qt::transparent);
  const double r = n / 2.0;
  for (int y = 0; y < n; ++y) {
    QRgb* line = reinterpret_cast<QRgb*>(wheelImage.scanLine(y));
    for (int x = 0; x < n; ++x) {
      const double dx = x - r + 0.5;
      const double dy = y - r + 0.5;
      const double d = std::sqrt(dx * dx + dy * dy);
      if (d > r) continue;
      line[x] = QColor::fromHsvF(float(angleDegrees(dx, dy) / 360.0), float(d / r), 1, 1).rgba();
    }
  }
}

void ColorWheelWidget::pickAt(QPoint p) {
  const QRectF r = wheelRect();
  const double radius = r.width() / 2;
  const double dx = p.x() - r.center().x();
  const double dy = p.y() - r.center().y();
  const double angle = angleDegrees(dx, dy);
  const double saturation = radius > 0 ? std::min(1.0, std::sqrt(dx * dx + dy * dy) / radius) : 0.0;
  int value = color.value();
  if (color.hsvHue() == -1 && value == 0) value = 255;
  color = QColor::fromHsv(int(angle), int(saturation * 255), value, 255);
  update();
  emit colorChanged(color);
}

void ColorWheelWidget::mousePressEvent(QMouseEvent* event) {
  dragging = true;
  pickAt(event->position().toPoint());
}

void ColorWheelWidget::mouseMoveEvent(QMouseEvent* event) {
  if (dragging) pickAt(event->position().toPoint());
}

void ColorWheelWidget::mouseReleaseEvent(QMouseEvent*) { dragging = false; }

void ColorWheelWidget::resizeEvent(QResizeEvent*) { wheelImage = QImage(); }

void ColorWheelWidget::paintEvent(QPaintEvent*) {
  const QRectF r = wheelRect();
  if (wheelImage.isNull() || wheelImage.width() != int(r.width())) rebuildWheel();
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing, true);
  QPainterPath circle;
  circle.addEllipse(r);
  painter.setClipPath(circle);
  painter.drawImage(r.topLeft(), wheelImage);
  painter.setClipping(false);
  painter.setPen(QPen(palette().color(QPalette::Mid), 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(r);
  const QRectF indicator(indicatorPos() - QPointF(5.5, 5.5), QSizeF(11, 11));
  painter.setPen(QPen(Qt::white, 2.5));
  painter.drawEllipse(indicator);
  painter.setPen(QPen(Qt::black, 1));
  painter.drawEllipse(indicator);
}
