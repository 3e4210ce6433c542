#include "PdfView.h"

#include "BlockEditorFrame.h"

#include <QFutureWatcher>
#include <QResizeEvent>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace {

const QString kDefaultPlaceholder = QStringLiteral("Откройте PDF файл");
constexpr int kSearchHitMargin = 24;

}  // namespace

PdfView::PdfView(QWidget* parent)
    : QAbstractScrollArea(parent),
      emptyPlaceholderText(kDefaultPlaceholder),
      renderCancel(std::make_shared<std::atomic<bool>>(false)) {
  setMouseTracking(true);
  viewport()->setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  verticalScrollBar()->setSingleStep(20);
  horizontalScrollBar()->setSingleStep(20);
  viewport()->unsetCursor();
}

PdfView::~PdfView() {
  // The block editor reports to this view; it must go while the view is whole.
  delete blockEditorFrame;
  blockEditorFrame = nullptr;
  // Jobs capture the document, not the view; still, a view going away must
  // not leave work running on a document its owner is about to delete
  // (and may have deleted, once the jobs are done).
  waitForRenderJobs(false);
  qDeleteAll(renderWatchers);
  renderWatchers.clear();
}

void PdfView::setDocument(PdfDocument* doc) {
  // The previous document may be deleted as soon as this returns.
  waitForRenderJobs();

  searchPage = -1;
  searchRects.clear();
  currentSearchHit = -1;
  highlightPage = -1;
  highlightRects.clear();
  lastRegionPage = -1;
  lastRegionRect = QRectF();
  lastRegionIsRegion = false;

  document = doc;
  currentPage = 0;
  rotation = 0;
  pageRotations.clear();
  invalidateCache();

  zoom = 1.0;
  if (document && document->pageCount() > 0) {
    const double width = document->pageSize(0).width();
    if (width > 0) {
      const double fit = (viewport()->width() - 20) / width;
      zoom = width > 800 ? std::clamp(fit, 0.1, 4.0) : std::clamp(std::min(fit, 1.0), 0.1, 4.0);
    }
  }

  verticalScrollBar()->setValue(0);
  horizontalScrollBar()->setValue(0);
  updateScrollBars();
  viewport()->update();
  emit zoomChanged(zoom);
}

void PdfView::releaseDocument(PdfDocument* doc) {
  if (doc && doc == document)
    setDocument(nullptr);
  else
    waitForRenderJobs();
}

void PdfView::waitForRenderJobs(bool interruptChecks) {
  if (renderWatchers.isEmpty()) return;
  renderCancel->store(true, std::memory_order_release);
  // A job waiting for a page's check gives up too; a job that has not
  // started is run here by the wait and returns at once.
  PdfDocument* interrupted = interruptChecks ? document : nullptr;
  if (interrupted) interrupted->interruptPageChecks(true);
  for (QFutureWatcher<QImage>* watcher : std::as_const(renderWatchers)) watcher->waitForFinished();
  if (interrupted) interrupted->interruptPageChecks(false);
  renderCancel = std::make_shared<std::atomic<bool>>(false);
}

void PdfView::setSearchHighlights(int page, const QList<QRectF>& rects, int current) {
  searchPage = page;
  searchRects = rects;
  if (searchRects.isEmpty()) {
    currentSearchHit = -1;
  } else {
    currentSearchHit = std::clamp(current, 0, int(searchRects.size()) - 1);
    if (document && page >= 0 && page < document->pageCount()) {
      const QRectF hit = pdfRectToScreenRect(page, searchRects.at(currentSearchHit))
                             .adjusted(-kSearchHitMargin, -kSearchHitMargin, kSearchHitMargin, kSearchHitMargin);
      QScrollBar* vertical = verticalScrollBar();
      QScrollBar* horizontal = horizontalScrollBar();
      if (hit.top() < 0)
        vertical->setValue(vertical->value() - int(std::floor(-hit.top())));
      else if (hit.bottom() > viewport()->height())
        vertical->setValue(vertical->value() + int(std::ceil(hit.bottom() - viewport()->height())));
      if (hit.left() < 0)
        horizontal->setValue(horizontal->value() - int(std::floor(-hit.left())));
      else if (hit.right() > viewport()->width())
        horizontal->setValue(horizontal->value() + int(std::ceil(hit.right() - viewport()->width())));
    }
  }
  viewport()->update();
}

void PdfView::clearSearchHighlights() {
  if (searchPage == -1 && searchRects.isEmpty()) return;
  searchPage = -1;
  searchRects.clear();
  currentSearchHit = -1;
  viewport()->update();
}

void PdfView::setCanvasTheme(bool dark) {
  if (darkCanvas == dark) return;
  darkCanvas = dark;
  viewport()->update();
}

void PdfView::setOcrDebugLabelsVisible(bool visible) {
  if (ocrDebugLabelsVisible == visible) return;
  ocrDebugLabelsVisible = visible;
  viewport()->update();
}

void PdfView::setEmptyPlaceholderText(const QString& text) {
  emptyPlaceholderText = text.isEmpty() ? kDefaultPlaceholder : text;
  if (pageCountOrZero() == 0) viewport()->update();
}

void PdfView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  updateScrollBars();
  updateCurrentPageFromViewport();
  repositionBlockEditor();
}

void PdfView::scrollContentsBy(int, int) {
  viewport()->update();
  updateCurrentPageFromViewport();
  // The editor follows its block; a scroll by the user is not undone.
  placeBlockEditor(false);
}
