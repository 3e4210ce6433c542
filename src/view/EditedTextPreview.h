#pragma once
// The view draws an edited block itself, line by line at the places of its
// stored lines, and the active block's text and caret while the editor
// widget paints nothing. Rectangles given here are the block's rectangle in
// viewport pixels; zoom is pixels per point.

#include "core/TextBlock.h"

#include <QRectF>
#include <QStringList>

#include <functional>

class BlockTextRenderer;
class QPainter;
class QTextEdit;

// Screen x and top of a line placed in the block's screen rectangle.
QPointF lineScreenOrigin(const TextBlock& block, const TextBlock::Line& line, const QRectF& rect, double zoom);
// The block's rich text (stored in points) laid into rect at zoom pixels per point.
void drawRichPreview(QPainter& painter, const TextBlock& block, const QRectF& rect, double zoom);
// With fonts and blockIndex the fitted fonts of stored lines come from the
// view's cache instead of being fitted on every paint. `column` is the page's
// text column (pageTextColumn), which places a shorter one-line edit.
// Draws the page's own pixels of a rectangle in points into a target in
// viewport pixels.
using PagePixels = std::function<void(QPainter&, const QRectF& source, const QRectF& target)>;
// With `pagePixels`, a line typed into shows the characters the user did not
// touch as the page draws them and only the typed ones in the written face.
void drawEditedTextPreview(QPainter& painter, const TextBlock& block, const QRectF& rect, double zoom,
                           BlockTextRenderer* fonts = nullptr, int blockIndex = -1,
                           const QRectF& column = QRectF(), const PagePixels& pagePixels = {});
void drawPreviewEditorCaret(QPainter& painter, QTextEdit* editor, const TextBlock& block, const QRectF& rect,
                            double zoom, const QRectF& textColumn = QRectF());
// Where the preview shows the insertion point before character `position` of
// the editor's text: x, and the top and height of its line, in viewport
// pixels. Empty when the preview shows no such place.
QRectF previewCaretRect(const QString& plainText, const TextBlock& block, int position, const QRectF& rect,
                        double zoom, const QRectF& textColumn = QRectF());
// The block's rectangle and every line the preview draws: typed words may
// reach past the box the page drew the line in.
QRectF previewLinesRect(const QString& plainText, const TextBlock& block, const QRectF& rect, double zoom,
                        const QRectF& textColumn = QRectF());
// The character position whose insertion point the preview shows nearest to
// a viewport point; -1 when the block has no line to put it on.
int previewPositionAt(const QString& plainText, const TextBlock& block, const QPointF& point, const QRectF& rect,
                      double zoom, const QRectF& textColumn = QRectF());
// Whether the page still shows the block itself: the editor holds the lines
// the page drew, the block stands where the page drew it, unturned, and each
// line's words are found in it. The view then draws nothing over the page's
// glyphs (a click must not move the words under the pointer), and the caret,
// the selection and the pointer follow the words' boxes.
bool pageGlyphsShowBlock(const TextBlock& block, const QString& plainText);
// The editor's selection as a translucent highlight over the preview.
void drawPreviewEditorSelection(QPainter& painter, QTextEdit* editor, const TextBlock& block, const QRectF& rect,
                                double zoom, const QRectF& textColumn = QRectF());
// The dashed frame with handles of a turned active block.
void drawActiveTextBlockChrome(QPainter& painter, const QRectF& rect, double rotation);
