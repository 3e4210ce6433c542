// The work of the page tools dialog. Insertion changes the open document
// (pending edits first); extraction and merging write a new PDF in one
// atomic step and never over a file that is open in a tab.
#include "MainWindow.h"

#include "ExportFileNames.h"
#include "PageListParsing.h"
#include "UniqueSiblingPath.h"
#include "core/PdfDocument.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>

#include <algorithm>

namespace {

// The output chosen in a save dialog, ending in ".pdf"; empty when the user
// cancelled or chose a file that is open in a tab (whose pages would be lost).
QString chooseNewPdf(MainWindow* window, const QString& caption, const QString& suggested) {
  QString path = QFileDialog::getSaveFileName(window, caption, suggested, QStringLiteral("PDF (*.pdf)"));
  if (path.isEmpty()) return path;
  if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) path += QStringLiteral(".pdf");
  if (window->openDocumentIndexForPath(path) < 0) return path;
  QMessageBox::critical(window, QStringLiteral("Ошибка"),
                        QStringLiteral("Файл открыт во вкладке, выберите другое имя:\n%1").arg(path));
  return QString();
}

}  // namespace

bool MainWindow::insertPagesFromFile(const QString& path, int position) {
  if (path.isEmpty()) {
    QMessageBox::warning(this, QStringLiteral("Вставка"), QStringLiteral("Укажите файл"));
    return false;
  }
  if (!QFile::exists(path)) {
    QMessageBox::critical(this, QStringLiteral("Ошибка"), QStringLiteral("Файл не найден: ") + path);
    return false;
  }
  if (!applyPendingOcrEdits()) return false;
  // The dialog lists "after", "before" and "at the end"; importFile counts
  // the end first.
  static constexpr int kImportMode[] = {1, 2, 0};
  const int before = currentDocument->pageCount();
  if (!importFile(path, kImportMode[std::clamp(position, 0, 2)])) {
    if (!lastImportError.isEmpty())
      QMessageBox::critical(this, QStringLiteral("Ошибка"),
                            QStringLiteral("Не удалось импортировать файл:\n") + lastImportError);
    return false;
  }
  const int added = currentDocument->pageCount() - before;
  thumbnails->refresh();
  view->setDocument(currentDocument);
  updateTitle();
  updatePageControls();
  statusLabel->setText(QStringLiteral("Вставлено %1 стр. из %2").arg(added).arg(QFileInfo(path).fileName()));
  return true;
}

bool MainWindow::extractPagesToFile(const QString& pagesText, bool deleteAfter) {
  const QList<int> pages = parsePageList(pagesText, currentDocument->pageCount());
  if (pages.isEmpty()) {
    QMessageBox::warning(this, QStringLiteral("Извлечение"), QStringLiteral("Не указаны страницы"));
    return false;
  }
  const QString path = chooseNewPdf(this, QStringLiteral("Сохранить извлечённые страницы"), QString());
  if (path.isEmpty()) return false;
  // The extracted pages carry the edits still open in the view.
  if (!applyPendingOcrEdits()) return false;
  if (!currentDocument->extractPageSubset(pages, path)) {
    QMessageBox::critical(this, QStringLiteral("Ошибка"), currentDocument->lastError());
    return false;
  }
  if (deleteAfter) {
    // Each named page goes once, whatever the order or repeats of the list.
    for (int page : distinctPagesDescending(pages)) currentDocument->deletePage(page);
    thumbnails->refresh();
    view->setDocument(currentDocument);
    updateTitle();
    updatePageControls();
  }
  statusLabel->setText(QStringLiteral("Извлечено %1 стр. → %2").arg(pages.size()).arg(QFileInfo(path).fileName()));
  return true;
}

bool MainWindow::mergeFilesToPdf(const QList<QString>& paths, bool fromShellAction, bool openResult) {
  if (paths.size() < 2) {
    QMessageBox::warning(this, QStringLiteral("Объединение"), QStringLiteral("Добавьте PDF для объединения"));
    return false;
  }
  const QString suggested =
      paths.first().isEmpty()
          ? QDir(QDir::homePath()).filePath(QStringLiteral("merged.pdf"))
          : uniqueSiblingPathLikeChrome(
                suggestedSiblingPdfPath(paths.first(), QStringLiteral("merged"), QStringLiteral("merged")));
  const QString output = chooseNewPdf(this, QStringLiteral("Сохранить объединённый документ"), suggested);
  if (output.isEmpty()) return false;

  PdfDocument merged;
  if (!merged.createEmpty()) {
    QMessageBox::critical(this, QStringLiteral("Ошибка"), merged.lastError());
    return false;
  }
  int total = 0;
  QStringList errors;
  for (const QString& path : paths) {
    if (path.isEmpty()) continue;
    const int before = merged.pageCount();
    const QString name = QFileInfo(path).fileName();
    if (QFileInfo(path).suffix().compare(QLatin1String("xlsx"), Qt::CaseInsensitive) == 0) {
      QString error;
      const int added = appendSpreadsheetPages(&merged, path, &error);
      if (added < 0) return false;  // a cancelled workbook abandons the whole merge
      if (added == 0) errors << name + QStringLiteral(": ") + error;
    } else if (!merged.importDocument(path)) {
      errors << name + QStringLiteral(": ") + merged.lastError();
    }
    total += merged.pageCount() - before;
  }
  if (!errors.isEmpty())
    QMessageBox::warning(this, QStringLiteral("Ошибки объединения"),
                         QStringLiteral("Не удалось добавить:\n") + errors.join(QLatin1Char('\n')));
  if (merged.pageCount() == 0) {
    QMessageBox::critical(this, QStringLiteral("Ошибка"), QStringLiteral("Не удалось сформировать PDF."));
    return false;
  }
  if (!merged.saveAs(output)) {
    QMessageBox::critical(this, QStringLiteral("Ошибка"), merged.lastError());
    return false;
  }
  if (!fromShellAction) {
    openFile(output);
  } else if (openResult) {
    openFile(output);
    show();
    raise();
    activateWindow();
  }
  statusLabel->setText(QStringLiteral("Объединено %1 стр. → %2").arg(total).arg(QFileInfo(output).fileName()));
  return true;
}
