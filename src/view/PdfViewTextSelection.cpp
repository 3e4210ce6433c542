// Selecting page text line by line, the live highlights during the drag,
// the marked region, and the mappings the selection works in.
#include "PdfView.h"

#include "core/PageTextCharacters.h"
#include "core/TurnedRect.h"

#include <QCursor>
#include <QRubberBand>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace {

bool isDecorativeChar(QChar c) {
  const char16_t u = c.unicode();
  return c.isSpace() || (u >= 9 && u <= 13) || u == 0x85 || u == 0xA0 || u == u'-' || u == u'_' || u == 0x2013 ||
         u == 0x2014;
}

QString stripSelectionDecorativePadding(const QString& text) {
  if (text.size() < 3) return text.trimmed();
  qsizetype lead = 0;
  while (lead < text.size() && isDecorativeChar(text[lead])) ++lead;
  if (lead == text.size()) return {};
  qsizetype trail = 0;
  while (trail < text.size() && isDecorativeChar(text[text.size() - 1 - trail])) ++trail;
  const qsizetype from = lead >= 3 ? lead : 0;
  const qsizetype to = text.size() - (trail >= 3 ? trail : 0);
  return text.mid(from, to - from).trimmed();
}

bool isDecorativeSelectionText(const QString& text) {
  const QString simple = text.simplified();
  if (simple.size() <= 2) return false;
  return std::all_of(simple.begin(), simple.end(), isDecorativeChar);
}

QRectF expandedSelectionTextRect(const QRectF& r, double fontSize) {
  if (!(r.width() > 0) || !(r.height() > 0)) return r;
  const double target = std::max({fontSize * 1.18, 8.0, r.height()});
  const double grow = std::max((target - r.height()) / 2, 0.0);
  return QRectF(r.x() - 0.75, r.y() - grow, r.width() + 1.5, r.height() + 2 * grow).normalized();
}

// Gap from a point to a line's rectangle, vertical gaps counting most.
double lineDistance(const QRectF& r, const QPointF& p) {
  const double dy = p.y() < r.top() ? r.top() - p.y() : (p.y() > r.bottom() ? p.y() - r.bottom() : 0.0);
  const double dx = p.x() < r.left() ? r.left() - p.x() : (p.x() > r.right() ? p.x() - r.right() : 0.0);
  return dy + 0.05 * dx;
}

// Where each letter of `shown` (the line's text, cleaned) starts and where the
// last one ends, from the boxes of the line's words: a word's letters share
// its width, blanks share the gaps between words. Letters of one line are
// rarely equally wide, so the line's width alone would put a highlight a
// letter or two away from the letters it copies. Empty when the words do not
// spell the line where it stands.
QList<double> letterEdges(const QString& shown, const TextBlock::Line& line) {
  const QString& full = line.text;
  const qsizetype n = full.size();
  const qsizetype offset = shown.isEmpty() || line.words.empty() ? -1 : full.indexOf(shown);
  if (offset < 0) return {};
  QList<double> left(n, std::nan("")), right(n, std::nan(""));
  qsizetype at = 0;
  for (const TextBlock::Line::Word& word : line.words) {
    const qsizetype found = word.text.isEmpty() ? -1 : full.indexOf(word.text, at);
    const QRectF& r = word.rect;
    if (found < 0 || !(r.width() > 0) || r.left() < line.rect.left() - 1 || r.right() > line.rect.right() + 1)
      return {};
    const double width = r.width() / double(word.text.size());
    for (qsizetype k = 0; k < word.text.size(); ++k) {
      left[found + k] = r.left() + k * width;
      right[found + k] = r.left() + (k + 1) * width;
    }
    at = found + word.text.size();
  }
  // Letters outside every word share the room between their neighbours.
  for (qsizetype i = 0; i < n;) {
    if (!std::isnan(left[i])) {
      ++i;
      continue;
    }
    qsizetype end = i;
    while (end < n && std::isnan(left[end])) ++end;
    const double from = i > 0 ? right[i - 1] : line.rect.left();
    const double to = end < n ? left[end] : line.rect.right();
    const double width = std::max(to - from, 0.0) / double(end - i);
    for (qsizetype k = i; k < end; ++k) {
      left[k] = from + (k - i) * width;
      right[k] = left[k] + width;
    }
    i = end;
  }
  QList<double> edges;
  edges.reserve(shown.size() + 1);
  for (qsizetype i = 0; i < shown.size(); ++i) edges.append(left[offset + i]);
  edges.append(right[offset + shown.size() - 1]);
  if (!std::is_sorted(edges.begin(), edges.end())) return {};
  return edges;
}

}  // namespace

