// Facsimiles from the ribbon: adding a picture to the store, editing one in
// the image editor, and placing chosen ones on the page at their real size.
#include "MainWindow.h"

#include "paint/FacsimileEditorDialog.h"
#include "signature/SignatureWorkflow.h"
#include "ui/BusyRing.h"
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
  // Read as a picture placed on a page is, to the same bound: what the store
  // keeps, the editor and the page take as well.
  QImage image;
  QString why;
  runWithBusyCover(this, tr8("Обрабатываю изображение..."), [&] { image = readFacsimileImage(file, &why); });
  if (image.isNull()) {
    plainMessageBox(this, QMessageBox::Warning, tr8("Ошибка"),
                    tr8("Не удалось загрузить изображение.") + QLatin1Char('\n') + why);
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
  if (!writeStoredFacsimile(target, image)) return;
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
  // A stored picture the editor cannot show is never replaced by a drawing
  // on a blank canvas: the editor is not opened, and the user is told why.
  if (QFileInfo::exists(path)) {
    QImage existing;
    QString why;
    runWithBusyCover(this, tr8("Обрабатываю изображение..."), [&] { existing = readFacsimileImage(path, &why); });
    if (existing.isNull() || !editor.setImage(existing)) {
      plainMessageBox(this, QMessageBox::Warning, tr8("Ошибка"),
                      tr8("Факсимиле «%1» не открывается в редакторе:").arg(target) + QLatin1Char('\n') + why);
      return;
    }
  }
  if (editor.exec() != QDialog::Accepted) return;
  if (!writeStoredFacsimile(path, editor.image())) return;
  statusLabel->setText(tr8("Факсимиле сохранено: %1").arg(target));
}

bool MainWindow::writeStoredFacsimile(const QString& path, const QImage& image) {
  bool written = false;
  QString error;
  runWithBusyCover(this, tr8("Обрабатываю изображение..."),
                   [&] { written = writeFacsimilePng(path, image, &error); });
  if (!written)
    plainMessageBox(this, QMessageBox::Warning, tr8("Ошибка"),
                    tr8("Не удалось сохранить факсимиле.") + QLatin1Char('\n') + error);
  return written;
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
  QString why;
  runWithBusyCover(this, tr8("Обрабатываю изображение..."), [&] {
    for (const QString& path : paths) {
      QString reason;
      const QImage picture = readFacsimileImage(QDir(facsimileDir()).filePath(path), &reason);
      if (!picture.isNull()) pictures << picture;
      else if (why.isEmpty()) why = reason;
    }
  });
  if (pictures.isEmpty()) {
    plainMessageBox(this, QMessageBox::Warning, tr8("Ошибка"),
                    tr8("Не удалось загрузить файл факсимиле.") + QLatin1Char('\n') + why);
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
