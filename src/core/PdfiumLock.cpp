#include "PdfiumLock.h"

#include "PdfiumApi.h"

#include <QtGlobal>

#include <atomic>
#include <mutex>

namespace {

#ifndef NDEBUG
// Which thread is inside pdfium. A lock that stopped excluding other threads
// shows up here on the first overlap, not as a rare crash inside pdfium.
thread_local const char threadMarker = 0;
std::atomic<const char*> lockOwner{nullptr};
#endif

}  // namespace

QMutex& PdfiumLock::mutex() {
  static QMutex m;
  return m;
}

PdfiumLock::PdfiumLock() {
  mutex().lock();
#ifndef NDEBUG
  const char* none = nullptr;
  if (!lockOwner.compare_exchange_strong(none, &threadMarker))
    qFatal("pdfium entered by a second thread while another holds its lock");
#endif
}

PdfiumLock::~PdfiumLock() {
#ifndef NDEBUG
  lockOwner.store(nullptr);
#endif
  mutex().unlock();
}

PdfiumLock::Released::Released() {
  assertHeld();
#ifndef NDEBUG
  lockOwner.store(nullptr);
#endif
  mutex().unlock();
}

PdfiumLock::Released::~Released() {
  mutex().lock();
#ifndef NDEBUG
  lockOwner.store(&threadMarker);
#endif
}

void PdfiumLock::assertHeld() {
#ifndef NDEBUG
  if (lockOwner.load() != &threadMarker) qFatal("pdfium called without holding its lock");
#endif
}

void PdfiumLock::ensureInitialised() {
  static std::once_flag once;
  std::call_once(once, [] {
    PdfiumLock lock;
    FPDF_LIBRARY_CONFIG config{};
    config.version = 3;
    FPDF_InitLibraryWithConfig(&config);
  });
}
