#pragma once
// A block's rich text laid out in points, the one layout both the page writer
// and the editor's preview use: the preview paints it scaled by the zoom, the
// writer places one text object per run of it, so lines break and runs sit
// alike on screen and on the saved page whatever the zoom.

#include "TextBlock.h"

#include <QImage>
#include <QTextDocument>

class BlockRichTextLayout {
 public:
  explicit BlockRichTextLayout(const TextBlock& block);
  BlockRichTextLayout(const BlockRichTextLayout&) = delete;
  BlockRichTextLayout& operator=(const BlockRichTextLayout&) = delete;

  QTextDocument& document() { return layoutDocument; }
  // Horizontal factor (at most 1) that narrows lines kept on one line into
  // the block's width; 1 for text that wraps.
  double narrowing() const { return narrow; }

 private:
  QImage device;  // 72 dots per inch: one pixel is one point
  QTextDocument layoutDocument;
  double narrow = 1.0;
};
