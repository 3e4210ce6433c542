#include "FocusedWheel.h"

#include <QEvent>
#include <QWidget>

namespace {

class WheelWhenFocused : public QObject {
 public:
  using QObject::QObject;

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Wheel) {
      auto* control = qobject_cast<QWidget*>(watched);
      if (control && !control->hasFocus()) {
        // Ignored, the wheel is offered to the parent widgets in turn.
        event->ignore();
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

void takeWheelOnlyWhenFocused(QWidget* control) {
  if (!control) return;
  control->setFocusPolicy(Qt::StrongFocus);
  control->installEventFilter(new WheelWhenFocused(control));
}
