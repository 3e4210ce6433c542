#pragma once
// A block's rich text laid out in points, the one layout both the page writer
// and the editor's preview use: the preview paints it scaled by the zoom, the
// writer places one text object per run of it, so lines break and runs sit
// alike on screen and on the saved page whatever the zoom.

#include "TextBlock.h"

#include <QImage>
#include <QRectF>
#include <QTextDocument>
#include <QTextLayout>

#include <utility>

class BlockRichTextLayout {
 public:
  // `column` is the page's text column (pageTextColumn): a one-line block
  // shorter than its place keeps the alignment it has in it.
  BlockRichTextLayout(const TextBlock& block, const QRectF& column);
  BlockRichTextLayout(const BlockRichTextLayout&) = delete;
  BlockRichTextLayout& operator=(const BlockRichTextLayout&) = delete;

  QTextDocument& document() { return layoutDocument; }
  // The device the layout is measured on, for metrics of its fonts.
  QPaintDevice* paintDevice() { return &device; }
  // Horizontal factor (at most 1) that narrows lines kept on one line into
  // the block's width; 1 for text that wraps.
  double narrowing() const { return narrow; }
  // Points the whole layout moves right, to keep a shorter line's alignment.
  double offset() const { return shift; }
  // Points the whole layout moves down from the block's top, so that a line
  // kept in its place stands on the baseline it had.
  double drop() const { return lowered; }

 private:
  QImage device;  // 72 dots per inch: one pixel is one point
  QTextDocument layoutDocument;
  double narrow = 1.0;
  double shift = 0.0;
  double lowered = 0.0;
};

// Where a laid-out line set its text [from, to): the left and right edges.
// Right-to-left text begins at its right end, and text of one direction in a
// line of the other has no one cursor position at either end, so the span is
// that of the glyphs the layout gave the text.
std::pair<double, double> laidOutSpan(const QTextLine& line, int from, int to);
