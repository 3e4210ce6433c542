// The window's one search: the hits of the last query over the whole active
// document, stepped through with wrap-around and shown by the page view.
// Searching every page of a long document takes seconds, so it runs on a
// worker thread while the window goes on answering, with a busy ring over
// the view; Escape stops it.
#include "MainWindow.h"

#include "ui/BusyRing.h"
#include "view/PdfView.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFrame>
#include <QFuture>
#include <QFutureWatcher>
#include <QKeyEvent>
#include <QLabel>
#include <QScopeGuard>
#include <QStringList>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>

namespace {

QString searchSignatureFor(const QString& query, const PdfDocument::FindOptions& options) {
  const QChar separator(0x1F);
  return query + separator + (options.regularExpression ? QStringLiteral("regex") : QStringLiteral("plain")) +
         separator + (options.wholeWord ? QStringLiteral("word") : QStringLiteral("any")) + separator +
         (options.caseSensitive ? QStringLiteral("case") : QStringLiteral("nocase"));
}

// A search shorter than this shows no ring: it would only flicker.
constexpr int kBusyRingDelayMs = 150;

}  // namespace

// The worker reads only the document, page by page under its lock, and looks
// at `stop` between pages; the document is not let go before it has ended.
struct MainWindow::SearchRun {
  const PdfDocument* document = nullptr;
  QString query;
  int pages = 0;
  std::atomic<bool> stop{false};
  std::atomic<int> pagesDone{0};
  QList<int> skipped;  // pages refused as unreadable; read once the run ends
  QFuture<QList<SearchResult>> future;
};

void MainWindow::stopSearchRun(const PdfDocument* reading) {
  if (!searchRun || (reading && searchRun->document != reading)) return;
  const std::shared_ptr<SearchRun> run = searchRun;
  run->stop = true;
  run->future.waitForFinished();
}

void MainWindow::onFindNext(const QString& query, bool caseSensitive, bool wholeWord, bool useRegex,
                            bool backwards, bool wrap) {
  if (!currentDocument->isOpen() || query.isEmpty()) return;
  // Whatever the search ends with, the pages it could not read are named.
  const auto noteSkipped = qScopeGuard([this] {
    if (searchSkippedPages.isEmpty()) return;
    QStringList numbers;
    for (int page : searchSkippedPages) numbers.append(QString::number(page + 1));
    statusLabel->setText(statusLabel->text() + tr(" · не просмотрены страницы: %1").arg(numbers.join(QStringLiteral(", "))));
  });
  lastSearchQuery = query;
  PdfDocument::FindOptions options;
  options.caseSensitive = caseSensitive;
  options.wholeWord = wholeWord;
  options.regularExpression = useRegex;
  const int count = int(searchResults.size());
  int next = -1;
  bool fromPage = false;
  if (searchSignatureFor(query, options) == searchSignature && count > 0) {
    // A reader who has gone to another page since the last hit searches on
    // from the page shown, not from the hit left behind.
    if (currentSearchIndex < 0 || currentSearchIndex >= count ||
        searchResults[currentSearchIndex].page != view->currentPageIndex()) {
      next = firstSearchResultFromPage(view->currentPageIndex(), backwards);
      fromPage = true;
    } else if (backwards) {
      next = currentSearchIndex == 0 ? (wrap ? count - 1 : -2) : currentSearchIndex - 1;
    } else {
      next = currentSearchIndex + 1 == count ? (wrap ? 0 : -2) : currentSearchIndex + 1;
    }
  } else {
    // Stopped: whoever stopped it has said so, or a newer search answers.
    if (rebuildSearchResults(query, options) < 0) return;
    next = firstSearchResultFromPage(view->currentPageIndex(), backwards);
    fromPage = true;
  }
  // Hits only behind the page shown: without wrapping they are not reached.
  if (!wrap && fromPage && next >= 0) {
    const int page = searchResults[next].page;
    if (backwards ? page > view->currentPageIndex() : page < view->currentPageIndex()) next = -2;
  }
  if (next == -2) {
    // The hit shown stays; the user is told the search ran out.
    statusLabel->setText(backwards ? tr("«%1» — достигнуто начало документа").arg(query)
                                   : tr("«%1» — достигнут конец документа").arg(query));
    return;
  }
  currentSearchIndex = next;
  if (next < 0) {
    view->clearSearchHighlights();
    searchResults.clear();
    searchSignature.clear();
    currentSearchIndex = -1;
    statusLabel->setText(tr("«%1» — не найдено").arg(query));
    return;
  }
  activateSearchResult(next, query, options);
}

