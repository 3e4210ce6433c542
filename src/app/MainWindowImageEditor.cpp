// Editing the picture of an image block in the image editor.
#include "MainWindow.h"

#include "paint/FacsimileEditorDialog.h"
#include "ui/DialogHelpers.h"
#include "view/PdfView.h"

#include <QLabel>
#include <QScopedValueRollback>

namespace {

// The selected block when it is the page's own picture as the file holds it.
const TextBlock* selectedPagePicture(const PdfView* view) {
  const QSet<int> selected = view->selectedOcrBlockIndices();
  const std::vector<TextBlock>& blocks = view->currentOcrBlocks();
  if (selected.size() != 1) return nullptr;
  const int index = *selected.begin();
  if (index < 0 || index >= int(blocks.size())) return nullptr;
  const TextBlock& block = blocks[size_t(index)];
  const bool fromFile = block.originalRect.width() > 0 && block.originalRect.height() > 0;
  return block.isImage && !block.inkLayer && !block.imageEdited && fromFile ? &block : nullptr;
}

}  // namespace

void MainWindow::onImageBlockEditRequested(QImage image) {
  if (image.isNull()) return;
  // The block shows the page's picture at the size it is placed; the editor
  // gets the picture's own pixels, so that editing never lowers them.
  if (const TextBlock* picture = selectedPagePicture(view)) {
    const QImage own = currentDocument->imageObjectOwnPixels(view->ocrBlocksPageIndex(), picture->originalRect);
    if (!own.isNull()) image = own;
  }
  FacsimileEditorDialog dialog(this);
  dialog.setWindowTitle(QStringLiteral("Редактировать изображение"));
  if (!dialog.setImage(image)) {
    appInfo(this, QStringLiteral("Редактировать изображение"), editorImageSizeProblem(image.size()));
    return;
  }
  bool changed = false;
  {
    const QScopedValueRollback<bool> editing(pictureEditorOpen, true);
    // Saved with nothing drawn, the picture stays as the file has it.
    changed = dialog.exec() == QDialog::Accepted && dialog.hasUnsavedDrawing();
  }
  const QImage edited = changed ? dialog.image() : QImage();
  if (!edited.isNull()) {
    if (view->updateSelectedImageBlock(edited)) {
      updateTitle();
      if (statusLabel) statusLabel->setText(tr("Изображение обновлено. Сохраните изменения."));
    } else {
      if (statusLabel) statusLabel->setText(tr("Изображение не возвращено на страницу"));
      appInfo(this, QStringLiteral("Редактировать изображение"),
              QStringLiteral("Изменённое изображение не удалось вернуть на страницу: его блок не найден. "
                             "Страница осталась прежней."));
    }
  }
  runOwedAutoSave();
}
