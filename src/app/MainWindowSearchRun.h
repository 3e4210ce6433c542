#pragma once
// One whole-document search under way, shared by the window and its worker
// (and read by the tests to see how far a stopped search went).
#include "MainWindow.h"

#include <QElapsedTimer>
#include <QFuture>

#include <atomic>

// The worker reads only the document, page by page under its lock, and looks
// at `stop` between pages; the document is not let go before it has ended.
struct MainWindow::SearchRun {
  const PdfDocument* document = nullptr;
  QString query;
  PdfDocument::FindOptions options;
  int pages = 0;
  // Read from this page on, in this direction, round the document.
  int startPage = 0;
  bool backwards = false;
  std::atomic<bool> stop{false};
  std::atomic<int> pagesDone{0};
  QList<int> skipped;  // pages refused as unreadable; read once the run ends
  QFuture<QList<SearchResult>> future;
  QElapsedTimer clock;
  // The window's own: what "Найти далее" asked for, and the hit it showed
  // before the count ended.
  bool jump = false;
  bool wrap = true;
  int shownPage = -1;
  int shownHit = -1;
};