void PdfView::invalidateSelectableTextCache() { selectableLineCache = SelectableLineCache(); }

QList<PdfView::SelectableLine> PdfView::selectableLines(int page) const {
  QList<SelectableLine> lines;
  // A turned line is grown across its own text and found where it shows.
  auto consider = [&lines](const QString& text, const QRectF& rect, float fontSize, double rotation,
                           const QPointF& centre, const TextBlock::Line* measured) {
    const QString cleaned = stripSelectionDecorativePadding(text);
    if (cleaned.isEmpty() || isDecorativeSelectionText(cleaned) || !(rect.width() > 0) || !(rect.height() > 0))
      return;
    const QRectF grown = expandedSelectionTextRect(rect, fontSize);
    const bool turned = std::abs(rotation) >= 0.1;
    const QTransform turn = turned ? turnAbout(centre, rotation) : QTransform();
    lines.append(SelectableLine{cleaned, turned ? turn.mapRect(grown) : grown, fontSize, grown, turn,
                                turned ? rotation : 0.0, measured ? letterEdges(cleaned, *measured) : QList<double>()});
  };
  auto collect = [&consider](const std::vector<TextBlock>& blocks) {
    for (const TextBlock& block : blocks) {
      if (block.isImage) continue;
      if (block.lines.empty()) {
        consider(block.text, block.rect, block.fontSize, block.rotation, block.rect.center(), nullptr);
        continue;
      }
      // The words of a moved or rewritten block no longer say where its letters are.
      const bool asFound = !blockMoved(block) && !blockTextEdited(block);
      for (const TextBlock::Line& line : block.lines)
        consider(line.text, line.rect, line.fontSize, block.rotation, block.rect.center(), asFound ? &line : nullptr);
    }
  };
  // The loaded blocks carry the user's edits and change with every step, so
  // they are walked each time; walking them costs no extraction.
  if (editMode && ocrBlocksPage == page && !ocrBlocks.empty()) {
    collect(ocrBlocks);
    return lines;
  }
  // Native extraction renders the page; it runs once per page and content.
  SelectableLineCache& cache = selectableLineCache;
  const int count = document->pageCount();
  const QSizeF size = document->pageSize(page);
  if (cache.doc == document && cache.page == page && cache.pageCount == count && cache.pageSize == size)
    return cache.lines;
  collect(document->extractText(page));
  cache.doc = document;
  cache.page = page;
  cache.pageCount = count;
  cache.pageSize = size;
  cache.lines = lines;
  return lines;
}

bool PdfView::levelDragCrossesText(int page) const {
  if (!document || !isValidPage(page)) return false;
  const double height = document->pageSize(page).height();
  const QPointF start(selectionStartOnPage.x(), height - selectionStartOnPage.y());
  const QPointF end(selectionEndOnPage.x(), height - selectionEndOnPage.y());
  const QList<SelectableLine> lines = selectableLines(page);
  // Level along the line's own direction: a turned page shows its lines
  // running down or upside down.
  return std::any_of(lines.begin(), lines.end(), [&start, &end](const SelectableLine& line) {
    const QTransform back = line.rotation == 0.0 ? QTransform() : line.turn.inverted();
    const QRectF spanned = QRectF(back.map(start), back.map(end)).normalized();
    if (spanned.height() > 2.0 || spanned.width() <= 2.0 * spanned.height()) return false;
    const double y = spanned.center().y();
    const QRectF& r = line.lineRect;
    return r.top() <= y && y <= r.bottom() && r.left() < spanned.right() && spanned.left() < r.right();
  });
}

QPointF PdfView::selectionPdfPointForViewportPoint(int page, const QPoint& p) const {
  if (!document || !isValidPage(page)) return {};
  // Through the page's own mapping, so a turned page is read the right way.
  const QPointF top = viewToPage(page, p).topLeft();
  return QPointF(top.x(), document->pageSize(page).height() - top.y());
}

QRectF PdfView::selectionPdfRectForViewportRect(int page, const QRect& r) const {
  if (!document || !isValidPage(page)) return {};
  const QRectF top = pageTopToViewport(page).inverted().mapRect(QRectF(r));
  const double height = document->pageSize(page).height();
  return QRectF(top.x(), height - (top.y() + top.height()), top.width(), top.height()).normalized();
}

bool PdfView::selectableTextAtViewportPoint(const QPoint& viewportPoint) const {
  if (!document) return false;
  const int page = pageAtPoint(viewportPoint);
  if (!isValidPage(page)) return false;
  const QPointF point = selectionPdfPointForViewportPoint(page, viewportPoint);
  const QList<SelectableLine> lines = selectableLines(page);
  return std::any_of(lines.begin(), lines.end(), [&point](const SelectableLine& l) { return l.rect.contains(point); });
}

