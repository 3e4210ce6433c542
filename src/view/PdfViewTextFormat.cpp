// The ribbon's format commands on the active text editor, each one undo
// step, the editor's change reaction, and the report of the format at the
// cursor. Sizes inside the block editor are pixels; reported sizes points.
#include "PdfView.h"

#include "BlockEditorDocument.h"
#include "BlockEditorFrame.h"
#include "BlockTextRenderer.h"
#include "EditedTextDocument.h"
#include "RotatedTextEdit.h"
#include "core/TextEditRefusal.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <algorithm>
#include <cmath>

namespace {

const QString kCharacterFormatLabel = QStringLiteral("Форматирование текста");

void scrollEditorToTop(QTextEdit* editor) {
  editor->horizontalScrollBar()->setValue(0);
  editor->verticalScrollBar()->setValue(0);
}

}  // namespace

// Folds the editor into the active block after a command changed it.
// Whether the open block's text cannot be changed; the user is told why.
bool PdfView::refuseActiveBlockEdit() {
  if (!isValidBlockIndex(activeOcrBlock)) return false;
  const QString why = textEditRefusal(ocrBlocks[static_cast<std::size_t>(activeOcrBlock)]);
  if (!why.isEmpty()) emit textEditRefused(why);
  return !why.isEmpty();
}

void PdfView::markActiveBlockEdited() {
  QTextEdit* editor = activeTextEditor();
  if (!editor || !blockEditorFrame || editor != blockEditorFrame->textEditor()) return;
  applyEditedTextDocument(ocrBlocks[static_cast<std::size_t>(activeOcrBlock)], editor, true, zoom);
  markOcrBlocksDirty();
}

void PdfView::mergeActiveTextFormat(const QTextCharFormat& format) {
  QTextEdit* editor = activeTextEditor();
  if (!editor || refuseActiveBlockEdit()) return;
  pushEditorCommandUndo(kCharacterFormatLabel);
  editorSyncInProgress = true;
  const bool wasBlocked = editor->blockSignals(true);
  const bool fixed = activeBlockUsesFixedLineLayout();
  QTextCursor cursor = editor->textCursor();
  if (!fixed) {
    normalizeEditorTextLayout(editor);
    wrapEditorAsWritten(editor, activeBlockWraps());
    QTextBlockFormat paragraph;
    paragraph.setTopMargin(0);
    paragraph.setBottomMargin(0);
    paragraph.setLineHeight(100, QTextBlockFormat::ProportionalHeight);
    cursor.mergeBlockFormat(paragraph);
  }
  cursor.mergeCharFormat(format);
  editor->setTextCursor(cursor);
  editor->mergeCurrentCharFormat(format);
  editor->verticalScrollBar()->setValue(0);
  editor->blockSignals(wasBlocked);
  editorSyncInProgress = false;
  markActiveBlockEdited();
  emitActiveTextFormat();
  if (!fixed) scheduleActiveBlockFit();
  viewport()->update();
}

void PdfView::setActiveTextFontFamily(const QString& family) {
  if (!activeTextEditor() || family.trimmed().isEmpty()) return;
  QTextCharFormat format;
  format.setFontFamilies(QStringList{family});
  mergeActiveTextFormat(format);
}

void PdfView::setActiveTextFontSize(int points) {
  QTextEdit* editor = activeTextEditor();
  if (!editor) return;
  const int size = std::clamp(points, 1, 300);
  QFont font = editor->textCursor().charFormat().font();
  if (font.family().trimmed().isEmpty()) font = editor->currentFont();
  const bool zoomed = (blockEditorFrame && editor == blockEditorFrame->textEditor()) || editor == inlineTextEdit;
  font.setPixelSize(zoomed ? std::clamp(static_cast<int>(std::lround(size * std::max(zoom, 0.001))), 1, 1000)
                                : size);
  QTextCharFormat format;
  format.setFont(font, QTextCharFormat::FontPropertiesAll);
  mergeActiveTextFormat(format);
}

void PdfView::setActiveTextBold(bool on) {
  QTextCharFormat format;
  format.setFontWeight(on ? QFont::Bold : QFont::Normal);
  mergeActiveTextFormat(format);
}

void PdfView::setActiveTextItalic(bool on) {
  QTextCharFormat format;
  format.setFontItalic(on);
  mergeActiveTextFormat(format);
}

void PdfView::setActiveTextUnderline(bool on) {
  QTextCharFormat format;
  format.setUnderlineStyle(on ? QTextCharFormat::SingleUnderline : QTextCharFormat::NoUnderline);
  mergeActiveTextFormat(format);
}

void PdfView::setActiveTextStrikeOut(bool on) {
  QTextCharFormat format;
  format.setFontStrikeOut(on);
  mergeActiveTextFormat(format);
}

void PdfView::setActiveTextSuperscript(bool on) {
  QTextCharFormat format;
  format.setVerticalAlignment(on ? QTextCharFormat::AlignSuperScript : QTextCharFormat::AlignNormal);
  mergeActiveTextFormat(format);
}

