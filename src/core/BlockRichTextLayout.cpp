#include "BlockRichTextLayout.h"

#include "EditedLineFit.h"

#include <QAbstractTextDocumentLayout>
#include <QGlyphRun>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

// Where the layout sets a paragraph's lines: its alignment, read the way
// its text runs (left means the side the text starts from unless absolute).
Qt::Alignment visualAlignment(const QTextBlock& paragraph) {
  const Qt::Alignment align = paragraph.blockFormat().alignment();
  if (align & Qt::AlignHCenter) return Qt::AlignHCenter;
  const bool right = bool(align & Qt::AlignRight);
  const bool turned = !(align & Qt::AlignAbsolute) && paragraph.textDirection() == Qt::RightToLeft;
  return right != turned ? Qt::AlignRight : Qt::AlignLeft;
}

// How far a line `laidOut` wide stands from the left of `width` at `align`.
double alignedOffset(Qt::Alignment align, double width, double laidOut) {
  if (align == Qt::AlignRight) return width - laidOut;
  if (align == Qt::AlignHCenter) return (width - laidOut) / 2;
  return 0;
}

// One-line paragraphs set `pitch` apart from baseline to baseline: each
// paragraph's height is stretched or shrunk by what its successor lacks.
void setAtPitch(QTextDocument& document, double pitch) {
  if (!(pitch > 2.0) || document.blockCount() < 2) return;
  const auto baseline = [&](const QTextBlock& paragraph) {
    const QTextLayout* layout = paragraph.layout();
    return document.documentLayout()->blockBoundingRect(paragraph).top() + layout->lineAt(0).y() +
           layout->lineAt(0).ascent();
  };
  std::vector<std::pair<QTextBlock, double>> stretches;
  for (QTextBlock above = document.begin(), below = above.next(); below.isValid(); above = below, below = below.next()) {
    if (!above.layout() || above.layout()->lineCount() != 1 || !below.layout() || below.layout()->lineCount() < 1)
      continue;
    const double height = document.documentLayout()->blockBoundingRect(above).height();
    if (height > 0.5) stretches.emplace_back(above, 100.0 * (height + pitch - (baseline(below) - baseline(above))) / height);
  }
  QTextCursor cursor(&document);
  for (const auto& [paragraph, percent] : stretches) {
    QTextBlockFormat format;
    format.setLineHeight(std::max(percent, 1.0), QTextBlockFormat::ProportionalHeight);
    cursor.setPosition(paragraph.position());
    cursor.mergeBlockFormat(format);
  }
}

}  // namespace

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
  const double layoutWidth = wraps ? wrappedRichTextWidth(width) : width;
  layoutDocument.setTextWidth(layoutWidth);
  // Lines kept as the page set them follow one another at its pitch, lines
  // added by Enter too, not at the spacing of their faces.
  if (!wraps) setAtPitch(layoutDocument, storedLinePitch(block));
  if (wraps) {
    // Lines set to the right or centred would stand in the slack, past the
    // block's edge: the slack goes to the other side.
    std::optional<Qt::Alignment> common;
    for (QTextBlock paragraph = layoutDocument.begin(); paragraph.isValid(); paragraph = paragraph.next()) {
      if (paragraph.text().trimmed().isEmpty()) continue;
      const Qt::Alignment align = visualAlignment(paragraph);
      if (common && *common != align) return;
      common = align;
    }
    if (common) shift = alignedOffset(*common, width, layoutWidth);
    return;
  }
  const double ideal = std::max(layoutDocument.idealWidth(), 1.0);
  narrow = std::min(1.0, width / ideal);
  // Lines wider than the block are aligned in the width they fill, then all
  // narrowed alike: a right-to-left line keeps the right edge.
  if (ideal > width) layoutDocument.setTextWidth(ideal);
  // A shorter line keeps the side it stood on, wherever the layout set it.
  const QTextBlock first = layoutDocument.begin();
  if (block.lines.size() == 1 && ideal < width && first.isValid())
    shift = alignedOffset(editedLineAlignment(block, 0, column), width, ideal) -
            alignedOffset(visualAlignment(first), width, ideal);
  // A line still in its place spans what its glyphs spanned, not the wider
  // box kept for the pointer.
  if (const std::optional<QRectF> box = keptLineBox(block)) {
    const double squeeze = std::min(1.0, box->width() / width);
    narrow *= squeeze;
    shift = box->left() - block.rect.x() + squeeze * shift;
    // A longer line grows into the free room on its aligned side first and
    // is narrowed only into that, as the page writer places its glyphs.
    const TextBlock::Line& stored = block.lines.front();
    const Qt::Alignment align = editedLineAlignment(block, 0, column);
    const double before = std::max(0.0, double(stored.freeLeft)), after = std::max(0.0, double(stored.freeRight));
    const double room = box->width() + (align == Qt::AlignRight     ? before
                                        : align == Qt::AlignHCenter ? 2 * std::min(before, after)
                                                                    : after);
    if (ideal > box->width() && room > box->width()) {
      narrow = std::min(1.0, room / ideal);
      const double drawn = narrow * ideal;
      const double natural = ideal < width && first.isValid() ? alignedOffset(visualAlignment(first), width, ideal) : 0.0;
      const double left = align == Qt::AlignRight     ? box->right() - drawn
                          : align == Qt::AlignHCenter ? box->center().x() - drawn / 2
                                                      : box->left();
      shift = left - block.rect.x() - narrow * natural;
    }
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

std::pair<double, double> laidOutSpan(const QTextLine& line, int from, int to) {
  double left = std::numeric_limits<double>::max(), right = std::numeric_limits<double>::lowest();
  for (const QGlyphRun& glyphs : line.glyphRuns(from, to - from)) {
    const QRectF box = glyphs.boundingRect();
    left = std::min(left, box.left());
    right = std::max(right, box.right());
  }
  if (left <= right) return {left, right};
  const double a = line.cursorToX(from), b = line.cursorToX(to);
  return {std::min(a, b), std::max(a, b)};
}
