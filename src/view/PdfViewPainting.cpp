#include "PdfView.h"

#include <QElapsedTimer>
#include <QLinearGradient>
#include <QPainter>
#include <QPen>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {

constexpr int kCheckWaitNoticeMs = 400;

}  // namespace

// The canvas colours are fixed here on purpose: the style sheets theme the
// chrome around the view, never the pages' surroundings.

void PdfView::paintEvent(QPaintEvent*) {
  ++paints;
  QPainter painter(viewport());
  paintBackground(painter);

  const int count = pageCountOrZero();
  if (count == 0) {
    painter.setPen(darkCanvas ? QColor("#A6AFBA") : QColor("#4E5662"));
    painter.drawText(viewport()->rect(), Qt::AlignCenter, emptyPlaceholderText);
    return;
  }

  int first = std::clamp(currentPage, 0, count - 1);
  int last = first;
  if (viewMode == ViewMode::Continuous) {
    // Only the pages near the viewport are even looked at.
    const qint64 scrollY = verticalScrollBar()->value();
    std::tie(first, last) = pagesInContentRows(scrollY, scrollY + viewport()->height());
  }
  const int width = viewport()->width();
  const int height = viewport()->height();
  for (int page = first; page <= last; ++page) {
    const PageGeometry g = pageGeometry(page);
    if (g.top + g.pageHeightPx < 0 || g.top > height || g.left + g.pageWidthPx < 0 || g.left > width) continue;
    paintPage(painter, g);
  }
}

void PdfView::paintBackground(QPainter& painter) const {
  const QRect area = viewport()->rect();
  if (darkCanvas) {
    painter.fillRect(area, QColor("#181A1D"));
    return;
  }
  QLinearGradient gradient(QPointF(0, 0), QPointF(area.width() - 1, area.height() - 1));
  gradient.setColorAt(0.0, QColor("#F1F5F8"));
  gradient.setColorAt(0.42, QColor("#E5EBF1"));
  gradient.setColorAt(1.0, QColor("#DDE5EC"));
  painter.fillRect(area, gradient);
}

bool PdfView::checkWaitLasts(int page) {
  static const QElapsedTimer clock = [] {
    QElapsedTimer started;
    started.start();
    return started;
  }();
  const auto since = checkWaitSince.constFind(page);
  if (since == checkWaitSince.constEnd()) {
    checkWaitSince.insert(page, clock.elapsed());
    // A check that ends at once is never announced; one still going then is.
    QTimer::singleShot(kCheckWaitNoticeMs, viewport(), qOverload<>(&QWidget::update));
    return false;
  }
  return clock.elapsed() - since.value() >= kCheckWaitNoticeMs;
}

