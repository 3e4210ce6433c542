// The window's one search: the hits of the last query over the whole active
// document, stepped through with wrap-around and shown by the page view.
// Searching every page of a long document takes seconds, so it runs on a
// worker thread while the window goes on answering, with a busy ring over
// the view; the first hit is shown as soon as it is met; Escape stops it.
#include "MainWindow.h"
#include "MainWindowSearchRun.h"

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
#include <vector>

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

void MainWindow::stopSearchRun(const PdfDocument* reading) {
  if (!searchRun || (reading && searchRun->document != reading)) return;
  const std::shared_ptr<SearchRun> run = searchRun;
  run->stop = true;
  // Only the page being read is waited for, and not its check, which may
  // take seconds: the wait for it gives up (the check goes on in its worker
  // for whoever asks next).
  run->document->interruptPageChecks(true);
  run->future.waitForFinished();
  run->document->interruptPageChecks(false);
  endSearchRun(run);
}

std::shared_ptr<MainWindow::SearchRun> MainWindow::startSearchRun(const QString& query,
                                                                  const PdfDocument::FindOptions& options,
                                                                  int startPage, bool backwards, bool jump,
                                                                  bool wrap) {
  auto run = std::make_shared<SearchRun>();
  run->document = currentDocument;
  run->query = query;
  run->options = options;
  run->pages = currentDocument->pageCount();
  run->startPage = std::clamp(startPage, 0, std::max(run->pages - 1, 0));
  run->backwards = backwards;
  run->jump = jump;
  run->wrap = wrap;
  run->clock.start();
  run->future = QtConcurrent::run([this, run] {
    std::vector<qsizetype> hits(size_t(run->pages), 0);
    bool told = !run->jump;
    for (int step = 0; step < run->pages && !run->stop; ++step) {
      const int page = run->backwards ? (run->startPage - step + run->pages) % run->pages
                                      : (run->startPage + step) % run->pages;
      const QList<QRectF> rects = run->document->findTextWithOptions(page, run->query, run->options);
      hits[size_t(page)] = rects.size();
      if (run->document->isPageRefused(page)) run->skipped.append(page);
      run->pagesDone = step + 1;
      if (!told && !rects.isEmpty()) {
        told = true;
        QMetaObject::invokeMethod(this, [this, run, page, rects] { showFirstSearchHit(run, page, rects); },
                                  Qt::QueuedConnection);
      }
    }
    std::sort(run->skipped.begin(), run->skipped.end());
    QList<SearchResult> found;
    for (int page = 0; page < run->pages; ++page)
      for (int j = 0; j < hits[size_t(page)]; ++j) found.append({page, j});
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
    searchProgress = new QTimer(this);
    searchProgress->setInterval(100);
    connect(searchProgress, &QTimer::timeout, this, [this] {
      const std::shared_ptr<SearchRun> shown = searchRun;
      if (!shown || shown->clock.elapsed() < kBusyRingDelayMs) return;
      searchBusyText->setText(tr("Поиск «%1»: страница %2 из %3")
                                  .arg(shown->query)
                                  .arg(shown->pagesDone.load())
                                  .arg(shown->pages) +
                              QLatin1Char('\n') + tr("Esc — остановить"));
      if (searchBusyFrame->isVisible()) return;
      searchBusyFrame->move(std::max(0, view->width() - searchBusyFrame->width() - 24), 24);
      searchBusyFrame->show();
      searchBusyFrame->raise();
      searchBusyRing->start(45);
    });
  }
  searchProgress->start();
  if (jump) {
    auto* watcher = new QFutureWatcher<QList<SearchResult>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, run, watcher] {
      watcher->deleteLater();
      finishFindRun(run);
    });
    watcher->setFuture(run->future);
  }
  return run;
}

bool MainWindow::waitForSearchRun(const std::shared_ptr<SearchRun>& run) {
  QFutureWatcher<QList<SearchResult>> watcher;
  QEventLoop loop;
  connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
  watcher.setFuture(run->future);
  if (!run->future.isFinished()) loop.exec();
  if (run->jump) finishFindRun(run);
  return !run->stop;
}

bool MainWindow::endSearchRun(const std::shared_ptr<SearchRun>& run) {
  // A newer search, begun meanwhile, owns the ring and the hits.
  if (searchRun != run) return false;
  searchRun.reset();
  searchProgress->stop();
  searchBusyRing->stop();
  searchBusyFrame->hide();
  if (run->stop) return false;
  searchResults = run->future.result();
  searchSkippedPages = run->skipped;
  searchSignature = searchSignatureFor(run->query, run->options);
  return true;
}

