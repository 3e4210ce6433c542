#pragma once
// Cleaning the page's own text lines before they become editable blocks:
// decorative leader lines folded into their neighbours, leader padding cut,
// rectangles grown to a usable height, text lying on stamps and signatures
// dropped, and the test whether what is left is a real text layer. Also two
// block predicates that page recognition shares. Rectangles are in points of
// the shown page, y up from its bottom edge.

#include "core/TextBlock.h"

#include <QRectF>
#include <QSizeF>
#include <QString>

#include <vector>

// At least three characters after simplification, all of them padding
// (spaces, hyphens, underscores, en and em dashes).
bool isDecorativeNativeSeparator(const TextBlock& block);
// Cuts runs of three or more padding characters at either end; shorter runs
// stay. All padding gives an empty string.
QString stripNativeDecorativePadding(const QString& text);
// 0.75 pt wider on each side and grown evenly to at least max(1.18 · size, 8) pt.
QRectF expandedNativeTextRect(const QRectF& rect, double fontSize);
// Text on a coloured-ink image (stamp, signature) whose characters look like
// an artefact of the ink rather than words.
bool looksLikeInkLayerTextArtifact(const TextBlock& block, const std::vector<TextBlock>& imageBlocks);
// An image the user placed: it has pixels and no rectangle of its own on the page.
bool isInsertedImageObject(const TextBlock& block);
// Whether the block meets a rectangle given with the origin at the page's top
// left, both widened by half a point.
bool blockIntersectsTopOriginRect(const TextBlock& block, const QRectF& topOriginRect, double pageHeight);

// The extracted lines of a page, separators folded and dropped, cleaned, and
// with ink artefacts removed when the page has images; order kept.
std::vector<TextBlock> cleanNativeTextBlocks(std::vector<TextBlock> blocks, const std::vector<TextBlock>& images);
// More than eleven characters, or at least one per cent of the page covered.
// On a page of form fields any kept text counts: its labels are short by
// design, and such a page is never a scan waiting for recognition.
bool isUsableNativeTextLayer(const std::vector<TextBlock>& kept, QSizeF pageSize, bool formPage = false);
