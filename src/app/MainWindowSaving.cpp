// Saving the active document to its own file or under a new name, and the
// autosave timer. Pending block edits are written into the page first; when
// that is refused nothing is saved.
#include "MainWindow.h"
#include "ui/UiLanguage.h"

#include "ui/DialogHelpers.h"

#include "view/PdfView.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

#include <algorithm>

void MainWindow::onSave() {
  if (!currentDocument->isOpen()) return;
  // An untitled tab (made by an import) has no file yet: ask for one.
  if (currentDocument->filePath().isEmpty()) {
    onSaveAs();
    return;
  }
  if (!applyPendingOcrEdits()) return;
  if (!currentDocument->save(currentDocument->filePath())) {
    // The edits written into the page above are still unsaved: the title
    // keeps its mark and the status line says nothing was written.
    updateTitle();
    statusLabel->setText(tr("Файл не сохранён"));
    plainMessageBox(this, QMessageBox::Critical, QStringLiteral("Ошибка"),
                          uiTranslate(QStringLiteral("Не удалось сохранить файл:\n%1")).arg(currentDocument->lastError()));
    return;
  }
  updateTitle();
  reloadTextLayerAfterSave();
  statusLabel->setText(tr("Сохранено"));
}

void MainWindow::onSaveAs() {
  if (!currentDocument->isOpen()) return;
  QString name = QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить как"), currentDocument->filePath(),
                                              QStringLiteral("PDF файлы (*.pdf)"));
  if (name.isEmpty()) return;
  if (!name.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) name += QStringLiteral(".pdf");
  saveActiveDocumentAs(name);
}

bool MainWindow::saveActiveDocumentAs(const QString& fileName) {
  if (!currentDocument->isOpen() || !applyPendingOcrEdits()) return false;
  if (!currentDocument->saveAs(fileName)) {
    updateTitle();
    statusLabel->setText(tr("Файл не сохранён"));
    QMessageBox::critical(this, QStringLiteral("Ошибка"), QStringLiteral("Не удалось сохранить файл."));
    return false;
  }
  if (activeIndex >= 0 && activeIndex < int(documents.size()))
    documents[size_t(activeIndex)].path = QFileInfo(fileName).absoluteFilePath();
  updateTitle();
  reloadTextLayerAfterSave();
  statusLabel->setText(tr("Сохранено как: %1").arg(QFileInfo(fileName).fileName()));
  return true;
}

void MainWindow::autoSaveIfNeeded() {
  if (!currentDocument->isOpen() || !currentDocument->isModified() || currentDocument->filePath().isEmpty() ||
      ocrBusy)
    return;
  if (!applyPendingOcrEdits()) return;
  if (!currentDocument->save(currentDocument->filePath())) {
    updateTitle();
    statusLabel->setText(tr("Автосохранение не удалось: %1").arg(currentDocument->lastError()));
    return;
  }
  updateTitle();
  reloadTextLayerAfterSave();
  statusLabel->setText(
      tr("Автосохранено: %1").arg(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm"))));
}

void MainWindow::reloadTextLayerAfterSave() {
  // Writing the edits took the blocks away; edit mode goes on with the page
  // as it now stands in the file.
  if (!editMode || !currentDocument->isOpen() || !view->currentOcrBlocks().empty()) return;
  loadNativeTextLayerForPage(view->currentPageIndex(), false);
}

void MainWindow::setupAutoSaveTimer() {
  if (!autoSaveTimer) return;
  QSettings settings;
  const bool enabled = settings.value(QStringLiteral("doc/autoSave"), false).toBool();
  const int minutes = settings.value(QStringLiteral("doc/autoSaveMinutes"), 5).toInt();
  if (enabled)
    autoSaveTimer->start(std::clamp(minutes, 1, 120) * 60000);
  else
    autoSaveTimer->stop();
}