void PdfView::paintPage(QPainter& painter, const PageGeometry& g) {
  painter.fillRect(g.rect.translated(4, 4), QColor(0, 0, 0, 80));

  // The whole page even with lifted ink: the page without its text would
  // lose every unchanged line, and the ink's silhouette is whitened below.
  // A page refused before loading is never asked for again; it says why.
  // So is one that would take too long to draw at this zoom (it shows when zoomed out).
  const bool refused = document && document->isRenderRefused(g.page, zoom);
  const QImage image = refused ? QImage() : cachedPageLayer(g.page, PdfRenderLayer::Full, false);
  if (image.isNull())
    painter.fillRect(g.rect, Qt::white);
  else
    painter.drawImage(QRectF(g.rect), image);
  // A page still being checked, or still being drawn (a large zoom of a
  // costly page takes seconds), says so after a moment instead of staying white.
  const bool beingChecked = document && document->isPageBeingChecked(g.page);
  const bool beingDrawn =
      !beingChecked && pendingRenderKeys.contains(pageRenderKey(g.page, zoom, effectiveRotation(g.page),
                                                                PdfRenderLayer::Full, false));
  const bool waiting = !refused && image.isNull() && document && (beingChecked || beingDrawn) && checkWaitLasts(g.page);
  if (!waiting && !image.isNull()) checkWaitSince.remove(g.page);
  if (refused || waiting) {
    // Said in the part of the page in sight: at a large zoom its centre is
    // far out of view.
    const QRectF shown = QRectF(g.rect).intersected(QRectF(viewport()->rect())).adjusted(16, 16, -16, -16);
    QString text = beingChecked ? tr("Страница проверяется…") : tr("Страница рисуется…");
    if (refused && document->isPageRefused(g.page))
      text = tr("Страница не показана: её содержимое превышает пределы, которые программа может обработать.");
    else if (refused)
      text = tr("Страница не показана при масштабе %1%: рисовать её так крупно слишком долго. "
                "Уменьшите масштаб, чтобы её увидеть.")
                 .arg(std::lround(zoom * 100));
    painter.setPen(QColor(90, 90, 90));
    painter.drawText(shown, Qt::AlignCenter | Qt::TextWordWrap, text);
  }
  if (!image.isNull() && inkModeActive(g.page)) paintInkLayerRestoration(painter, g, image);

  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor(180, 180, 180), 1.0));
  painter.drawRect(g.rect);

  if (g.page == currentPage) {
    painter.setPen(QPen(QColor(30, 120, 255), 2.0));
    painter.drawRect(QRect(QPoint(g.left - 1, g.top - 1), QPoint(g.left + g.pageWidthPx, g.top + g.pageHeightPx)));
  }

  const bool blockPage = editMode && g.page == ocrBlocksPage && !ocrBlocks.empty();
  if (blockPage) {
    paintPlacementPreview(painter, g);
    paintBlockOverlay(painter, g, image);
  }
  paintSearchHits(painter, g.page);
  paintTextHighlights(painter, g.page);
  paintLastRegion(painter, g.page);
  if (!blockPage) paintPlacementPreview(painter, g);
}

void PdfView::paintSearchHits(QPainter& painter, int page) const {
  if (page != searchPage || searchRects.isEmpty()) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  for (int i = 0; i < searchRects.size(); ++i) {
    const QRectF r = pdfRectToScreenRect(page, searchRects.at(i));
    if (!(r.width() > 0) || !(r.height() > 0)) continue;
    if (i == currentSearchHit) {
      painter.setPen(QPen(QColor(217, 119, 6), 2.0));
      painter.setBrush(QColor(251, 191, 36, 110));
    } else {
      painter.setPen(QPen(QColor(234, 179, 8), 1.0));
      painter.setBrush(QColor(250, 204, 21, 75));
    }
    painter.drawRoundedRect(r.adjusted(-1, -1, 1, 1), 2.0, 2.0);
  }
  painter.restore();
}

void PdfView::paintTextHighlights(QPainter& painter, int page) const {
  if (page != highlightPage || highlightRects.isEmpty()) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(37, 99, 235, 92));
  for (const QRectF& rect : highlightRects) {
    const QRectF r = pdfRectToScreenRect(page, rect);
    if (!(r.width() > 0) || !(r.height() > 0)) continue;
    painter.drawRoundedRect(r.adjusted(-0.5, -0.5, 0.5, 0.5), 2.0, 2.0);
  }
  painter.restore();
}

void PdfView::paintLastRegion(QPainter& painter, int page) const {
  if (!lastRegionIsRegion || page != lastRegionPage || !(lastRegionRect.width() > 0) ||
      !(lastRegionRect.height() > 0))
    return;
  const QRect v = viewportRectForPageTopRect(page, lastRegionRect);
  if (!v.isValid()) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setBrush(QColor(37, 99, 235, 24));
  painter.setPen(QPen(QColor(30, 114, 228, 230), std::max(0.35 * zoom, 1.0), Qt::DashLine));
  painter.drawRect(QRectF(v.left() + 0.5, v.top() + 0.5, v.width() - 1, v.height() - 1));
  painter.restore();
}
