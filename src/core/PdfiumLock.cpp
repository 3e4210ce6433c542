#include "PdfiumLock.h"

#include "PdfiumApi.h"

#include <mutex>

QMutex& PdfiumLock::mutex() {
  static QMutex m;
  return m;
}

PdfiumLock::PdfiumLock() { mutex().lock(); }

PdfiumLock::~PdfiumLock() { mutex().unlock(); }

void PdfiumLock::ensureInitialised() {
  static std::once_flag once;
  std::call_once(once, [] {
    PdfiumLock lock;
    FPDF_LIBRARY_CONFIG config{};
    config.version = 3;
    FPDF_InitLibraryWithConfig(&config);
  });
}
