#pragma once
// Left and right edges of recognised lines fitted to the printed ink: word
// boxes often miss the first or last letters of a line.

#include "core/TextBlock.h"

#include <QImage>

#include <vector>

// Only x and width change; y and height stay as the word boxes gave them.
void refineOcrLineInkRects(std::vector<TextBlock::Line>& lines, const QImage& image, double scale,
                           double pageHeight);
