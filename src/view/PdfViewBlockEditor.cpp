// The editor frame's gestures turned into block geometry.
#include "PdfView.h"

#include "BlockEditorFrame.h"
#include "BlockGeometry.h"
#include "BlockTextRenderer.h"
#include "EditedTextDocument.h"
#include "RotatedTextEdit.h"

#include <cmath>

void PdfView::onBlockFrameRectChanged(QRect newRect) {
  if (!isValidBlockIndex(activeOcrBlock)) return;
  captureBlockInteractionUndoIfNeeded(QStringLiteral("Изменение блока"));
  TextBlock& block = ocrBlocks[static_cast<std::size_t>(activeOcrBlock)];
  if (moveBlockWithFrame(block, newRect)) {
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
      std::abs(now.height() - old.height()) < 0.25 && !block.isImage && (dx != 0 || dy != 0))
    translateBlock(block, QPointF(dx, dy));
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
