#include "BlockRichTextLayout.h"

#include "EditedLineFit.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>

BlockRichTextLayout::BlockRichTextLayout(const TextBlock& block, const QRectF& column)
    : device(1, 1, QImage::Format_ARGB32) {
  device.setDotsPerMeterX(2835);
  device.setDotsPerMeterY(2835);
  layoutDocument.setUndoRedoEnabled(false);
  layoutDocument.setDocumentMargin(0);
  layoutDocument.documentLayout()->setPaintDevice(&device);
  layoutDocument.setHtml(block.richTextHtml);
  // Unhinted advances scale with the size, so the layout holds at any zoom.
  QTextOption option = layoutDocument.defaultTextOption();
  option.setUseDesignMetrics(true);
  const bool wraps = richTextWraps(block);
  if (!wraps) option.setWrapMode(QTextOption::NoWrap);
  layoutDocument.setDefaultTextOption(option);
  const double width = std::max(richTextWidth(block), 1.0);
  // The editor lays the text out hinted at the zoom; the slack keeps a line
  // it fitted on one line from wrapping here (the runs are held inside the block).
  layoutDocument.setTextWidth(wraps ? wrappedRichTextWidth(width) : width);
  if (wraps) return;
  const double ideal = std::max(layoutDocument.idealWidth(), 1.0);
  narrow = std::min(1.0, width / ideal);
  // A shorter line keeps the side it stood on (the layout itself cannot
  // align lines it does not wrap).
  if (block.lines.size() == 1 && ideal < width) {
    const Qt::Alignment align = editedLineAlignment(block, 0, column);
    if (align == Qt::AlignRight) shift = width - ideal;
    if (align == Qt::AlignHCenter) shift = (width - ideal) / 2;
  }
  // A line still in its place spans what its glyphs spanned, not the wider
  // box kept for the pointer.
  if (const std::optional<QRectF> box = keptLineBox(block)) {
    const double squeeze = std::min(1.0, box->width() / width);
    narrow *= squeeze;
    shift = box->left() - block.rect.x() + squeeze * shift;
    const QTextBlock first = layoutDocument.begin();
    const QTextLayout* layout = first.isValid() ? first.layout() : nullptr;
    const std::optional<double> baseline = lineBaseline(block.lines.front());
    if (layout && layout->lineCount() > 0 && baseline) {
      const double top = block.rect.y() + block.rect.height();
      const double laidOut = layoutDocument.documentLayout()->blockBoundingRect(first).top() +
                             layout->lineAt(0).y() + layout->lineAt(0).ascent();
      const double moved = block.rect.bottom() - block.originalRect.bottom();
      lowered = top - (*baseline + moved) - laidOut;
    }
  }
}
