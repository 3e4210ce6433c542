// Files as pages of the active document: one file through importFile, the
// import dialog, the Insert tab's four buttons and the thumbnail panel's
// import. With nothing open an import lands in a new untitled tab.
#include "MainWindow.h"

#include "core/CoreText.h"
#include "core/ImageFormatProbe.h"
#include "core/PdfDocument.h"
#include "ImportWithBusyCover.h"
#include "core/PicturePages.h"
#include "core/RegularFileRead.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QImageReader>
#include <QLabel>
#include <QMessageBox>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <optional>

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

enum class ImportFormat { Unreadable, Pdf, Image, Spreadsheet, Other };

// What a file is, told by its first bytes alone: a picture by its signature,
// PDF data by its header in the first kilobyte (as readers accept it). What
// is neither goes to the workbook reader under an .xlsx name (it names what
// is wrong with a broken one) and is refused otherwise. Nothing here opens a
// pipe or device for reading, and no image plugin is asked to guess.
ImportFormat importFormatOf(const QString& path) {
  const std::optional<QByteArray> head = regularFileHead(path, 1024);
  if (!head) return ImportFormat::Unreadable;  // the import says why
  if (!imageFormatFromSignature(head->left(kImageSignatureBytes)).isEmpty()) return ImportFormat::Image;
  if (head->contains("%PDF-")) return ImportFormat::Pdf;
  if (QFileInfo(path).suffix().compare(QLatin1String("xlsx"), Qt::CaseInsensitive) == 0)
    return ImportFormat::Spreadsheet;
  return ImportFormat::Other;
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

// The pages of a TIFF, read on a worker thread while the window goes on
// drawing (a file of thousands of pages takes a while); only placing the
// finished pages in the document is left to the window's thread.
PicturePages readTiffAway(const QString& path) {
  QFutureWatcher<PicturePages> watcher;
  QEventLoop loop;
  QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  watcher.setFuture(QtConcurrent::run([path] { return readTiffFile(path, 150.0); }));
  if (!watcher.isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
  QApplication::restoreOverrideCursor();
  return watcher.result();
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
  // A pipe would keep any probe waiting for a writer for ever.
  if (isExistingNonRegularFile(path)) {
    lastImportError = coreText("Не удалось открыть файл: это не обычный файл (канал, устройство или папка).");
    return false;
  }
  PdfDocument* document = currentDocument;
  const int current = view->currentPageIndex();
  const int before = document->pageCount();
  const ImportFormat format = importFormatOf(path);
  // A locked PDF is read with its password, asked for when nothing knows it.
  const std::optional<QByteArray> password =
      format == ImportFormat::Pdf ? passwordToImport(path) : std::optional<QByteArray>(QByteArray());
  if (format == ImportFormat::Spreadsheet) {
    // A cancelled spreadsheet dialog is no failure to report: the error stays empty.
    if (appendSpreadsheetPages(document, path, &lastImportError) <= 0) return false;
  } else if (format == ImportFormat::Other) {
    lastImportError = notSupportedText(path);
    return false;
  } else if (format == ImportFormat::Pdf && !password) {
    return false;  // the password form was cancelled: nothing to report
  } else if (format == ImportFormat::Image && imageFormatOfFile(path) == "tiff") {
    if (!document->importPicturePages(readTiffAway(path))) {
      lastImportError = document->lastError();
      return false;
    }
    const QStringList skipped = document->skippedPictures();
    if (!skipped.isEmpty())
      plainMessageBox(this, QMessageBox::Warning, QStringLiteral("Импорт"),
                      uiTranslate(QStringLiteral("Из «%1» импортированы не все страницы:")).arg(QFileInfo(path).fileName()) +
                          QLatin1Char('\n') + skipped.join(QLatin1Char('\n')));
  } else if (!importDocumentWithBusyCover(this, document, path, password.value_or(QByteArray()))) {
    lastImportError = document->lastError();
    if (lastImportError.isEmpty()) lastImportError = QStringLiteral("Не удалось импортировать файл.");
    return false;
  }
  const int added = document->pageCount() - before;
  if (mode != 0 && added > 0) {
    const int target = std::clamp(mode == 1 ? current + 1 : current, 0, before);
    document->movePages(before, added, target);
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
    document->movePages(before, added, target);
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
