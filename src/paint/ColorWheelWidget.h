#pragma once
// A hue and saturation wheel: hue round the circle, saturation outwards.

#include <QColor>
#include <QImage>
#include <QWidget>

class ColorWheelWidget : public QWidget {
  Q_OBJECT

 public:
  explicit ColorWheelWidget(QWidget* parent = nullptr);

  QSize sizeHint() const override { return QSize(180, 180); }
  void setColor(const QColor& c);
  QRectF wheelRect() const;
  QPointF indicatorPos() const;
  void rebuildWheel();
  void pickAt(QPoint p);

  QColor color = Qt::red;
  QImage wheelImage;  // cached; rebuilt only when the wheel's size changes
  bool dragging = false;

 signals:
  void colorChanged(const QColor& color);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
};