void MainWindow::onFindNext(const QString& query, bool caseSensitive, bool wholeWord, bool useRegex,
                            bool backwards, bool wrap) {
  if (!currentDocument->isOpen() || query.isEmpty()) return;
  lastSearchQuery = query;
  PdfDocument::FindOptions options;
  options.caseSensitive = caseSensitive;
  options.wholeWord = wholeWord;
  options.regularExpression = useRegex;
  const QString signature = searchSignatureFor(query, options);
  // Asked again while the first still counts: the next hit is known once
  // the count has ended (stopped, whoever stopped it has said so).
  if (searchRun && searchRun->jump && searchSignatureFor(searchRun->query, searchRun->options) == signature &&
      !waitForSearchRun(searchRun))
    return;
  const int count = int(searchResults.size());
  int next = -1;
  if (signature == searchSignature && count > 0) {
    // A reader who has gone to another page since the last hit searches on
    // from the page shown, not from the hit left behind.
    if (currentSearchIndex < 0 || currentSearchIndex >= count ||
        searchResults[currentSearchIndex].page != view->currentPageIndex()) {
      goToSearchHit(firstSearchResultFromPage(view->currentPageIndex(), backwards), true, query, options, backwards,
                    wrap);
      return;
    }
    if (backwards)
      next = currentSearchIndex == 0 ? (wrap ? count - 1 : -2) : currentSearchIndex - 1;
    else
      next = currentSearchIndex + 1 == count ? (wrap ? 0 : -2) : currentSearchIndex + 1;
    goToSearchHit(next, false, query, options, backwards, wrap);
    return;
  }
  // A new search shows its first hit from the page shown as soon as it is
  // met; the rest are counted behind.
  stopSearchRun();
  searchResults.clear();
  searchSkippedPages.clear();
  currentSearchIndex = -1;
  searchSignature.clear();
  startSearchRun(query, options, view->currentPageIndex(), backwards, true, wrap);
}

void MainWindow::showFirstSearchHit(const std::shared_ptr<SearchRun>& run, int page, const QList<QRectF>& rects) {
  if (searchRun != run || run->stop || currentDocument != run->document) return;
  // Without wrapping, a hit behind the page shown is not reached; the count's
  // end says so.
  if (!run->wrap && (run->backwards ? page > run->startPage : page < run->startPage)) return;
  run->shownPage = page;
  run->shownHit = run->backwards ? int(rects.size()) - 1 : 0;
  view->setCurrentPage(page);
  view->setSearchHighlights(page, rects, run->shownHit);
  statusLabel->setText(tr("«%1» — стр. %2 (%3/%4), остальные совпадения ещё считаются…")
                           .arg(run->query, QString::number(page + 1), QString::number(run->shownHit + 1),
                                QString::number(rects.size())));
}

void MainWindow::finishFindRun(const std::shared_ptr<SearchRun>& run) {
  if (!endSearchRun(run)) return;
  if (run->shownPage < 0) {
    goToSearchHit(firstSearchResultFromPage(run->startPage, run->backwards), true, run->query, run->options,
                  run->backwards, run->wrap);
    return;
  }
  for (int i = 0; i < int(searchResults.size()); ++i)
    if (searchResults[i].page == run->shownPage && searchResults[i].index == run->shownHit) currentSearchIndex = i;
  // The reader may have gone on meanwhile; the hit still shown gets its count.
  if (view->searchHitPage() == run->shownPage && view->currentSearchHitIndex() == run->shownHit)
    statusLabel->setText(searchHitStatus(currentSearchIndex, run->query));
  noteSkippedSearchPages();
}

void MainWindow::goToSearchHit(int next, bool fromPage, const QString& query,
                               const PdfDocument::FindOptions& options, bool backwards, bool wrap) {
  // Whatever the search ends with, the pages it could not read are named.
  const auto noteSkipped = qScopeGuard([this] { noteSkippedSearchPages(); });
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

QString MainWindow::searchHitStatus(int index, const QString& query) const {
  const int page = searchResults.value(index).page;
  int onPage = 0, pageHits = 0;
  for (int i = 0; i < int(searchResults.size()); ++i) {
    if (searchResults[i].page != page) continue;
    ++pageHits;
    if (i <= index) ++onPage;
  }
  return tr("«%1» — стр. %2 (%3/%4), всего %5")
      .arg(query, QString::number(page + 1), QString::number(onPage), QString::number(pageHits),
           QString::number(searchResults.size()));
}

void MainWindow::noteSkippedSearchPages() {
  if (searchSkippedPages.isEmpty()) return;
  QStringList numbers;
  for (int page : searchSkippedPages) numbers.append(QString::number(page + 1));
  statusLabel->setText(statusLabel->text() +
                       tr(" · не просмотрены страницы: %1").arg(numbers.join(QStringLiteral(", "))));
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
  const std::shared_ptr<SearchRun> run = startSearchRun(query, options, 0, false, false, true);
  waitForSearchRun(run);
  if (!endSearchRun(run)) return -1;
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