int MainWindow::rebuildSearchResults(const QString& query, const PdfDocument::FindOptions& options) {
  stopSearchRun();  // a newer search replaces one under way
  searchResults.clear();
  searchSkippedPages.clear();
  currentSearchIndex = -1;
  searchSignature.clear();
  if (!currentDocument->isOpen() || query.isEmpty()) {
    searchSignature = searchSignatureFor(query, options);
    return 0;
  }
  auto run = std::make_shared<SearchRun>();
  run->document = currentDocument;
  run->query = query;
  run->pages = currentDocument->pageCount();
  run->future = QtConcurrent::run([run, query, options] {
    QList<SearchResult> found;
    for (int page = 0; page < run->pages && !run->stop; ++page) {
      const qsizetype hits = run->document->findTextWithOptions(page, query, options).size();
      for (int j = 0; j < hits; ++j) found.append({page, j});
      if (run->document->isPageRefused(page)) run->skipped.append(page);
      run->pagesDone = page + 1;
    }
    return found;
  });
  searchRun = run;

  if (!searchBusyFrame) {
    const BusyOverlay overlay = buildBusyOverlay(view, QStringLiteral("SearchBusyOverlay"), 230, QString());
    searchBusyFrame = overlay.frame;
    searchBusyRing = overlay.ring;
    searchBusyText = overlay.text;
    searchBusyFrame->setFixedSize(340, 170);
    // The cover is light in every theme; so is its text dark.
    searchBusyText->setStyleSheet(QStringLiteral("color: rgb(15, 23, 42); font-size: 14px;"));
  }
  QElapsedTimer clock;
  clock.start();
  QTimer progress;
  progress.setInterval(100);
  connect(&progress, &QTimer::timeout, this, [this, run, query, &clock] {
    if (searchRun != run || clock.elapsed() < kBusyRingDelayMs) return;
    searchBusyText->setText(tr("Поиск «%1»: страница %2 из %3").arg(query).arg(run->pagesDone.load()).arg(run->pages) +
                            QLatin1Char('\n') + tr("Esc — остановить"));
    if (searchBusyFrame->isVisible()) return;
    searchBusyFrame->move(std::max(0, view->width() - searchBusyFrame->width() - 24), 24);
    searchBusyFrame->show();
    searchBusyFrame->raise();
    searchBusyRing->start(45);
  });
  progress.start();
  QFutureWatcher<QList<SearchResult>> watcher;
  QEventLoop loop;
  connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
  watcher.setFuture(run->future);
  if (!run->future.isFinished()) loop.exec();
  progress.stop();
  // A newer search, begun while this one waited, owns the ring and the hits.
  if (searchRun != run) return -1;
  searchRun.reset();
  searchBusyRing->stop();
  searchBusyFrame->hide();
  if (run->stop) return -1;
  searchResults = run->future.result();
  searchSkippedPages = run->skipped;
  searchSignature = searchSignatureFor(query, options);
  return int(searchResults.size());
}

bool MainWindow::stopSearchOnEscape(QEvent* event) {
  if (!searchRun || (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress) ||
      static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape)
    return false;
  // Taken before any shortcut or dialog sees it: the search dialog would
  // close, the markup tool would be dropped.
  event->accept();
  if (event->type() == QEvent::KeyPress) {
    const QString query = searchRun->query;
    stopSearchRun();
    statusLabel->setText(tr("«%1» — поиск остановлен").arg(query));
  }
  return true;
}

int MainWindow::firstSearchResultFromPage(int page, bool backwards) const {
  const int count = int(searchResults.size());
  if (count == 0) return -1;
  if (backwards) {
    for (int i = count - 1; i >= 0; --i)
      if (searchResults[i].page <= page) return i;
    return count - 1;
  }
  for (int i = 0; i < count; ++i)
    if (searchResults[i].page >= page) return i;
  return 0;
}

void MainWindow::activateSearchResult(int index, const QString& query, const PdfDocument::FindOptions& options) {
  if (!currentDocument->isOpen() || index < 0 || index >= int(searchResults.size())) {
    view->clearSearchHighlights();
    return;
  }
  const SearchResult hit = searchResults[index];
  const QList<QRectF> rects = currentDocument->findTextWithOptions(hit.page, query, options);
  if (rects.isEmpty()) {
    view->clearSearchHighlights();
    return;
  }
  const int current = std::clamp(hit.index, 0, int(rects.size()) - 1);
  int onPage = 0;
  for (int i = 0; i <= index; ++i)
    if (searchResults[i].page == hit.page) ++onPage;
  currentSearchIndex = index;
  view->setCurrentPage(hit.page);
  view->setSearchHighlights(hit.page, rects, current);
  statusLabel->setText(tr("«%1» — стр. %2 (%3/%4), всего %5")
                           .arg(query, QString::number(hit.page + 1), QString::number(onPage),
                                QString::number(rects.size()), QString::number(searchResults.size())));
}
