// The window's one search: the hits of the last query over the whole active
// document, stepped through with wrap-around and shown by the page view.
#include "MainWindow.h"

#include "view/PdfView.h"

#include <QLabel>
#include <QScopeGuard>
#include <QStringList>

#include <algorithm>

namespace {

QString searchSignatureFor(const QString& query, const PdfDocument::FindOptions& options) {
  const QChar separator(0x1F);
  return query + separator + (options.regularExpression ? QStringLiteral("regex") : QStringLiteral("plain")) +
         separator + (options.wholeWord ? QStringLiteral("word") : QStringLiteral("any")) + separator +
         (options.caseSensitive ? QStringLiteral("case") : QStringLiteral("nocase"));
}

}  // namespace

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
    rebuildSearchResults(query, options);
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
  searchResults.clear();
  searchSkippedPages.clear();
  currentSearchIndex = -1;
  searchSignature = searchSignatureFor(query, options);
  if (!currentDocument->isOpen() || query.isEmpty()) return 0;
  const int pages = currentDocument->pageCount();
  for (int page = 0; page < pages; ++page) {
    const qsizetype hits = currentDocument->findTextWithOptions(page, query, options).size();
    for (int j = 0; j < hits; ++j) searchResults.append({page, j});
    if (currentDocument->isPageRefused(page)) searchSkippedPages.append(page);
  }
  return int(searchResults.size());
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
