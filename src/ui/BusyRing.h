#pragma once
// The spinning busy indicator of long-running dialogs, 54 x 54 pixels. Its
// owner starts it with a step interval and stops it.

#include <QTimer>
#include <QWidget>

#include <functional>

class QFrame;
class QLabel;

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

// The cover a dialog lays over its content while it works: translucent (its
// background's alpha given), with the ring and a title-styled line of text in
// its middle. Hidden; the dialog places, shows and hides it.
struct BusyOverlay {
  QFrame* frame = nullptr;
  BusyRing* ring = nullptr;
  QLabel* text = nullptr;
};
BusyOverlay buildBusyOverlay(QWidget* parent, const QString& objectName, int alpha, const QString& text);

// Runs `work` on a thread of its own while `window` (when given) shows the
// cover, with the ring and `text`, over its content: the window goes on
// drawing and takes no input until the work is done, then the call returns.
// For reading, decoding and writing large pictures, which take seconds. With
// `showAfterMs`, work done sooner shows no cover at all (a save of a few pages).
void runWithBusyCover(QWidget* window, const QString& text, const std::function<void()>& work, int showAfterMs = 0);
