#include "PdfView.h"

#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr int kMargin = 10;  // above the first page, between pages and at the left
constexpr double kMinZoom = 0.1;
constexpr double kMaxZoom = 8.0;
constexpr double kZoomStep = 1.25;

int clampToInt(qint64 value) { return int(std::clamp<qint64>(value, INT_MIN, INT_MAX)); }

int normalisedDegrees(int degrees) { return ((degrees % 360) + 360) % 360; }

}  // namespace

int PdfView::pageCountOrZero() const { return document ? document->pageCount() : 0; }

bool PdfView::isValidPage(int page) const { return document && page >= 0 && page < document->pageCount(); }

int PdfView::effectiveRotation(int page) const { return normalisedDegrees(rotation + pageRotations.value(page, 0)); }

void PdfView::invalidateLayout() { pageLayout.valid = false; }

const PdfView::Layout& PdfView::layout() const {
  const int count = pageCountOrZero();
  if (pageLayout.valid && pageLayout.doc == document && pageLayout.pageCount == count) return pageLayout;

  Layout& l = pageLayout;
  l.doc = document;
  l.pageCount = count;
  l.screenSizes.resize(size_t(count));
  l.tops.resize(size_t(count) + 1);
  l.maxWidth = 0;
  qint64 y = kMargin;
  for (int page = 0; page < count; ++page) {
    QSizeF points = document->pageSize(page);
    if (!(points.width() > 0) || !(points.height() > 0)) points = QSizeF(0, 0);
    QSize pixels(int(points.width() * zoom), int(points.height() * zoom));
    if (effectiveRotation(page) % 180 != 0) pixels.transpose();
    l.screenSizes[size_t(page)] = pixels;
    l.tops[size_t(page)] = y;
    y += pixels.height() + kMargin;
    l.maxWidth = std::max(l.maxWidth, pixels.width());
  }
  l.tops[size_t(count)] = y;
  l.valid = true;
  return l;
}

QSize PdfView::pageScreenSize(int page) const {
  const Layout& l = layout();
  if (page < 0 || page >= l.pageCount) return QSize(0, 0);
  return l.screenSizes[size_t(page)];
}

qint64 PdfView::pageContentTop(int page) const {
  if (viewMode == ViewMode::SinglePage) return kMargin;
  const Layout& l = layout();
  if (page < 0 || page >= l.pageCount) return kMargin;
  return l.tops[size_t(page)];
}

std::pair<int, int> PdfView::pagesInContentRows(qint64 top, qint64 bottom) const {
  const Layout& l = layout();
  if (l.pageCount == 0) return {0, -1};
  // The bottom edge of page i is tops[i + 1] - kMargin, which grows with i.
  const auto firstBottom = std::lower_bound(l.tops.begin() + 1, l.tops.end(), top + kMargin);
  const int first = int(firstBottom - (l.tops.begin() + 1));
  const auto pastLast = std::upper_bound(l.tops.begin(), l.tops.begin() + l.pageCount, bottom);
  const int last = int(pastLast - l.tops.begin()) - 1;
  return {first, last};
}

QPoint PdfView::pageOffset(int page) const {
  if (!document) return QPoint(0, 0);
  const int free = viewport()->width() - pageScreenSize(page).width();
  const int x = free > 19 ? free / 2 : kMargin;
  return QPoint(x, clampToInt(pageContentTop(page)));
}

QTransform PdfView::pageTopToViewport(int page) const {
  const QSizeF points = document ? document->pageSize(page) : QSizeF();
  const double w = std::max(0.0, points.width());
  const double h = std::max(0.0, points.height());
  const QPoint offset = pageOffset(page);
  const double dx = offset.x() - horizontalScrollBar()->value();
  const double dy = offset.y() - verticalScrollBar()->value();
  const double z = zoom;
  // Clockwise quarter turns, the direction the renders use.
  switch (effectiveRotation(page)) {
    case 90: return QTransform(0, z, -z, 0, dx + h * z, dy);
    case 180: return QTransform(-z, 0, 0, -z, dx + w * z, dy + h * z);
    case 270: return QTransform(0, -z, z, 0, dx, dy + w * z);
    default: return QTransform(z, 0, 0, z, dx, dy);
  }
}

QRectF PdfView::pdfRectToScreenRect(int page, const QRectF& rect) const {
  if (page < 0 || !document) return QRectF();
  const double height = document->pageSize(page).height();
  const QRectF topRect(rect.x(), height - rect.y() - rect.height(), rect.width(), rect.height());
  return pageTopToViewport(page).mapRect(topRect);
}

QRectF PdfView::screenContentRectToPdf(const QRect& rect) const {
  if (ocrBlocksPage < 0 || !document) return QRectF();
  const QRectF top = pageTopToViewport(ocrBlocksPage).inverted().mapRect(QRectF(rect));
  const double height = document->pageSize(ocrBlocksPage).height();
  return QRectF(top.x(), height - top.y() - top.height(), top.width(), top.height());
}

