#pragma once
// Text lines into editable blocks: paragraphs on a normal page, column runs
// per cell on a ruled table.

#include "core/TextBlock.h"

#include <QImage>
#include <QRectF>
#include <QString>

#include <vector>

// Whether the rendered page is a ruled table (several long horizontal rules
// and at least two long vertical ones).
bool isLikelyTablePage(const QImage& image);

std::vector<TextBlock> groupOcrLines(std::vector<TextBlock::Line> lines, int page, double pageHeight);

std::vector<TextBlock> groupTableColumnRuns(std::vector<TextBlock::Line> lines, int page, double pageWidth,
                                            double pageHeight);

bool canAttachTableColumnLine(const TextBlock& block, const TextBlock::Line& line, double pageWidth,
                              double pageHeight);

TextBlock blockFromOcrLines(std::vector<TextBlock::Line> lines, int page, double pageHeight);

// The trimmed texts of the lines that have text, joined by newlines; united
// receives the union of those lines' rectangles (null when there are none).
QString joinTrimmedLineTexts(const std::vector<TextBlock::Line>& lines, QRectF& united);

// Text and rectangles of a block recomputed from its lines.
void rebuildBlockFromLines(TextBlock& block);
