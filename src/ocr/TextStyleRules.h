#pragma once
// Style rules for recognised blocks: the line that speaks for a block's
// style, where bold is kept, one body style for the main text, and blocks
// split where their line style changes.

#include "core/TextBlock.h"

#include <QString>

#include <vector>

// The block's line with the most meaningful text; null when none has any.
const TextBlock::Line* representativeStyleLine(const TextBlock& block);

// The block takes its representative line's family, size, colour, bold and
// italic; false (and nothing changes) when no line has meaningful text.
bool takeRepresentativeStyle(TextBlock& block);

// Bold is kept on lines in capitals and on the headings documents bold.
bool shouldKeepDocumentBold(const QString& text);

void normalizeBodyTextStyle(std::vector<TextBlock>& blocks, double pageWidth, double pageHeight);

std::vector<TextBlock> splitBlocksByLineStyle(std::vector<TextBlock> blocks);

// Tidies one run of like lines into a block and appends it, or drops it
// when it holds no text.
void finishStyleRunBlock(std::vector<TextBlock>& out, TextBlock run);
