// The overlay's own undo history: every editing step stores a snapshot of
// the whole overlay before it changes anything, and undo and redo swap whole
// snapshots.
#include "PdfView.h"

#include "BlockEditorFrame.h"
#include "EditedTextDocument.h"
#include "RotatedTextEdit.h"

#include <algorithm>

PdfView::EditSnapshot PdfView::makeEditSnapshot(const QString& label, bool includeActiveEditor) const {
  EditSnapshot s;
  s.blocks = ocrBlocks;
  s.groupIds = ocrBlockGroupIds;
  s.removed = removedOcrBlocks;
  s.selectedBlocks = selectedOcrBlocks;
  s.label = label;
  s.page = ocrBlocksPage;
  s.activeBlock = activeOcrBlock;
  s.nextGroupId = nextOcrGroupId;
  s.edited = ocrBlocksDirty;
  if (includeActiveEditor && blockEditorFrame && isValidBlockIndex(activeOcrBlock)) {
    TextBlock& active = s.blocks[static_cast<std::size_t>(activeOcrBlock)];
    if (!active.isImage) applyEditedTextDocument(active, blockEditorFrame->textEditor(), active.textEdited, zoom);
  }
  return s;
}

void PdfView::pushUndoSnapshot(const QString& label, bool includeActiveEditor) {
  if (restoringSnapshot) return;
  undoStack.push_back(makeEditSnapshot(label, includeActiveEditor));
  if (undoStack.size() > kMaxUndoSteps) undoStack.erase(undoStack.begin());
  redoStack.clear();
  emit undoRedoAvailabilityChanged(!undoStack.empty(), !redoStack.empty());
}

void PdfView::captureActiveEditorUndoIfNeeded(const QString& label, bool includeActiveEditor) {
  if (restoringSnapshot || editorSyncInProgress || !isValidBlockIndex(activeOcrBlock)) return;
  if (editorUndoCaptured && editorUndoBlock == activeOcrBlock) return;
  pushUndoSnapshot(label, includeActiveEditor);
  editorUndoCaptured = true;
  editorUndoBlock = activeOcrBlock;
}

void PdfView::pushEditorCommandUndo(const QString& label) {
  if (restoringSnapshot || editorSyncInProgress || !isValidBlockIndex(activeOcrBlock)) return;
  pushUndoSnapshot(label, true);
  editorUndoCaptured = false;
  editorUndoBlock = activeOcrBlock;
}

void PdfView::captureBlockInteractionUndoIfNeeded(const QString& label) {
  if (restoringSnapshot || blockInteractionUndoCaptured || !isValidBlockIndex(activeOcrBlock)) return;
  pushUndoSnapshot(label, true);
  blockInteractionUndoCaptured = true;
}

void PdfView::restoreEditSnapshot(const EditSnapshot& s) {
  // The editor is closed without folding its text in: the blocks it would
  // write into are about to be replaced.
  restoringSnapshot = true;
  deactivateOcrBlock();
  restoringSnapshot = false;

  ocrBlocks = s.blocks;
  ocrBlockGroupIds = s.groupIds;
  removedOcrBlocks = s.removed;
  if (ocrBlockGroupIds.size() != ocrBlocks.size()) ocrBlockGroupIds.assign(ocrBlocks.size(), 0);
  selectedOcrBlocks.clear();
  for (int index : s.selectedBlocks) {
    if (isValidBlockIndex(index)) selectedOcrBlocks.insert(index);
  }
  ocrBlocksPage = s.page;
  nextOcrGroupId = std::max(s.nextGroupId, 1);
  ocrBlocksDirty = s.edited;
  editorUndoCaptured = false;
  blockInteractionUndoCaptured = false;
  editorUndoBlock = -1;

  if (editMode && isValidBlockIndex(s.activeBlock)) {
    activateOcrBlock(s.activeBlock);
  } else {
    activeOcrBlock = -1;
    emit activeTextEditorAvailable(false);
  }
  viewport()->update();
}

void PdfView::undo() { stepHistory(undoStack, redoStack, QStringLiteral("Повторить")); }

void PdfView::redo() { stepHistory(redoStack, undoStack, QStringLiteral("Отменить")); }

void PdfView::stepHistory(std::vector<EditSnapshot>& from, std::vector<EditSnapshot>& to, const QString& label) {
  if (from.empty()) return;
  // The present goes onto the other stack; the two together stay within
  // the limit because one snapshot leaves for each that arrives.
  EditSnapshot current = makeEditSnapshot(label, true);
  const EditSnapshot taken = std::move(from.back());
  from.pop_back();
  to.push_back(std::move(current));
  restoreEditSnapshot(taken);
  emit undoRedoAvailabilityChanged(!undoStack.empty(), !redoStack.empty());
  emit ocrBlocksEdited();
  if (!ocrBlocksDirty) emit ocrEditsReverted();
}

void PdfView::clearUndoHistory() {
  undoStack.clear();
  redoStack.clear();
  editorUndoCaptured = false;
  blockInteractionUndoCaptured = false;
  editorUndoBlock = -1;
  emit undoRedoAvailabilityChanged(false, false);
}

void PdfView::emitUndoRedoAvailability() { emit undoRedoAvailabilityChanged(canUndo(), canRedo()); }