QRectF PdfView::viewToPage(int page, const QPoint& viewportPoint) const {
  const QPointF point = pageTopToViewport(page).inverted().map(QPointF(viewportPoint));
  return QRectF(point, QSizeF(0, 0));
}

QPoint PdfView::viewportPointForPageTopPoint(int page, const QPointF& pagePoint) const {
  if (!isValidPage(page)) return QPoint(0, 0);
  const QPointF p = pageTopToViewport(page).map(pagePoint);
  return QPoint(int(std::lround(p.x())), int(std::lround(p.y())));
}

QRect PdfView::viewportRectForPageTopRect(int page, const QRectF& pageRect) const {
  if (!(pageRect.width() > 0) || !(pageRect.height() > 0)) return QRect();
  const QPoint a = viewportPointForPageTopPoint(page, pageRect.topLeft());
  const QPoint b = viewportPointForPageTopPoint(page, pageRect.bottomRight());
  // Spelled out: QRect::normalized() would shrink a rectangle turned by the view.
  return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
               QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
}

int PdfView::pageAtPoint(const QPoint& viewportPoint) const {
  if (!document) return -1;
  if (viewMode == ViewMode::SinglePage) return currentPage;
  const qint64 y = qint64(verticalScrollBar()->value()) + viewportPoint.y();
  const int x = horizontalScrollBar()->value() + viewportPoint.x();
  const auto [first, last] = pagesInContentRows(y, y);
  for (int page = first; page <= last; ++page) {
    const QSize size = pageScreenSize(page);
    const qint64 top = pageContentTop(page);
    const int left = pageOffset(page).x();
    if (x >= left && x < left + size.width() && y >= top && y < top + size.height()) return page;
  }
  return -1;
}

int PdfView::dominantVisiblePage() const {
  const int count = pageCountOrZero();
  if (count == 0) return -1;
  if (viewMode == ViewMode::SinglePage) return currentPage;
  const qint64 scrollY = verticalScrollBar()->value();
  const qint64 scrollX = horizontalScrollBar()->value();
  const qint64 visibleBottom = scrollY + viewport()->height();
  const qint64 visibleRight = scrollX + viewport()->width();
  const auto [first, last] = pagesInContentRows(scrollY, visibleBottom);
  int best = -1;
  qint64 bestArea = 0;
  for (int page = first; page <= last; ++page) {
    const QSize size = pageScreenSize(page).expandedTo(QSize(1, 1));
    const qint64 top = pageContentTop(page);
    const qint64 left = pageOffset(page).x();
    const qint64 w = std::min(left + size.width(), visibleRight) - std::max(left, scrollX);
    const qint64 h = std::min(top + size.height(), visibleBottom) - std::max(top, scrollY);
    if (w <= 0 || h <= 0) continue;
    if (w * h > bestArea) {
      bestArea = w * h;
      best = page;
    }
  }
  return best >= 0 ? best : currentPage;
}

PdfView::PageGeometry PdfView::pageGeometry(int page) const {
  PageGeometry g;
  g.page = page;
  const QPoint offset = pageOffset(page);
  g.left = offset.x() - horizontalScrollBar()->value();
  g.top = offset.y() - verticalScrollBar()->value();
  const QSize size = pageScreenSize(page);
  g.pageWidthPx = size.width();
  g.pageHeightPx = size.height();
  g.pageHeightPt = document ? std::max(0.0, document->pageSize(page).height()) : 0.0;
  g.rect = QRect(g.left, g.top, g.pageWidthPx, g.pageHeightPx);
  return g;
}

void PdfView::updateScrollBars() {
  QScrollBar* vertical = verticalScrollBar();
  QScrollBar* horizontal = horizontalScrollBar();
  const int count = pageCountOrZero();
  if (count == 0) {
    vertical->setRange(0, 0);
    horizontal->setRange(0, 0);
    return;
  }
  qint64 contentHeight = 0;
  int contentWidth = 0;
  if (viewMode == ViewMode::SinglePage) {
    const QSize size = pageScreenSize(std::clamp(currentPage, 0, count - 1));
    contentHeight = kMargin + size.height() + kMargin;
    contentWidth = size.width() + 2 * kMargin;
  } else {
    const Layout& l = layout();
    contentHeight = l.tops[size_t(l.pageCount)];
    contentWidth = l.maxWidth + 2 * kMargin;
  }
  const int viewHeight = viewport()->height();
  const int viewWidth = viewport()->width();
  vertical->setRange(0, clampToInt(std::max<qint64>(0, contentHeight - viewHeight)));
  vertical->setPageStep(viewHeight);
  horizontal->setRange(0, std::max(0, contentWidth - viewWidth));
  horizontal->setPageStep(viewWidth);
}

void PdfView::setZoom(double newZoom) { setZoomAround(newZoom, viewport()->rect().center()); }

