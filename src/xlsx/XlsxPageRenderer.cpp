#include "XlsxPageRenderer.h"

#include "XlsxGridPainter.h"
#include "XlsxLimits.h"
#include "XlsxMessages.h"

#include <QPainter>

#include <algorithm>

namespace {

constexpr double kDpi = 150.0;
constexpr double kMargin = 20.0 * kDpi / 72.0;  // 41.667 pixels
// Page pixels to one pixel of the sheet's layout, which is at 96 dpi.
constexpr double kPagePixelsPerLayoutPixel = kDpi / 96.0;

// The preview's own layout: the page is that layout scaled, never a second one.
XlsxGridLayout layoutOf(const XlsxSheetInfo& info) { return iSheetLayout(*info.data, info.charts); }

// Row ranges of the pages: the breaks that fall inside the sheet cut it.
QList<std::pair<int, int>> pageRanges(const XlsxGridSpan& span, const QList<int>& breaks) {
  QList<std::pair<int, int>> ranges;
  int start = span.firstRow;
  for (const int row : breaks) {
    if (row > start && row <= span.lastRow) {
      ranges.append({start, row - 1});
      start = row;
    }
  }
  ranges.append({start, span.lastRow});
  return ranges;
}

// The image of a page, its size in points and the area inside its margins.
struct PageFrame {
  explicit PageFrame(const XlsxPageOptions& options)
      : pagePt(xlsxPageSizePt(options)),
        imageSize(int(pagePt.width() * kDpi / 72.0), int(pagePt.height() * kDpi / 72.0)),
        usableWidth(pagePt.width() * kDpi / 72.0 - 2 * kMargin),
        usableHeight(pagePt.height() * kDpi / 72.0 - 2 * kMargin) {}

  // Page pixels per layout pixel on the page of rows first..last: fitted to
  // the width when asked, and shrunk evenly until the rows fit in the height.
  double scaleOf(const XlsxGridLayout& layout, int first, int last, bool fitToWidth) const {
    const double sheetWidth = layout.colEdges.back() * kPagePixelsPerLayoutPixel;
    const double fit = fitToWidth && sheetWidth > usableWidth ? usableWidth / sheetWidth : 1.0;
    const double scale = kPagePixelsPerLayoutPixel * fit;
    const double pageHeight = (layout.rowEdge(last + 1) - layout.rowEdge(first)) * scale;
    return pageHeight > usableHeight ? scale * usableHeight / pageHeight : scale;
  }
  // Width from the left margin to the image's right edge, where the page cuts.
  double visibleWidth() const { return imageSize.width() - kMargin; }

  QSizeF pagePt;
  QSize imageSize;
  double usableWidth, usableHeight;
};

class PagePainter {
 public:
  PagePainter(const XlsxSheetInfo& sheet, const XlsxIStyles& styles, const XlsxGridLayout& layout)
      : sheet(sheet), styles(styles), layout(layout) {}

  void paint(QPainter& painter, int firstRow, int lastRow, double scale, double visibleWidth) const {
    const XlsxGridSpan& span = layout.span;
    const double top = layout.rowEdge(firstRow);
    // Columns that start past the image's right edge are never seen.
    int lastColumn = span.lastCol;
    while (lastColumn > span.firstCol && layout.colEdge(lastColumn) * scale > visibleWidth) --lastColumn;
    // Nothing of a row outside the page's rows shows on it: a merged block
    // or a chart that crosses a page break is cut there.
    const QRectF rowsArea(0, 0, layout.colEdges.back(), layout.rowEdge(lastRow + 1) - top);
    painter.save();
    painter.setClipRect(rowsArea, Qt::IntersectClip);
    iPaintCellWindow(painter, *sheet.data, styles, layout, firstRow, lastRow, span.firstCol, lastColumn, top,
                     XlsxPaintTarget::Page);
    for (const XlsxIChart& chart : sheet.charts) {
      // The span holds every anchor, so a chart lies in its own cells.
      const XlsxGridSpan cells = layout.chartCells(chart);
      // A chart is drawn on the pages whose rows it meets, clipped to them.
      if (cells.isEmpty() || cells.firstRow > lastRow || cells.lastRow < firstRow) continue;
      iDrawChart(painter, layout.blockRect(cells.firstRow, cells.firstCol, cells.lastRow, cells.lastCol, top), chart);
    }
    painter.restore();
  }

 private:
  const XlsxSheetInfo& sheet;
  const XlsxIStyles& styles;
  const XlsxGridLayout& layout;
};

}  // namespace