QList<QRectF> PdfView::collectTextSelectionHighlights(int page, const QPointF& start, const QPointF& end,
                                                      QString* text, QList<QRectF>* spans) const {
  if (text) text->clear();
  if (spans) spans->clear();
  QList<QRectF> result;
  if (!document || !isValidPage(page)) return result;
  QList<SelectableLine> lines = selectableLines(page);
  if (lines.isEmpty()) return result;

  // Reading order: lines of one direction top down in their own frame, then
  // along the line; upright text first, other directions after it.
  std::stable_sort(lines.begin(), lines.end(), [](const SelectableLine& a, const SelectableLine& b) {
    if (std::abs(a.rotation - b.rotation) >= 0.1) return std::abs(a.rotation) < 0.1 || a.rotation < b.rotation;
    const QTransform read = QTransform().rotate(a.rotation);
    const QRectF ra = read.mapRect(a.rect);
    const QRectF rb = read.mapRect(b.rect);
    const double ca = ra.center().y();
    const double cb = rb.center().y();
    const double tolerance = std::max(0.65 * std::max(ra.height(), rb.height()), 2.0);
    if (std::abs(ca - cb) <= tolerance) return ra.x() < rb.x();
    return ca > cb;
  });
  // A point in a line's own unturned frame.
  auto along = [](const SelectableLine& line, const QPointF& p) {
    return line.rotation == 0.0 ? p : line.turn.inverted().map(p);
  };
  auto nearest = [&lines, &along](const QPointF& p) {
    qsizetype best = 0;
    double bestDistance = lineDistance(lines[0].lineRect, along(lines[0], p));
    for (qsizetype i = 1; i < lines.size(); ++i) {
      const double d = lineDistance(lines[i].lineRect, along(lines[i], p));
      if (d < bestDistance) {
        bestDistance = d;
        best = i;
      }
    }
    return best;
  };
  qsizetype first = nearest(start);
  qsizetype last = nearest(end);
  QPointF firstPoint = start;
  QPointF lastPoint = end;
  if (last < first) {
    std::swap(first, last);
    std::swap(firstPoint, lastPoint);
  }

  for (qsizetype i = first; i <= last; ++i) {
    const SelectableLine& line = lines[i];
    const QRectF& r = line.lineRect;
    double left = r.left();
    double right = r.right();
    if (i == first) left = along(line, firstPoint).x();
    if (i == last) right = along(line, lastPoint).x();
    if (left > right) std::swap(left, right);
    left = std::clamp(left, r.left(), r.right());
    right = std::clamp(right, r.left(), r.right());
    const double spanWidth = right - left;
    const qsizetype n = line.text.size();
    if (n == 0 || !(r.height() > 0) || !(r.width() > 0.5) || !(spanWidth > 0.5) || !(r.height() > 0.5)) continue;
    const bool measured = line.edges.size() == n + 1;
    qsizetype from = 0;
    qsizetype to = 0;
    if (measured) {
      // The letter under each end of the span, as the page shows them.
      from = std::upper_bound(line.edges.begin(), line.edges.end() - 1, left) - line.edges.begin() - 1;
      to = std::lower_bound(line.edges.begin() + 1, line.edges.end(), right) - line.edges.begin();
    } else {
      from = qsizetype(std::floor(n * std::clamp((left - r.x()) / r.width(), 0.0, 1.0)));
      to = qsizetype(std::ceil(n * std::clamp((right - r.x()) / r.width(), 0.0, 1.0)));
    }
    from = std::clamp<qsizetype>(from, 0, n);
    to = std::clamp<qsizetype>(to, 0, n);
    if (from >= to && spanWidth > 1.0) to = std::min(from + 1, n);
    while (from < to && line.text[from].isSpace()) ++from;
    while (to > from && line.text[to - 1].isSpace()) --to;
    if (from >= to) continue;
    const double cw = r.width() / n;
    const double pieceLeft = measured ? line.edges[from] : r.x() + from * cw;
    const double pieceRight = measured ? line.edges[to] : r.x() + to * cw;
    const QRectF piece(pieceLeft, r.y(), std::max(pieceRight - pieceLeft, 1.0), r.height());
    const QRectF span(left, r.y(), right - left, r.height());
    result.append(line.rotation == 0.0 ? piece : line.turn.mapRect(piece));
    if (spans) spans->append(line.rotation == 0.0 ? span : line.turn.mapRect(span));
    const QString textPiece = line.text.mid(from, to - from);
    if (text && !textPiece.trimmed().isEmpty()) appendNextLine(*text, textPiece);
  }
  return result;
}

