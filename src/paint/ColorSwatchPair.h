#pragma once
// The primary and secondary colours as two overlapping squares.

#include <QColor>
#include <QWidget>

class ColorSwatchPair : public QWidget {
  Q_OBJECT

 public:
  explicit ColorSwatchPair(QWidget* parent = nullptr);

  QSize sizeHint() const override { return QSize(72, 62); }
  QSize minimumSizeHint() const override { return QSize(56, 48); }
  QRect primaryRect() const;
  QRect secondaryRect() const;

  QColor primary = Qt::black;
  QColor secondary = Qt::white;
  bool primaryActive = true;

 signals:
  void primaryClicked();
  void secondaryClicked();
  void primaryDoubleClicked();
  void secondaryDoubleClicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
};