void PdfView::setZoomAround(double newZoom, const QPoint& anchor) {
  const double clamped = std::clamp(newZoom, kMinZoom, kMaxZoom);
  if (std::abs(clamped - zoom) < 1e-6) return;
  // The reader's place: the point of the page under the anchor, in points
  // from the page's top-left corner, which the new zoom puts back there.
  int page = pageAtPoint(anchor);
  if (!isValidPage(page)) page = currentPage;
  const bool keepPlace = isValidPage(page);
  const QPointF place = keepPlace ? pageTopToViewport(page).inverted().map(QPointF(anchor)) : QPointF();

  const double previous = zoom;
  zoom = clamped;
  rescaleActiveBlockEditor(zoom / std::max(previous, 0.001));
  invalidateCache();
  updateScrollBars();
  if (keepPlace) {
    const QPointF now = pageTopToViewport(page).map(place);
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + int(std::lround(now.x() - anchor.x())));
    verticalScrollBar()->setValue(verticalScrollBar()->value() + int(std::lround(now.y() - anchor.y())));
  }
  repositionBlockEditor();
  updateCurrentPageFromViewport();
  viewport()->update();
  emit zoomChanged(zoom);
}

void PdfView::zoomIn() { setZoom(zoom * kZoomStep); }

void PdfView::zoomOut() { setZoom(zoom / kZoomStep); }

void PdfView::zoomFit() {
  if (!isValidPage(currentPage)) return;
  QSizeF points = document->pageSize(currentPage);
  // Fit what is shown: a page turned a quarter fits by its other side.
  if (effectiveRotation(currentPage) % 180 != 0) points.transpose();
  if (!(points.width() > 0) || !(points.height() > 0)) return;
  setZoom(std::min(viewport()->width() / points.width(), viewport()->height() / points.height()));
}

void PdfView::zoomFitWidth() {
  if (!isValidPage(currentPage)) return;
  QSizeF points = document->pageSize(currentPage);
  if (effectiveRotation(currentPage) % 180 != 0) points.transpose();
  if (!(points.width() > 0)) return;
  // The page and its margins fit beside the vertical scroll bar, also when
  // the new zoom is what brings the bar in.
  int available = viewport()->width();
  if (!verticalScrollBar()->isVisible() && verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff) {
    const Layout& l = layout();
    const double shownPoints = viewMode == ViewMode::SinglePage
                                   ? points.height()
                                   : double(l.tops[size_t(l.pageCount)] - kMargin * (l.pageCount + 1)) /
                                         std::max(zoom, 0.001);
    const double width = (available - 2 * kMargin) / points.width();
    if (shownPoints * width + 2 * kMargin > viewport()->height())
      available -= style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
  }
  setZoom(std::max(available - 2 * kMargin, 1) / points.width());
}

void PdfView::setRotation(int degrees) {
  rotation = normalisedDegrees(degrees);
  invalidateCache();
  updateScrollBars();
  viewport()->update();
}

void PdfView::rotateCurrentPageView(int delta) {
  if (!isValidPage(currentPage)) return;
  const int turned = normalisedDegrees(pageRotations.value(currentPage, 0) + delta);
  if (turned == 0)
    pageRotations.remove(currentPage);
  else
    pageRotations.insert(currentPage, turned);
  invalidateCache();
  updateScrollBars();
  ensurePageVisible(currentPage);
  viewport()->update();
}

void PdfView::setViewMode(ViewMode mode) {
  viewMode = mode;
  updateScrollBars();
  updateCurrentPageFromViewport();
  viewport()->update();
}

void PdfView::setCurrentPage(int index) {
  if (!isValidPage(index)) return;
  currentPage = index;
  // In single-page mode the scroll ranges follow the page shown.
  if (viewMode == ViewMode::SinglePage) updateScrollBars();
  showPageTop(index);
  viewport()->update();
  emit pageChanged(index);
}

void PdfView::showPageTop(int page) {
  if (!isValidPage(page)) return;
  verticalScrollBar()->setValue(clampToInt(pageContentTop(page) - kMargin));
}

void PdfView::showPageAt(int page, double topPoints) {
  if (!isValidPage(page)) return;
  // A page the view turns shows its top elsewhere; it opens at its top.
  if (topPoints < 0 || effectiveRotation(page) != 0) {
    showPageTop(page);
    return;
  }
  verticalScrollBar()->setValue(clampToInt(pageContentTop(page) + qint64(std::llround(topPoints * zoom)) - kMargin));
}

void PdfView::ensurePageVisible(int page) {
  if (!isValidPage(page)) return;
  const qint64 top = pageContentTop(page);
  const qint64 height = pageScreenSize(page).height();
  QScrollBar* vertical = verticalScrollBar();
  const qint64 value = vertical->value();
  const int viewHeight = viewport()->height();
  if (value > top)
    vertical->setValue(clampToInt(top - kMargin));
  else if (top + height > value + viewHeight)
    vertical->setValue(clampToInt(top + height - viewHeight + kMargin));
}

void PdfView::updateCurrentPageFromViewport() {
  if (viewMode != ViewMode::Continuous || pageCountOrZero() == 0) return;
  const int dominant = dominantVisiblePage();
  if (dominant >= 0 && dominant != currentPage) {
    currentPage = dominant;
    emit pageChanged(currentPage);
  }
}
