// Files as pages of the active document: one file through importFile, the
// import dialog, the Insert tab's four buttons and the thumbnail panel's
// import. With nothing open an import lands in a new untitled tab.
#include "MainWindow.h"

#include "core/PdfDocument.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QMessageBox>

#include <algorithm>

namespace {

// The picture formats this build reads, as file patterns.
QString imagePatterns() {
  static const QString patterns = [] {
    const QList<QByteArray> readable = QImageReader::supportedImageFormats();
    QStringList found;
    for (const char* format : {"png", "jpg", "jpeg", "bmp", "webp", "gif", "tiff", "tif"})
      if (readable.contains(QByteArray(format))) found << QStringLiteral("*.") + QLatin1String(format);
    return found.join(QLatin1Char(' '));
  }();
  return patterns;
}

QString anyFileFilter() {
  return MainWindow::importFileFilter() + QStringLiteral(";;") + uiTranslate(QStringLiteral("Все файлы (*)"));
}

// PDF data (its header in the first kilobyte, as readers accept it) or a
// picture Qt reads; workbooks are told by their suffix.
bool looksImportable(const QString& path) {
  if (!QImageReader(path).format().isEmpty()) return true;
  QFile file(path);
  if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) return true;  // the import says why
  return file.read(1024).contains("%PDF-");
}

QString notSupportedText(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toUpper();
  return suffix.isEmpty()
             ? uiTranslate(QStringLiteral("Формат файла не поддерживается: импортируются PDF, изображения и таблицы Excel (.xlsx)."))
             : uiTranslate(QStringLiteral("Формат %1 не поддерживается: импортируются PDF, изображения и таблицы Excel (.xlsx)."))
                   .arg(suffix);
}

QString importErrorEntry(const QString& path, const QString& error) {
  return QFileInfo(path).fileName() + QStringLiteral(": ") + error;
}

void showImportErrors(QWidget* parent, const QStringList& errors) {
  if (errors.isEmpty()) return;
  plainMessageBox(parent, QMessageBox::Warning, QStringLiteral("Ошибки импорта"),
                       uiTranslate(QStringLiteral("Не удалось импортировать:\n")) + errors.join(QLatin1Char('\n')));
}

bool isSpreadsheet(const QString& path) {
  return QFileInfo(path).suffix().compare(QLatin1String("xlsx"), Qt::CaseInsensitive) == 0;
}

}  // namespace

// The filters offer only what imports: PDFs, pictures and workbooks.
QString MainWindow::importFileFilter() {
  return uiTranslate(QStringLiteral("Все поддерживаемые (*.pdf %1 *.xlsx);;PDF (*.pdf);;Изображения (%1);;Excel (*.xlsx)"))
      .arg(imagePatterns());
}

bool MainWindow::createUntitledDocument() {
  auto document = std::make_unique<PdfDocument>();
  if (!document->createEmpty() || !document->insertBlankPage(0, QSizeF(595, 842))) return false;
  OpenDocumentState state;
  state.document = std::move(document);
  documents.push_back(std::move(state));
  activateDocument(int(documents.size()) - 1);
  return currentDocument == documents.back().document.get();
}

void MainWindow::refreshAfterImport(const QString& status) {
  thumbnails->refresh();
  view->invalidatePageCache();
  updateTitle();
  updatePageControls();
  if (!status.isEmpty()) statusLabel->setText(status);
}

bool MainWindow::importFile(const QString& path, int mode) {
  lastImportError.clear();
  if (!applyPendingOcrEdits()) {
    lastImportError = QStringLiteral("Правки страницы не записаны.");
    return false;
  }
  PdfDocument* document = currentDocument;
  const int current = view->currentPageIndex();
  const int before = document->pageCount();
  if (isSpreadsheet(path)) {
    // A cancelled spreadsheet dialog is no failure to report: the error stays empty.
    if (appendSpreadsheetPages(document, path, &lastImportError) <= 0) return false;
  } else if (!looksImportable(path)) {
    lastImportError = notSupportedText(path);
    return false;
  } else if (!document->importDocument(path)) {
    lastImportError = document->lastError();
    if (lastImportError.isEmpty()) lastImportError = QStringLiteral("Не удалось импортировать файл.");
    return false;
  }
  const int added = document->pageCount() - before;
  if (mode != 0 && added > 0) {
    const int target = std::clamp(mode == 1 ? current + 1 : current, 0, before);
    for (int k = 0; k < added; ++k) document->movePage(before + k, target + k);
  }
  return true;
}