QRubberBand* PdfView::selectionRubberBand() {
  if (!rubberBand) rubberBand = new QRubberBand(QRubberBand::Rectangle, viewport());
  return rubberBand;
}

void PdfView::updateInteractiveSelectionPreview() {
  if (!selecting) return;
  const QRect band = currentSelectionViewportRect();
  if (selectionMode != SelectionMode::Text) {
    highlightPage = -1;
    highlightRects.clear();
    viewport()->setCursor(Qt::CrossCursor);
    selectionRubberBand()->setGeometry(band);
    if (band.width() + band.height() > 4) selectionRubberBand()->show();
    viewport()->update();
    return;
  }
  selectionRubberBand()->hide();
  viewport()->setCursor(Qt::IBeamCursor);
  if (selectionPage >= 0 && band.width() + band.height() > 4) {
    const double height = document->pageSize(selectionPage).height();
    const QList<QRectF> rects = collectTextSelectionHighlights(
        selectionPage, QPointF(selectionStartOnPage.x(), height - selectionStartOnPage.y()),
        QPointF(selectionEndOnPage.x(), height - selectionEndOnPage.y()), nullptr);
    highlightPage = rects.isEmpty() ? -1 : selectionPage;
    highlightRects = rects;
  }
  viewport()->update();
}

QRectF PdfView::currentSelectionPageTopRect() const {
  if (selectionPage < 0 || !document) return {};
  const QSizeF size = document->pageSize(selectionPage);
  const QRectF spanned = QRectF(selectionStartOnPage, selectionEndOnPage).normalized();
  return spanned.intersected(QRectF(QPointF(0, 0), size));
}

QRect PdfView::currentSelectionViewportRect() const {
  if (selectionPage < 0) return QRect(selectionStart, selectionEnd).normalized();
  return viewportRectForPageTopRect(selectionPage, currentSelectionPageTopRect());
}

void PdfView::updateSelectionEndFromViewport(const QPoint& p) {
  selectionEnd = p;
  // A drag begun beside a page, left of its lines, marks the page it
  // reaches: the rectangle drawn is what a copy takes.
  if (selectionPage < 0 && selecting && isValidPage(pageAtPoint(p))) {
    selectionPage = pageAtPoint(p);
    selectionStartOnPage = viewToPage(selectionPage, selectionStart).topLeft();
  }
  if (selectionPage >= 0) selectionEndOnPage = viewToPage(selectionPage, p).topLeft();
}

bool PdfView::lastSelectionContainsViewportPoint(const QPoint& viewportPoint) const {
  if (lastRegionPage < 0 || !(lastRegionRect.width() > 0) || !(lastRegionRect.height() > 0)) return false;
  const QRect region = viewportRectForPageTopRect(lastRegionPage, lastRegionRect).adjusted(-3, -3, 3, 3);
  return viewportPoint.x() >= region.left() && viewportPoint.x() <= region.right() + 1 &&
         viewportPoint.y() >= region.top() && viewportPoint.y() <= region.bottom() + 1;
}

void PdfView::clearLastRegionSelection() {
  const bool set = lastRegionIsRegion || lastRegionPage >= 0 ||
                   (lastRegionRect.width() > 0 && lastRegionRect.height() > 0);
  if (!set) return;
  lastRegionIsRegion = false;
  lastRegionPage = -1;
  lastRegionRect = QRectF();
  viewport()->update();
}

bool PdfView::markedArea(int* page, QRectF* pageTopRect) const {
  if (!lastRegionIsRegion || !isValidPage(lastRegionPage) || !(lastRegionRect.width() > 0) ||
      !(lastRegionRect.height() > 0))
    return false;
  *page = lastRegionPage;
  *pageTopRect = lastRegionRect;
  return true;
}

void PdfView::markArea(int page, const QRectF& pageTopRect) {
  if (!isValidPage(page)) return;
  lastRegionPage = page;
  lastRegionRect = pageTopRect;
  lastRegionIsRegion = true;
  viewport()->update();
  emit selectionRectReady(page, pageTopRect);
  emit areaMarked(page, pageTopRect);
}

void PdfView::clearSelection() {
  selectedText.clear();
  highlightPage = -1;
  highlightRects.clear();
  lastRegionIsRegion = false;
  lastRegionPage = -1;
  lastRegionRect = QRectF();
  if (rubberBand) rubberBand->hide();
  viewport()->update();
}
