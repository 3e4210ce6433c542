#pragma once
// pdfium keeps global state and is not thread-safe even across documents, so
// every call into it in the whole process happens under one lock. Order: a
// document's mutex first, then this lock; nothing takes them the other way.

#include <QMutex>

class PdfiumLock {
public:
  PdfiumLock();
  ~PdfiumLock();
  PdfiumLock(const PdfiumLock&) = delete;
  PdfiumLock& operator=(const PdfiumLock&) = delete;

  // Initialises the library once per process (takes the lock itself).
  static void ensureInitialised();

  // Debug builds stop the program when the calling thread does not hold the
  // lock; release builds check nothing.
  static void assertHeld();

  // Lets other threads into pdfium while the thread that holds the lock
  // waits on something else (a page check worker), and takes it back after.
  class Released {
  public:
    Released();
    ~Released();
    Released(const Released&) = delete;
    Released& operator=(const Released&) = delete;
  };

private:
  static QMutex& mutex();
};
