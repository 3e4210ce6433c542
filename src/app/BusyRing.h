#pragma once
// The spinning busy indicator of long-running dialogs. Its owner starts and
// stops the timer (every 45 ms) and shows and hides the ring.

#include <QWidget>

class QTimer;

class BusyRing : public QWidget {
  Q_OBJECT

 public:
  explicit BusyRing(QWidget* parent = nullptr);
  QTimer* timer() const { return spinTimer; }
  int angle() const { return arcAngle; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QTimer* spinTimer;
  int arcAngle = 0;
};
