#pragma once
// Reading order of the text blocks of one page: top to bottom, blocks sharing
// a line left to right, and in the top band of the page the left-hand part
// before the right-hand part; columns of vertical writing right to left.

#include "TextBlock.h"

#include <vector>

// Whether block a is read before block b on a page of the given size (points).
bool readsBefore(const TextBlock& a, const TextBlock& b, double pageWidth, double pageHeight);

// Sorts in place by readsBefore. The rule is not a strict weak ordering (the
// top-band rule and the same-line rule can form cycles), so the sort is an
// insertion sort that stays in the list and ends whatever the rectangles.
void sortReadingOrder(std::vector<TextBlock>& blocks, double pageWidth, double pageHeight);
