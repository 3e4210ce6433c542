#pragma once
// The spinning busy indicator of long-running dialogs, 54 x 54 pixels. Its
// owner starts it with a step interval and stops it.

#include <QTimer>
#include <QWidget>

class BusyRing : public QWidget {
  Q_OBJECT

 public:
  explicit BusyRing(QWidget* parent = nullptr);

  void start(int stepMs);  // also shows the ring
  void stop();             // also hides it
  bool isSpinning() const { return timer.isActive(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QTimer timer;
  int angle = 0;
};