QSizeF xlsxPageSizePt(const XlsxPageOptions& options) {
  return options.landscape ? options.paperPt.transposed() : options.paperPt;
}

qint64 countXlsxSheetPages(const XlsxSheetInfo& sheet, const QList<int>& breaks) {
  if (!sheet.data) return 0;
  // Only the rows matter here; nothing is laid out.
  const XlsxGridSpan span = iGridSpan(*sheet.data, sheet.charts);
  return span.isEmpty() ? 0 : pageRanges(span, breaks).size();
}

qint64 countXlsxPages(const QList<XlsxSheetInfo>& sheets, const XlsxPageOptions& options) {
  qint64 pages = 0;
  for (qsizetype index = 0; index < sheets.size(); ++index)
    pages += countXlsxSheetPages(sheets[index], options.sheetBreaks.value(index));
  return pages;
}

QString xlsxPageBoundRefusal(qint64 pages) {
  if (pages <= xlsxlimits::kMaxImportPages) return {};
  return XlsxMessage{QStringLiteral("Страниц в книге: %1 — больше, чем можно добавить за один импорт (%2)"),
                     {QString::number(pages), QString::number(xlsxlimits::kMaxImportPages)}}
      .text();
}

QList<XlsxColumnCut> xlsxSheetColumnCuts(const XlsxSheetInfo& sheet, const XlsxPageOptions& options,
                                         const QList<int>& breaks) {
  QList<XlsxColumnCut> cuts;
  if (!sheet.data) return cuts;
  const XlsxGridLayout layout = layoutOf(sheet);
  if (layout.span.isEmpty()) return cuts;
  const PageFrame frame(options);
  const std::vector<double>& edges = layout.colEdges;
  for (const auto& [first, last] : pageRanges(layout.span, breaks)) {
    if (first < layout.span.firstRow || first > layout.span.lastRow) continue;
    const double visible = frame.visibleWidth() / frame.scaleOf(layout, first, last, options.fitToWidth);
    // edges[i + 1] is the right edge of the column at index i.
    const auto past = std::upper_bound(edges.begin() + 1, edges.end(), visible);
    if (past == edges.end()) continue;
    const size_t index = size_t(past - edges.begin()) - 1;
    XlsxColumnCut cut;
    cut.firstRow = first;
    cut.lastRow = last;
    cut.column = layout.span.firstCol + int(index);
    const double width = edges[index + 1] - edges[index];
    cut.shownShare = width > 0 ? std::clamp((visible - edges[index]) / width, 0.0, 1.0) : 0.0;
    for (size_t i = index; i + 1 < edges.size(); ++i)
      if (edges[i + 1] > edges[i]) ++cut.columnsLost;
    cuts.append(cut);
  }
  return cuts;
}

int renderXlsxPages(const QList<XlsxSheetInfo>& sheets, const XlsxIStyles& styles, const XlsxPageOptions& options,
                    const std::function<bool(const QImage&)>& sink, QString* refusal) {
  // Counted first: a sheet of a million rows is refused before its first page.
  const QString tooMany = xlsxPageBoundRefusal(countXlsxPages(sheets, options));
  if (!tooMany.isEmpty()) {
    if (refusal) *refusal = tooMany;
    return -1;
  }
  const PageFrame frame(options);
  const QSize imageSize = frame.imageSize;
  int handed = 0;
  for (qsizetype index = 0; index < sheets.size(); ++index) {
    const XlsxSheetInfo& sheet = sheets[index];
    if (!sheet.data) continue;
    const XlsxGridLayout layout = layoutOf(sheet);
    if (layout.span.isEmpty()) continue;
    const PagePainter pagePainter(sheet, styles, layout);
    const QList<int> breaks = options.sheetBreaks.value(index);
    for (const auto& [first, last] : pageRanges(layout.span, breaks)) {
      if (first < layout.span.firstRow || first > layout.span.lastRow) continue;
      const double scale = frame.scaleOf(layout, first, last, options.fitToWidth);
      QImage image(imageSize, QImage::Format_RGB32);
      image.setDotsPerMeterX(5906);
      image.setDotsPerMeterY(5906);
      image.fill(Qt::white);
      {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.translate(kMargin, kMargin);
        painter.scale(scale, scale);
        pagePainter.paint(painter, first, last, scale, frame.visibleWidth());
      }
      ++handed;
      if (!sink(image)) return handed;
    }
  }
  return handed;
}
