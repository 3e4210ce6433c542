#pragma once
// Shared by the view tests: waiting for background work and reading pixels.

#include <QCoreApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QImage>
#include <QThread>

#include <cstdlib>
#include <functional>

namespace viewtest {

// Lets events through until the condition holds; false when it never did.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 20000) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return true;
}

inline bool near(const QColor& a, const QColor& b, int tolerance) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

inline QColor pixelAt(const QImage& image, int x, int y) { return QColor(image.pixel(x, y)); }

// Whether every render job the object started has returned (its completion
// may still be queued).
inline bool allRenderJobsReturned(const QObject* owner) {
  for (const auto* watcher : owner->findChildren<QFutureWatcher<QImage>*>())
    if (!watcher->future().isFinished()) return false;
  return true;
}

}  // namespace viewtest
