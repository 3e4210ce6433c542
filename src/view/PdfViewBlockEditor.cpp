// Opening and closing the editor frame over a block of the overlay, and the
// frame's gestures turned into block geometry.
#include "PdfView.h"

#include "BlockEditorFrame.h"
#include "BlockTextRenderer.h"
#include "EditedTextDocument.h"
#include "RotatedTextEdit.h"

#include <QScrollBar>
#include <QTextDocument>

#include <cmath>

namespace {

const QString kEditorStyleSheet = QStringLiteral(
    "QTextEdit#BlockTextEditor {  background: rgba(255,255,255,0);  background-color: rgba(255,255,255,0);  "
    "border: none;  color: black;  margin: 0px;  padding: 0px;}QWidget#BlockTextEditorViewport {  background: "
    "rgba(255,255,255,0);  background-color: rgba(255,255,255,0);}");

void scrollEditorToTop(QTextEdit* editor) {
  editor->horizontalScrollBar()->setValue(0);
  editor->verticalScrollBar()->setValue(0);
}

}  // namespace

void PdfView::activateOcrBlock(int index) {
  if (!isValidBlockIndex(index)) {
    deactivateOcrBlock();
    return;
  }
  if (blockEditorFrame && isValidBlockIndex(activeOcrBlock)) {
    TextBlock& previous = ocrBlocks[static_cast<std::size_t>(activeOcrBlock)];
    if (!previous.isImage)
      applyEditedTextDocument(previous, blockEditorFrame->textEditor(), previous.textEdited, zoom);
  }
  activeOcrBlock = index;
  editorUndoBlock = index;
  editorUndoCaptured = false;

  if (!blockEditorFrame) {
    blockEditorFrame = new BlockEditorFrame(viewport());
    connect(blockEditorFrame, &BlockEditorFrame::rectChanged, this, &PdfView::onBlockFrameRectChanged);
    connect(blockEditorFrame, &BlockEditorFrame::rotationChanged, this, &PdfView::onBlockFrameRotationChanged);
    connect(blockEditorFrame, &BlockEditorFrame::interactionStarted, this,
            [this] { blockInteractionUndoCaptured = false; });
    connect(blockEditorFrame, &BlockEditorFrame::interactionFinished, this,
            [this] { blockInteractionUndoCaptured = false; });
  }
  const TextBlock& block = ocrBlocks[static_cast<std::size_t>(index)];
  BlockEditorFrame* frame = blockEditorFrame;
  frame->setContentRectOverride(QRect());
  frame->setImageMode(block.isImage);
  frame->setRotationAngle(block.rotation);
  // The view paints a text block's preview itself; the editor only edits.
  frame->setTextPaintingSuppressed(!block.isImage);

  if (block.isImage) {
    frame->setPlaceholderText(QString());
    repositionBlockEditor();
    frame->show();
    frame->raise();
    frame->raiseChromeOverlay();
    frame->setFocus();
    emit activeTextEditorAvailable(false);
    viewport()->update();
    return;
  }

  RotatedTextEdit* editor = frame->textEditor();
  disconnect(editor, nullptr, this, nullptr);
  const bool wasBlocked = editor->blockSignals(true);
  editorSyncInProgress = true;
  const bool rich = block.textEdited && blockHasRichTextPreview(block);
  editor->setLineWrapMode(rich ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
  editor->setStyleSheet(kEditorStyleSheet);
  frame->setPlaceholderText(QString());
  if (rich) {
    editor->setHtml(block.richTextHtml);
    scaleDocumentFontPixels(editor->document(), zoom);
  } else {
    if (!block.lines.empty()) {
      const QFont font = lineRenderFont(block.lines.front(), block, zoom, block.text, true, 1.0);
      editor->setFont(font);
      editor->document()->setDefaultFont(font);
    }
    editor->setPlainText(block.text);
  }
  editor->document()->setModified(false);
  scrollEditorToTop(editor);
  editorSyncInProgress = false;
  editor->blockSignals(wasBlocked);

  repositionBlockEditor();
  frame->show();
  frame->raise();
  frame->raiseChromeOverlay();
  editor->setFocus(Qt::OtherFocusReason);
  connect(editor, &QTextEdit::textChanged, this, &PdfView::onActiveEditorTextChanged);
  viewport()->update();
}

void PdfView::deactivateOcrBlock() {
  const bool hadEditor = activeTextEditor() != nullptr;
  if (blockEditorFrame && isValidBlockIndex(activeOcrBlock)) {
    TextBlock& block = ocrBlocks[static_cast<std::size_t>(activeOcrBlock)];
    // An image block never loaded the editor: its text must not take the
    // editor's leftovers.
    if (!restoringSnapshot && !block.isImage)
      applyEditedTextDocument(block, blockEditorFrame->textEditor(), block.textEdited, zoom);
    disconnect(blockEditorFrame->textEditor(), nullptr, this, nullptr);
  }
  activeOcrBlock = -1;
  editorUndoCaptured = false;
  editorUndoBlock = -1;
  if (blockEditorFrame) {
    blockEditorFrame->setContentRectOverride(QRect());
    blockEditorFrame->setRotationAngle(0.0);
    blockEditorFrame->hide();
  }
  if (hadEditor) emit activeTextEditorAvailable(activeTextEditor() != nullptr);
  viewport()->update();
}

void PdfView::setEditMode(bool on) {
  if (on == editMode) return;
  editMode = on;
  if (!on) deactivateOcrBlock();
  viewport()->update();
}

QTextEdit* PdfView::activeTextEditor() const {
  if (!blockEditorFrame || !isValidBlockIndex(activeOcrBlock)) return nullptr;
  if (ocrBlocks[static_cast<std::size_t>(activeOcrBlock)].isImage || !blockEditorFrame->isVisible()) return nullptr;
  return blockEditorFrame->textEditor();
}

void PdfView::repositionBlockEditor() {
  if (!blockEditorFrame || !isValidBlockIndex(activeOcrBlock) || ocrBlocksPage < 0) return;
  const QRect r =
      pdfRectToScreenRect(ocrBlocksPage, ocrBlocks[static_cast<std::size_t>(activeOcrBlock)].rect).toRect();
  // Too small to hold the chrome and a line of text.
  if (!r.isValid() || r.width() - 1 <= 14 || r.height() - 1 <= 14) {
    blockEditorFrame->hide();
    return;
  }
  blockEditorFrame->setContentRectOverride(QRect());
  blockEditorFrame->setContentScreenRect(r);
  blockEditorFrame->show();
  blockEditorFrame->raise();
  blockEditorFrame->raiseChromeOverlay();
}

void PdfView::onActiveEditorTextChanged() {
  if (editorSyncInProgress || !blockEditorFrame || !isValidBlockIndex(activeOcrBlock)) return;
  captureActiveEditorUndoIfNeeded(QStringLiteral("Редактирование текста"), false);
  TextBlock& block = ocrBlocks[static_cast<std::size_t>(activeOcrBlock)];
  applyEditedTextDocument(block, blockEditorFrame->textEditor(), block.textEdited, zoom);
  markOcrBlocksDirty();
  viewport()->update();
}

void PdfView::onBlockFrameRectChanged(QRect newRect) {
  if (!isValidBlockIndex(activeOcrBlock)) return;
  const bool firstStep = !blockInteractionUndoCaptured;
  captureBlockInteractionUndoIfNeeded(QStringLiteral("Изменение блока"));
  TextBlock& block = ocrBlocks[static_cast<std::size_t>(activeOcrBlock)];
  if (moveBlockWithFrame(block, newRect, firstStep)) {
    markOcrBlocksDirty();
    if (blockEditorFrame) {
      blockEditorFrame->raise();
      blockEditorFrame->raiseChromeOverlay();
    }
    viewport()->update();
    return;
  }
  const QRectF old = block.rect;
  const QRectF now = screenContentRectToPdf(newRect).normalized();
  const bool sized = old.width() > 0 && old.height() > 0 && now.width() > 0 && now.height() > 0;
  const double dx = now.x() - old.x();
  const double dy = now.y() - old.y();
  // A move carries the lines along; a resize changes only the block's box.
  if (sized && now != old && std::abs(now.width() - old.width()) < 0.25 &&
      std::abs(now.height() - old.height()) < 0.25 && !block.isImage && (dx != 0 || dy != 0)) {
    for (TextBlock::Line& line : block.lines) {
      line.rect.translate(dx, dy);
      for (TextBlock::Line::Word& word : line.words) word.rect.translate(dx, dy);
    }
  }
  block.rect = now;
  markOcrBlocksDirty();
  if (blockEditorFrame) {
    blockEditorFrame->raise();
    blockEditorFrame->raiseChromeOverlay();
  }
  viewport()->update();
}

void PdfView::onBlockFrameRotationChanged(double degrees) {
  if (!isValidBlockIndex(activeOcrBlock)) return;
  captureBlockInteractionUndoIfNeeded(QStringLiteral("Поворот блока"));
  TextBlock& block = ocrBlocks[static_cast<std::size_t>(activeOcrBlock)];
  if (std::abs(degrees - block.rotation) > 0.01) markOcrBlocksDirty();
  block.rotation = degrees;
  if (blockEditorFrame && !block.isImage)
    applyEditedTextDocument(block, blockEditorFrame->textEditor(), block.textEdited, zoom);
  repositionBlockEditor();
  viewport()->update();
}
