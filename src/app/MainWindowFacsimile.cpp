// Facsimiles from the ribbon: adding a picture to the store, editing one in
// the image editor, and placing chosen ones on the page at their real size.
#include "MainWindow.h"

#include "paint/FacsimileEditorDialog.h"
#include "signature/SignatureWorkflow.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>

namespace {

QString tr8(const char* text) { return uiTranslate(QString::fromUtf8(text)); }

constexpr double kPointsPerMm = 72.0 / 25.4;

}  // namespace

QString MainWindow::facsimileDir() const { return facsimileFolder(); }

QStringList MainWindow::facsimileFiles() const { return listFacsimileFiles(facsimileDir()); }

void MainWindow::onFacsimileAdd() {
  const QString file = QFileDialog::getOpenFileName(this, tr8("Загрузить изображение для факсимиле"), QString(),
                                                    tr8("Изображения (*.png *.jpg *.jpeg *.bmp);;Все файлы (*)"));
  if (file.isEmpty()) return;
  const QImage image(file);
  if (image.isNull()) {
    QMessageBox::warning(this, tr8("Ошибка"), tr8("Не удалось загрузить изображение."));
    return;
  }
  QString name;
  if (!requestFacsimileName(this, tr8("Новое факсимиле"), QFileInfo(file).baseName(), &name)) return;
  const QString target = QDir(facsimileDir()).filePath(name + QStringLiteral(".png"));
  // A stored facsimile is someone's signature: it is replaced only on purpose.
  if (QFileInfo::exists(target) &&
      !appQuestion(this, tr8("Факсимиле"), tr8("Факсимиле «%1» уже есть. Заменить его?").arg(name), tr8("Заменить"),
                   tr8("Отмена")))
    return;
  if (!writeFacsimilePng(target, image, nullptr)) {
    QMessageBox::warning(this, tr8("Ошибка"), tr8("Не удалось сохранить факсимиле."));
    return;
  }
  statusLabel->setText(tr8("Факсимиле «%1» сохранено.").arg(name));
}

void MainWindow::onFacsimileEdit() {
  const QStringList files = facsimileFiles();
  QString target;
  if (!files.isEmpty()) {
    QDialog* picker = buildFacsimilePickerDialog(facsimileDir(), files, this, false, false, false, true);
    const bool accepted = picker->exec() == QDialog::Accepted;
    const bool createNew = picker->property("createNew").toBool();
    auto* list = qobject_cast<QListWidget*>(picker->property("listWidget").value<QObject*>());
    if (accepted && !createNew && list && list->currentItem())
      target = list->currentItem()->data(Qt::UserRole).toString();
    picker->deleteLater();
    if (!accepted || (!createNew && target.isEmpty())) return;
  }
  if (target.isEmpty()) {
    QString name;
    if (!requestFacsimileName(this, tr8("Новое факсимиле"), tr8("факсимиле"), &name)) return;
    target = name + QStringLiteral(".png");
  }
  const QString path = QDir(facsimileDir()).filePath(target);
  FacsimileEditorDialog editor(this);
  const QImage existing = readFacsimileImage(path);
  if (!existing.isNull()) editor.setImage(existing);
  if (editor.exec() != QDialog::Accepted) return;
  if (!writeFacsimilePng(path, editor.image(), nullptr)) {
    QMessageBox::warning(this, tr8("Ошибка"), tr8("Не удалось сохранить факсимиле."));
    return;
  }
  statusLabel->setText(tr8("Факсимиле сохранено: %1").arg(target));
}

void MainWindow::onFacsimileInsert() {
  if (!currentDocument || !currentDocument->isOpen()) return;
  const QStringList files = facsimileFiles();
  if (files.isEmpty()) {
    appInfo(this, tr8("Факсимиле"),
            tr8("Нет сохранённых факсимиле.\nСначала добавьте факсимиле через кнопку «Добавить» или «Изменить»."));
    return;
  }
  QDialog* picker = buildFacsimilePickerDialog(facsimileDir(), files, this, true, true, true, false);
  if (picker->exec() != QDialog::Accepted) {
    picker->deleteLater();
    return;
  }
  const QStringList paths = selectedFacsimileImageItems(
      qobject_cast<QListWidget*>(picker->property("listWidget").value<QObject*>()), facsimileDir());
  picker->deleteLater();
  QList<QImage> pictures;
  for (const QString& path : paths) {
    const QImage picture = readFacsimileImage(QDir(facsimileDir()).filePath(path));
    if (!picture.isNull()) pictures << picture;
  }
  if (pictures.isEmpty()) {
    QMessageBox::warning(this, tr8("Ошибка"), tr8("Не удалось загрузить файл факсимиле."));
    return;
  }
  QSizeF sizeMm;
  if (!requestFacsimilePlacementSize(this, pictures, &sizeMm)) return;
  const QSizeF sizePt(sizeMm.width() * kPointsPerMm, sizeMm.height() * kPointsPerMm);
  pendingFacsimileImages = pictures;
  pendingFacsimileSizePt = sizePt;
  if (!editMode) {
    editMode = true;
    view->setEditMode(true);
    updateEditModeUi();
  }
  view->setImagePlacementPreview(pictures, sizePt);
  view->setEditTool(EditTool::InsertImage);
  statusLabel->setText(pictures.size() > 1 ? tr8("Кликните место установки группы факсимиле")
                                           : tr8("Кликните место установки факсимиле"));
}

bool MainWindow::placePendingFacsimiles(int page, const QRectF& rect) {
  if (pendingFacsimileImages.isEmpty()) return false;
  const QList<QImage> pictures = pendingFacsimileImages;
  // Unsaved edits of another page go into the document first; when that
  // fails nothing is placed and the placement stays armed.
  const int editedPage = view->ocrBlocksPageIndex();
  if (view->hasOcrEdits() && editedPage != page) {
    if (!applyPendingOcrEdits()) return true;
    thumbnails->refreshPage(editedPage);
  }
  if (!view->appendEditableImageBlocks(page, rect, pictures)) {
    statusLabel->setText(tr8("Не удалось добавить факсимиле на страницу."));
    return true;
  }
  pendingFacsimileImages.clear();
  pendingFacsimileSizePt = QSizeF(-1, -1);
  view->clearImagePlacementPreview();
  ocrPage = page;
  view->setEditTool(EditTool::Select);
  updateTitle();
  statusLabel->setText(pictures.size() > 1 ? tr8("Группа изображений добавлена как объекты на стр. %1").arg(page + 1)
                                           : tr8("Изображение добавлено как объект на стр. %1").arg(page + 1));
  return true;
}
