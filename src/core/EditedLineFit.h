#pragma once
// Where an edited line of plain text goes inside its line box. The writer
// and the editor's preview both follow this, so the saved page shows the line
// where the preview drew it: a line wider than its box is narrowed to it, a
// shorter one keeps the side the line was aligned to and is never widened.

#include "TextBlock.h"

#include <Qt>

#include <optional>

// The face new and edited text is written in, whatever the family asked
// for (the page gets the DejaVu files); previews of new text use it too.
inline const QString kWrittenTextFamily = QStringLiteral("DejaVu Serif");

struct EditedLineFit {
  double x = 0;      // left edge of the text, same units as the box
  double scale = 1;  // horizontal scale of the glyphs
};

// The column the page's own text stands in: the union of the places of its
// text blocks (blocks placed new by the user do not count). Points.
QRectF pageTextColumn(const std::vector<TextBlock>& blocks);

// The block's text split at line feeds when that matches its lines or holds
// more than one line; else the lines' own texts: the lines the editor shows.
QStringList displayLines(const TextBlock& block);

// Whether line i of the block (its text as stored) reads right to left.
bool lineRunsRightToLeft(const TextBlock& block, int lineIndex);

// Right or centred when the block's lines show it (flush right edges with an
// indented left, or equal indents on both sides); a one-line block by its
// place in the page's text `column`: centred in it, or flush with its right
// edge and far inside its left one. Else left. A right-to-left line the
// other way about: right unless its lines or place show left.
Qt::Alignment editedLineAlignment(const TextBlock& block, int lineIndex, const QRectF& column = QRectF());

// `naturalWidth` is the line's advance at its size in the font it is drawn
// in; `unitsPerPoint` how many of the box's units a point of the page is.
EditedLineFit fitEditedLine(const TextBlock& block, int lineIndex, double boxLeft, double boxWidth,
                            double naturalWidth, const QRectF& column = QRectF(), double unitsPerPoint = 1);

// Rich text typed into a new block wraps inside it; rich text of a block
// made from lines of the page keeps its line breaks and is narrowed into the
// width those lines had, as the page's other lines hold their margins.
bool richTextWraps(const TextBlock& block);
// The width rich text of the block is laid out in (points).
double richTextWidth(const TextBlock& block);
// The width wrapping rich text `width` points wide is laid out in, unhinted:
// the slack keeps a line the editors fitted, hinted or not, on one line.
double wrappedRichTextWidth(double width);

// A line's box as its glyphs span it: its words' extent, moved with the
// block (the line box a text layer keeps is a little wider, for the
// pointer); the line's own box when it has no words.
QRectF writtenLineBox(const TextBlock& block, const TextBlock::Line& line);
// For a block of one line whose rich text stays in that line's place, the
// box its glyphs spanned: the edited text is held inside it. Nothing else.
std::optional<QRectF> keptLineBox(const TextBlock& block);
// Where the line's glyphs stand (y upwards, before any move of its block),
// estimated from its words' boxes; nothing for a line without words.
std::optional<double> lineBaseline(const TextBlock::Line& line);
