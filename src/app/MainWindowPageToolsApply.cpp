// The work of the page tools dialog. Insertion changes the open document
// (pending edits first); extraction and merging write a new PDF in one
// atomic step and never over a file that is open in a tab.
#include "MainWindow.h"
#include "ui/UiLanguage.h"

#include "PageListParsing.h"
#include "core/CoreText.h"
#include "core/PdfDocument.h"
#include "core/RegularFileRead.h"
#include "export/ExportFileNames.h"
#include "ui/DialogHelpers.h"
#include "ui/UniqueSiblingPath.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>

#include <algorithm>
#include <memory>

namespace {

// The output chosen in a save dialog, ending in ".pdf"; empty when the user
// cancelled or chose a file that is open in a tab (whose pages would be lost).
QString chooseNewPdf(MainWindow* window, const QString& caption, const QString& suggested) {
  QString path = QFileDialog::getSaveFileName(window, caption, suggested, QStringLiteral("PDF (*.pdf)"));
  if (path.isEmpty()) return path;
  if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) path += QStringLiteral(".pdf");
  if (window->openDocumentIndexForPath(path) < 0) return path;
  QMessageBox::critical(window, QStringLiteral("Ошибка"),
                        uiTranslate(QStringLiteral("Файл открыт во вкладке, выберите другое имя:\n%1")).arg(path));
  return QString();
}

}  // namespace

bool MainWindow::insertPagesFromFile(const QString& path, int position) {
  if (path.isEmpty()) {
    QMessageBox::warning(this, QStringLiteral("Вставка"), QStringLiteral("Укажите файл"));
    return false;
  }
  if (!QFile::exists(path)) {
    plainMessageBox(this, QMessageBox::Critical, tr("Ошибка"), tr("Файл не найден: ") + path);
    return false;
  }
  if (!applyPendingOcrEdits()) return false;
  // The dialog lists "after", "before" and "at the end"; importFile counts
  // the end first.
  static constexpr int kImportMode[] = {1, 2, 0};
  const int before = currentDocument->pageCount();
  if (!importFile(path, kImportMode[std::clamp(position, 0, 2)])) {
    if (!lastImportError.isEmpty())
      plainMessageBox(this, QMessageBox::Critical, tr("Ошибка"), tr("Не удалось импортировать файл:\n") + lastImportError);
    return false;
  }
  const int added = currentDocument->pageCount() - before;
  thumbnails->refresh();
  view->setDocument(currentDocument);
  updateTitle();
  updatePageControls();
  statusLabel->setText(tr("Вставлено %1 стр. из %2").arg(added).arg(QFileInfo(path).fileName()));
  return true;
}

bool MainWindow::extractPagesToFile(const QString& pagesText, bool deleteAfter, bool eachPageApart,
                                    const QString& sourcePath) {
  std::unique_ptr<PdfDocument> opened;
  PdfDocument* source = currentDocument;
  if (!sourcePath.isEmpty()) {
    opened = std::make_unique<PdfDocument>();
    if (!opened->open(sourcePath)) {
      QMessageBox::critical(this, QStringLiteral("Ошибка"),
                            uiTranslate(QStringLiteral("Не удалось открыть файл:\n%1\n%2")).arg(sourcePath, opened->lastError()));
      return false;
    }
    source = opened.get();
    deleteAfter = false;  // the file on disk is never changed
  }
  const QList<int> pages = parsePageList(pagesText, source->pageCount());
  if (pages.isEmpty()) {
    QMessageBox::warning(this, QStringLiteral("Извлечение"), QStringLiteral("Не указаны страницы"));
    return false;
  }
  const QString path = chooseNewPdf(this, QStringLiteral("Сохранить извлечённые страницы"), QString());
  if (path.isEmpty()) return false;
  // The extracted pages carry the edits still open in the view.
  if (!opened && !applyPendingOcrEdits()) return false;
  const auto writeFailed = [this, source](const QString& file) {
    const QString why = source->lastError().trimmed();
    QMessageBox::critical(this, QStringLiteral("Ошибка"),
                          uiTranslate(QStringLiteral("Не удалось записать файл:\n%1")).arg(file) +
                              (why.isEmpty() ? QString() : QStringLiteral("\n") + why));
  };
  QString status;
  if (!eachPageApart) {
    if (!source->extractPageSubset(pages, path)) {
      writeFailed(path);
      return false;
    }
    status = uiTranslate(QStringLiteral("Извлечено %1 стр. → %2")).arg(pages.size()).arg(QFileInfo(path).fileName());
  } else {
    // Each named page once, in rising order.
    QList<int> distinct = distinctPagesDescending(pages);
    std::reverse(distinct.begin(), distinct.end());
    const QStringList outputs = pagePerFileNames(path, distinct);
    QStringList existing;
    for (const QString& output : outputs) {
      if (openDocumentIndexForPath(output) >= 0) {
        QMessageBox::critical(this, QStringLiteral("Ошибка"),
                              uiTranslate(QStringLiteral("Файл открыт во вкладке, выберите другое имя:\n%1")).arg(output));
        return false;
      }
      if (output != path && QFileInfo::exists(output)) existing << QFileInfo(output).fileName();
    }
    if (!existing.isEmpty() &&
        !appQuestion(this, QStringLiteral("Извлечение"),
                     uiTranslate(QStringLiteral("Эти файлы уже существуют и будут заменены:\n%1")).arg(existing.join(QLatin1Char('\n'))),
                     QStringLiteral("Заменить"), QStringLiteral("Отмена")))
      return false;
    for (qsizetype i = 0; i < outputs.size(); ++i) {
      if (!source->extractPageSubset({distinct[i]}, outputs[i])) {
        writeFailed(outputs[i]);
        return false;
      }
    }
    status = uiTranslate(QStringLiteral("Извлечено %1 стр. в отдельные файлы: %2 … %3"))
                 .arg(outputs.size())
                 .arg(QFileInfo(outputs.first()).fileName(), QFileInfo(outputs.last()).fileName());
  }
  if (deleteAfter) {
    // Each named page goes once, whatever the order or repeats of the list.
    for (int page : distinctPagesDescending(pages)) currentDocument->deletePage(page);
    thumbnails->refresh();
    view->setDocument(currentDocument);
    updateTitle();
    updatePageControls();
  }
  statusLabel->setText(status);
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
    // A pipe or folder is refused as the other import roads refuse it, before
    // the workbook reader is asked about it.
    if (isExistingNonRegularFile(path)) {
      errors << name + QStringLiteral(": ") +
                    coreText("Не удалось открыть файл: это не обычный файл (канал, устройство или папка).");
      continue;
    }
    if (QFileInfo(path).suffix().compare(QLatin1String("xlsx"), Qt::CaseInsensitive) == 0) {
      QString error;
      const int added = appendSpreadsheetPages(&merged, path, &error);
      if (added < 0) return false;  // a cancelled workbook abandons the whole merge
      if (added == 0) errors << name + QStringLiteral(": ") + error;
    } else if (const auto password = passwordToImport(path); !password) {
      continue;  // the password form was cancelled: this file is left out
    } else if (!merged.importDocument(path, *password)) {
      errors << name + QStringLiteral(": ") + merged.lastError();
    }
    total += merged.pageCount() - before;
  }
  if (!errors.isEmpty())
    plainMessageBox(this, QMessageBox::Warning, tr("Ошибки объединения"),
                    tr("Не удалось добавить:\n") + errors.join(QLatin1Char('\n')));
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
  statusLabel->setText(tr("Объединено %1 стр. → %2").arg(total).arg(QFileInfo(output).fileName()));
  return true;
}
