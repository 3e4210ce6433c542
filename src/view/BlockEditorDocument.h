#pragma once
// Layout helpers for the block editor's document, shared by loading a block
// into the editor and by the format commands.

#include <QSizeF>
#include <QString>
#include <QStringList>

class QTextCharFormat;
class QTextCursor;
class QTextEdit;

// The size the editor's document needs when laid out at width pixels.
QSizeF editorDocumentSizeForWidth(QTextEdit* editor, int width);
// Text split at runs of white space, empty parts dropped.
QStringList splitWordsPreserveSimple(const QString& text);
// Flowing layout: no margins, word wrapping, single line height.
void normalizeEditorTextLayout(QTextEdit* editor);
// The editor breaks lines where the written layout does: a line of the page
// stays one line however long it grows (it is narrowed into its box), so
// that Home, End and the arrows move through it as it will be written.
void wrapEditorAsWritten(QTextEdit* editor, bool wraps);
// Editor and viewport see-through, so that the view's preview shows.
void setEditorRotatedPresentation(QTextEdit* editor);
// Inserts text with format; runs of two or more "_" become as many
// underlined no-break spaces, the blanks of a form.
void insertTextWithPlaceholderUnderlines(QTextCursor& cursor, const QString& text, const QTextCharFormat& format);
