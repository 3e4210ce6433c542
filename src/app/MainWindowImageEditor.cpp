// Editing the picture of an image block in the image editor.
#include "MainWindow.h"

#include "paint/FacsimileEditorDialog.h"
#include "ui/DialogHelpers.h"
#include "view/PdfView.h"

#include <QLabel>

void MainWindow::onImageBlockEditRequested(QImage image) {
  if (image.isNull()) return;
  FacsimileEditorDialog dialog(this);
  dialog.setWindowTitle(QStringLiteral("Редактировать изображение"));
  if (!dialog.setImage(image)) {
    appInfo(this, QStringLiteral("Редактировать изображение"), editorImageSizeProblem(image.size()));
    return;
  }
  if (dialog.exec() != QDialog::Accepted) return;
  const QImage edited = dialog.image();
  if (edited.isNull()) return;
  view->updateSelectedImageBlock(edited);
  updateTitle();
  if (statusLabel) statusLabel->setText(tr("Изображение обновлено. Сохраните изменения."));
}