void MainWindow::showImportDialog() {
  if (!allowImports()) return;
  if (!currentDocument->isOpen()) {
    if (!appQuestion(this, QStringLiteral("Импорт"),
                     QStringLiteral("Нет открытого документа. Создать новый пустой PDF и импортировать в него?"),
                     QStringLiteral("Да"), QStringLiteral("Нет")))
      return;
    if (!createUntitledDocument()) {
      appInfo(this, QStringLiteral("Ошибка"), QStringLiteral("Не удалось создать документ."));
      return;
    }
  }
  if (!applyPendingOcrEdits()) return;
  const QString start = currentDocument->filePath().isEmpty() ? QDir::homePath()
                                                               : QFileInfo(currentDocument->filePath()).absolutePath();
  const QStringList files =
      QFileDialog::getOpenFileNames(this, QStringLiteral("Импорт файлов как страниц"), start, importFileFilter());
  if (files.isEmpty()) return;
  int total = 0;
  QStringList errors;
  for (const QString& path : files) {
    const int before = currentDocument->pageCount();
    if (importFile(path, 0))
      total += currentDocument->pageCount() - before;
    else if (!lastImportError.isEmpty())
      errors << importErrorEntry(path, lastImportError);
  }
  thumbnails->refresh();
  view->setDocument(currentDocument);
  updateTitle();
  updatePageControls();
  showImportErrors(this, errors);
  statusLabel->setText(tr("Импортировано страниц: %1").arg(total));
}

void MainWindow::onImportPageRequested(int beforeIndex) {
  if (!currentDocument->isOpen() || !applyPendingOcrEdits()) return;
  const QStringList files =
      QFileDialog::getOpenFileNames(this, QStringLiteral("Импорт страниц"), QString(), anyFileFilter());
  if (files.isEmpty()) return;
  PdfDocument* document = currentDocument;
  const int target = std::clamp(beforeIndex, 0, document->pageCount());
  int total = 0;
  QStringList errors;
  for (const QString& path : files) {
    const int before = document->pageCount();
    if (!importFile(path, 0)) {
      if (!lastImportError.isEmpty()) errors << importErrorEntry(path, lastImportError);
      continue;
    }
    const int added = document->pageCount() - before;
    for (int k = 0; k < added; ++k) document->movePage(before + k, target + k);
    total += added;
  }
  thumbnails->refresh();
  view->invalidatePageCache();
  if (total >= 1) view->setCurrentPage(target);
  updateTitle();
  updatePageControls();
  showImportErrors(this, errors);
  statusLabel->setText(tr("Импортировано страниц: %1").arg(total));
}

void MainWindow::importFilesAt(const QString& kind, int mode) {
  if (!allowImports()) return;
  if (!currentDocument->isOpen()) {
    showImportDialog();
    return;
  }
  if (!applyPendingOcrEdits()) return;
  const bool many = kind == QLatin1String("any") || kind == QLatin1String("image");
  QStringList files;
  if (kind == QLatin1String("any")) {
    files = QFileDialog::getOpenFileNames(this, QStringLiteral("Импорт файлов"), QString(), anyFileFilter());
  } else if (kind == QLatin1String("image")) {
    files = QFileDialog::getOpenFileNames(
        this, QStringLiteral("Импорт изображений"), QString(),
        uiTranslate(QStringLiteral("Изображения (%1);;Все файлы (*)")).arg(imagePatterns()));
  } else {
    const QString caption = kind == QLatin1String("pdf") ? QStringLiteral("Импорт PDF") : QStringLiteral("Импорт документа");
    const QString filter = kind == QLatin1String("pdf") ? QStringLiteral("PDF (*.pdf)")
                                                        : uiTranslate(QStringLiteral("Документы (*.pdf *.xlsx);;Все файлы (*)"));
    const QString file = QFileDialog::getOpenFileName(this, caption, QString(), filter);
    if (!file.isEmpty()) files << file;
  }
  if (files.isEmpty()) return;

  if (!many) {
    const QString& path = files.first();
    const bool imported = importFile(path, mode);
    refreshAfterImport(QString());
    if (!imported) {
      if (!lastImportError.isEmpty()) plainMessageBox(this, QMessageBox::Critical, QStringLiteral("Ошибка"), lastImportError);
      return;
    }
    statusLabel->setText(tr("Импортировано: %1").arg(QFileInfo(path).fileName()));
    return;
  }
  int total = 0;
  QStringList errors;
  for (const QString& path : files) {
    const int before = currentDocument->pageCount();
    if (importFile(path, mode))
      total += currentDocument->pageCount() - before;
    else if (!lastImportError.isEmpty())
      errors << importErrorEntry(path, lastImportError);
  }
  refreshAfterImport(QString());
  if (!errors.isEmpty()) {
    if (kind == QLatin1String("any"))
      showImportErrors(this, errors);
    else
      plainMessageBox(this, QMessageBox::Warning, QStringLiteral("Ошибки"), errors.join(QLatin1Char('\n')));
  }
  statusLabel->setText(tr("Импортировано страниц: %1").arg(total));
}
