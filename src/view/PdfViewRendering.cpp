#include "PdfView.h"

#include <QFutureWatcher>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>

namespace {

constexpr size_t kMaxCachedImages = 10;
// At high zoom one page image takes a hundred megabytes and more: the cache
// keeps what a few such pages take, however many pages that is.
constexpr qint64 kMaxCachedBytes = 384LL << 20;
constexpr int kMaxJobsInFlight = 3;

}  // namespace

const QImage& PdfView::cachedPageLayer(int page, PdfRenderLayer layer, bool transparent) {
  const int r = effectiveRotation(page);
  for (PageCache& entry : pageCache) {
    if (entry.page == page && std::abs(entry.zoom - zoom) < 1e-6 && entry.rotation == r && entry.layer == layer &&
        entry.transparent == transparent) {
      entry.paintedIn = paints;
      return entry.image;
    }
  }
  requestPageRender(page, zoom, r, layer, transparent);
  return noImage;
}

const QImage& PdfView::cachedPage(int page) { return cachedPageLayer(page, PdfRenderLayer::Full, false); }

QString PdfView::pageRenderKey(int page, double renderZoom, int renderRotation, PdfRenderLayer layer,
                               bool transparent) const {
  return QStringLiteral("%1:%2:%3:%4:%5:%6")
      .arg(renderGeneration)
      .arg(page)
      .arg(renderZoom, 0, 'f', 4)
      .arg(renderRotation)
      .arg(int(layer))
      .arg(transparent ? 1 : 0);
}

void PdfView::requestPageRender(int page, double renderZoom, int renderRotation, PdfRenderLayer layer,
                                bool transparent) {
  if (page < 0 || !document || page >= document->pageCount()) return;
  const QString key = pageRenderKey(page, renderZoom, renderRotation, layer, transparent);
  if (pendingRenderKeys.contains(key)) return;
  // Dropped, not queued: the repaint after every finished job asks again.
  if (rendersInFlight >= kMaxJobsInFlight) return;

  pendingRenderKeys.insert(key);
  ++rendersInFlight;
  const int generation = renderGeneration;

  auto* watcher = new QFutureWatcher<QImage>(this);
  renderWatchers.append(watcher);
  connect(watcher, &QFutureWatcherBase::finished, this,
          [this, watcher, key, page, renderZoom, renderRotation, layer, transparent, generation] {
            onRenderFinished(watcher, key, page, renderZoom, renderRotation, layer, transparent, generation);
          });
  PdfDocument* doc = document;
  const std::shared_ptr<std::atomic<bool>> cancelled = renderCancel;
  watcher->setFuture(QtConcurrent::run(QThreadPool::globalInstance(), [=]() -> QImage {
    if (!doc || cancelled->load(std::memory_order_acquire)) return QImage();
    return doc->renderPageLayer(page, renderZoom, renderRotation, layer, transparent);
  }));
}

void PdfView::onRenderFinished(QFutureWatcher<QImage>* watcher, const QString& key, int page, double renderZoom,
                               int renderRotation, PdfRenderLayer layer, bool transparent, int generation) {
  pendingRenderKeys.remove(key);
  rendersInFlight = std::max(0, rendersInFlight - 1);
  renderWatchers.removeOne(watcher);
  const QImage image = watcher->result();
  watcher->deleteLater();

  if (generation == renderGeneration && !image.isNull()) {
    qint64 bytes = image.sizeInBytes();
    for (const PageCache& entry : pageCache) bytes += entry.image.sizeInBytes();
    // The longest unseen image goes first; what the last paint drew stays,
    // or the pages in view would be drawn again and again.
    while (pageCache.size() >= kMaxCachedImages || bytes > kMaxCachedBytes) {
      const auto oldest = std::min_element(pageCache.begin(), pageCache.end(), [](const PageCache& a, const PageCache& b) {
        return a.paintedIn < b.paintedIn;
      });
      if (oldest == pageCache.end() || (paints > 0 && oldest->paintedIn >= paints)) break;
      bytes -= oldest->image.sizeInBytes();
      pageCache.erase(oldest);
    }
    pageCache.push_back(PageCache{page, renderZoom, renderRotation, layer, transparent, image, paints});
  }
  viewport()->update();
}

void PdfView::invalidateCache() {
  ++renderGeneration;
  pendingRenderKeys.clear();
  pageCache.clear();
  checkWaitSince.clear();
  // Zoom, rotation and document changes all move the pages.
  invalidateLayout();
}

void PdfView::releaseUnseenPages() {
  std::erase_if(pageCache, [this](const PageCache& entry) { return entry.paintedIn < paints; });
}

void PdfView::invalidatePageCache() {
  invalidateCache();
  invalidateSelectableTextCache();
  // Pages may have been added or removed: the scroll range must reach them.
  updateScrollBars();
  viewport()->update();
}