void PdfView::setActiveTextSubscript(bool on) {
  QTextCharFormat format;
  format.setVerticalAlignment(on ? QTextCharFormat::AlignSubScript : QTextCharFormat::AlignNormal);
  mergeActiveTextFormat(format);
}

void PdfView::setActiveTextColor(const QColor& color) {
  if (!color.isValid()) return;
  QTextCharFormat format;
  format.setForeground(QBrush(color));
  mergeActiveTextFormat(format);
}

void PdfView::setActiveTextBackgroundColor(const QColor& color) {
  if (!color.isValid()) return;
  QTextCharFormat format;
  format.setBackground(QBrush(color));
  mergeActiveTextFormat(format);
}

void PdfView::clearActiveTextFormatting() {
  QTextCharFormat format;
  format.setFontWeight(QFont::Normal);
  format.setFontItalic(false);
  format.setFontUnderline(false);
  format.setFontStrikeOut(false);
  format.setVerticalAlignment(QTextCharFormat::AlignNormal);
  format.setForeground(QBrush(Qt::black));
  format.setBackground(Qt::NoBrush);
  mergeActiveTextFormat(format);
}

void PdfView::mergeActiveBlockFormat(const QTextBlockFormat& format) {
  QTextEdit* editor = activeTextEditor();
  if (!editor) return;
  pushEditorCommandUndo(QStringLiteral("Форматирование абзаца"));
  editorSyncInProgress = true;
  const bool wasBlocked = editor->blockSignals(true);
  QTextCursor cursor = editor->textCursor();
  cursor.mergeBlockFormat(format);
  editor->setTextCursor(cursor);
  editor->verticalScrollBar()->setValue(0);
  editor->blockSignals(wasBlocked);
  editorSyncInProgress = false;
  markActiveBlockEdited();
  emitActiveTextFormat();
  scheduleActiveBlockFit();
  viewport()->update();
}

void PdfView::setActiveTextAlignment(Qt::Alignment alignment) {
  QTextBlockFormat format;
  format.setAlignment(alignment);
  mergeActiveBlockFormat(format);
}

void PdfView::adjustActiveTextIndent(int delta) {
  QTextEdit* editor = activeTextEditor();
  if (!editor) return;
  QTextBlockFormat format;
  format.setLeftMargin(std::max(0.0, editor->textCursor().blockFormat().leftMargin() + delta));
  mergeActiveBlockFormat(format);
}

void PdfView::runListCommand(const QString& label, QTextListFormat::Style style) {
  QTextEdit* editor = activeTextEditor();
  if (!editor) return;
  pushEditorCommandUndo(label);
  editorSyncInProgress = true;
  const bool wasBlocked = editor->blockSignals(true);
  QTextCursor cursor = editor->textCursor();
  QTextListFormat list;
  list.setStyle(style);
  list.setIndent(1);
  cursor.createList(list);
  editor->setTextCursor(cursor);
  editor->blockSignals(wasBlocked);
  editorSyncInProgress = false;
  markActiveBlockEdited();
  emitActiveTextFormat();
  viewport()->update();
}

void PdfView::setActiveTextBulletedList() {
  runListCommand(QStringLiteral("Маркированный список"), QTextListFormat::ListDisc);
}

void PdfView::setActiveTextNumberedList() {
  runListCommand(QStringLiteral("Нумерованный список"), QTextListFormat::ListDecimal);
}

bool PdfView::insertTextIntoActiveEditor(const QString& text) {
  QTextEdit* editor = activeTextEditor();
  if (text.isEmpty() || !editor || refuseActiveBlockEdit()) return false;
  pushEditorCommandUndo(QStringLiteral("Вставка текста"));
  editor->setFocus(Qt::OtherFocusReason);
  QTextCursor cursor = editor->textCursor();
  cursor.insertText(text);
  editor->setTextCursor(cursor);
  emitActiveTextFormat();
  viewport()->update();
  return true;
}

void PdfView::updateActiveBlockText(const QString& text) {
  if (!blockEditorFrame || !isValidBlockIndex(activeOcrBlock)) return;
  pushUndoSnapshot(QStringLiteral("OCR блока"), true);
  TextBlock& block = ocrBlocks[static_cast<std::size_t>(activeOcrBlock)];
  block.text = text;
  block.textEdited = false;
  block.richTextHtml.clear();
  blockEditorFrame->setPlaceholderText(QString());
  RotatedTextEdit* editor = blockEditorFrame->textEditor();
  disconnect(editor, nullptr, this, nullptr);
  const bool wasBlocked = editor->blockSignals(true);
  editorSyncInProgress = true;
  editor->setPlainText(text);
  normalizeEditorTextLayout(editor);
  setEditorRotatedPresentation(editor);
  editorSyncInProgress = false;
  editor->blockSignals(wasBlocked);
  connectActiveTextEditorSignals(editor);
  emitActiveTextFormat();
  markOcrBlocksDirty();
  viewport()->update();
}

