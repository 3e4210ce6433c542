#pragma once
// Holds a document's mutex and then the pdfium lock, in that order, for the
// whole of a document operation.

#include "PdfiumLock.h"

#include <QMutex>
#include <optional>

class DocumentLock {
public:
  explicit DocumentLock(QMutex& documentMutex) : documentMutex(documentMutex) {
    documentMutex.lock();
    pdfium.emplace();
  }
  ~DocumentLock() {
    pdfium.reset();
    if (held) documentMutex.unlock();
  }
  DocumentLock(const DocumentLock&) = delete;
  DocumentLock& operator=(const DocumentLock&) = delete;

  // For an operation that must call another locking operation in between.
  void unlock() {
    pdfium.reset();
    documentMutex.unlock();
    held = false;
  }
  void relock() {
    documentMutex.lock();
    held = true;
    pdfium.emplace();
  }

private:
  QMutex& documentMutex;
  std::optional<PdfiumLock> pdfium;
  bool held = true;
};
