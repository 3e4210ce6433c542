#pragma once
// Between a block and its editor: the editor's document is in viewport
// pixels (points x zoom), a block stores its rich text in points.

#include "core/TextBlock.h"

class QTextDocument;
class QTextEdit;

// Stores the editor's content in the block: its plain text always, its rich
// text (in points) when the content needs it, forceRich is set or the block
// was already edited.
void applyEditedTextDocument(TextBlock& block, QTextEdit* editor, bool forceRich, double zoom);
// Multiplies every pixel measure of the document (margins, indents, fixed
// line heights, font pixel sizes) by factor.
void scaleDocumentFontPixels(QTextDocument* document, double factor);