void PdfView::connectActiveTextEditorSignals(QTextEdit* editor) {
  if (!editor) return;
  disconnect(editor, nullptr, this, nullptr);
  connect(editor, &QTextEdit::currentCharFormatChanged, this, [this] {
    emitActiveTextFormat();
    viewport()->update();
  });
  connect(editor, &QTextEdit::cursorPositionChanged, this, [this, editor] {
    scrollEditorToTop(editor);
    emitActiveTextFormat();
    viewport()->update();
  });
  connect(editor, &QTextEdit::selectionChanged, this, [this] {
    emitActiveTextFormat();
    viewport()->update();
  });
  connect(editor, &QTextEdit::textChanged, this, &PdfView::onActiveEditorTextChanged);
}

void PdfView::onActiveEditorTextChanged() {
  if (editorSyncInProgress || !blockEditorFrame || !isValidBlockIndex(activeOcrBlock)) return;
  RotatedTextEdit* editor = blockEditorFrame->textEditor();
  if (sender() && sender() != editor) return;
  captureActiveEditorUndoIfNeeded(QStringLiteral("Редактирование текста"), false);
  const bool fixed = activeBlockUsesFixedLineLayout();
  editorSyncInProgress = true;
  TextBlock& block = ocrBlocks[static_cast<std::size_t>(activeOcrBlock)];
  if (!fixed) {
    const bool wasBlocked = editor->blockSignals(true);
    normalizeEditorTextLayout(editor);
    editor->blockSignals(wasBlocked);
  }
  wrapEditorAsWritten(editor, activeBlockWraps());
  applyEditedTextDocument(block, editor, block.textEdited, zoom);
  // Typed text that no longer matches the stored lines is kept as the
  // editor shows it: the preview draws it and the write-back replaces the
  // page's glyphs with it, instead of writing the old lines again.
  if (!block.textEdited && blockTextEdited(block)) applyEditedTextDocument(block, editor, true, zoom);
  editorSyncInProgress = false;
  scrollEditorToTop(editor);
  markOcrBlocksDirty();
  viewport()->update();
  // A fixed layout grows only by the lines typed below its own.
  scheduleActiveBlockFit();
}

void PdfView::emitActiveTextFormat() {
  QTextEdit* editor = activeTextEditor();
  if (!editor) {
    emit activeTextEditorAvailable(false);
    return;
  }
  const QTextCursor cursor = editor->textCursor();
  QTextCharFormat format = cursor.charFormat();
  if (cursor.hasSelection()) {
    // The selected text speaks, whichever end the cursor stands at.
    QTextCursor first(editor->document());
    first.setPosition(cursor.selectionStart() + 1);
    format = first.charFormat();
  }
  QFont font = format.font();
  QString family = font.family().trimmed();
  if (family.isEmpty()) {
    font = editor->currentFont();
    family = font.family().trimmed();
  }
  if (family.isEmpty()) family = QStringLiteral("Times New Roman");

  double size = font.pixelSize();
  if (size < 1) size = std::round(format.doubleProperty(QTextFormat::FontPointSize));
  if (size < 1) size = font.pointSizeF();
  if (size < 1) size = 12;
  const bool blockEditor = blockEditorFrame && editor == blockEditorFrame->textEditor();
  // Both editors show their text at the page's zoom; the ribbon speaks points.
  if (blockEditor || editor == inlineTextEdit) size = std::max(1.0, std::round(size / std::max(zoom, 0.001)));
  const int reported = std::min(static_cast<int>(std::lround(size)), 300);

  bool bold = font.weight() > 699;
  if (format.hasProperty(QTextFormat::FontWeight) && format.intProperty(QTextFormat::FontWeight) > 699) bold = true;
  bool italic = format.boolProperty(QTextFormat::FontItalic) || font.style() != QFont::StyleNormal;
  if (blockEditor && isValidBlockIndex(activeOcrBlock)) {
    const TextBlock& block = ocrBlocks[static_cast<std::size_t>(activeOcrBlock)];
    // The line's own style speaks only until the user has styled the text.
    if (!block.textEdited && !editor->document()->isModified() && !block.lines.empty() &&
        !block.lines.front().transparentText && isNativePdfLine(block.lines.front()))
      italic = effectiveLineItalic(block.lines.front(), block);
  }
  const bool underline = format.fontUnderline() || font.underline();
  const bool strikeOut = format.boolProperty(QTextFormat::FontStrikeOut) || font.strikeOut();
  const bool superscript = format.verticalAlignment() == QTextCharFormat::AlignSuperScript;
  const bool subscript = format.verticalAlignment() == QTextCharFormat::AlignSubScript;
  Qt::Alignment alignment = cursor.blockFormat().alignment();
  if (alignment == Qt::Alignment()) alignment = Qt::AlignLeft;
  emit activeTextEditorAvailable(true);
  emit activeTextFormatChanged(family, reported, bold, italic, underline, strikeOut, superscript, subscript,
                               alignment);
}
