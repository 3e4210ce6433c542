#include "BusyRing.h"

#include "DialogHelpers.h"

#include <QEventLoop>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPen>
#include <QThread>
#include <QVBoxLayout>

#include <memory>

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

BusyOverlay buildBusyOverlay(QWidget* parent, const QString& objectName, int alpha, const QString& text) {
  BusyOverlay overlay;
  overlay.frame = new QFrame(parent);
  overlay.frame->setObjectName(objectName);
  overlay.frame->setStyleSheet(
      QStringLiteral("QFrame#%1 {background: rgba(248, 250, 252, %2);border-radius: 14px;}").arg(objectName).arg(alpha));
  auto* layout = new QVBoxLayout(overlay.frame);
  layout->setContentsMargins(24, 24, 24, 24);
  layout->setSpacing(12);
  layout->addStretch(1);
  overlay.ring = new BusyRing(overlay.frame);
  layout->addWidget(overlay.ring, 0, Qt::AlignCenter);
  overlay.text = label(text, QStringLiteral("DialogTitle"));
  overlay.text->setAlignment(Qt::AlignCenter);
  overlay.text->setWordWrap(true);
  layout->addWidget(overlay.text);
  layout->addStretch(1);
  overlay.frame->hide();
  return overlay;
}

void runWithBusyCover(QWidget* window, const QString& text, const std::function<void()>& work, int showAfterMs) {
  const std::unique_ptr<QThread> thread(QThread::create(work));
  QEventLoop loop;
  QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
  BusyOverlay cover;
  if (window) {
    cover = buildBusyOverlay(window, QStringLiteral("PictureBusyOverlay"), 214, text);
    const auto show = [window, cover] {
      cover.frame->setGeometry(window->rect());
      cover.frame->show();
      cover.frame->raise();
      cover.ring->start(45);
    };
    if (showAfterMs > 0)
      QTimer::singleShot(showAfterMs, cover.frame, show);
    else
      show();
  }
  thread->start();
  // A finish before the loop runs is queued to it all the same.
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  thread->wait();
  delete cover.frame;
}
