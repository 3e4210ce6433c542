#pragma once
// Pictures, stamps, signatures and logos on a rendered page: found as image
// blocks, and the recogniser's misreads on them dropped.

#include "core/TextBlock.h"

#include <QImage>
#include <QRectF>
#include <QSize>

#include <vector>

// A region of dark pixels; bounds inclusive, in image pixels.
struct ImageComponent {
  int minX = 0;
  int minY = 0;
  int maxX = -1;
  int maxY = -1;
  int pixelCount = 0;
};

std::vector<TextBlock> detectImageBlocks(const QImage& image, const std::vector<QRectF>& wordRects, int page,
                                         double scale, double pageHeight);

bool isImageLikeComponent(const ImageComponent& component, const QSize& imageSize);

// Whether a recognised word is a misread of a picture.
bool isImageNoiseWord(const TextBlock::Line::Word& word, const std::vector<TextBlock>& imageBlocks);

// Whether a text block is a misread of a picture.
bool isImageNoiseText(const TextBlock& block, const std::vector<TextBlock>& imageBlocks);

// Removes noise words from the text blocks, rebuilding the lines and blocks
// that lost any, and then the text blocks left empty.
void removeImageNoiseWords(std::vector<TextBlock>& blocks, const std::vector<TextBlock>& imageBlocks);

// Removes the text blocks that are noise on the pictures.
void removeImageNoiseText(std::vector<TextBlock>& blocks, const std::vector<TextBlock>& imageBlocks);
