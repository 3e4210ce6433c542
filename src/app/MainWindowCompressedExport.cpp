// The compressed export from the window: the dialog, then the copy written
// by the compression engine and opened in a new tab; and the file-manager
// "compress" action that leads to it.
#include "MainWindow.h"

#include "ExportTarget.h"
#include "core/AtomicFileWrite.h"
#include "core/OwnedLeftovers.h"
#include "core/OwnedTemporaryFolder.h"
#include "export/CompressedExportDialog.h"
#include "export/ExportFileNames.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

bool MainWindow::showCompressedPdfExportDialog(const QString& suggestedPath, bool fromShellAction) {
  const QString title = QStringLiteral("Сжатый PDF");
  if (!currentDocument || !currentDocument->isOpen()) {
    appInfo(this, title, uiTranslate(QStringLiteral("Нет открытого документа.")));
    return false;
  }
  const QString documentPath = currentDocument->filePath();
  const QString baseName =
      documentPath.isEmpty() ? QStringLiteral("document") : QFileInfo(documentPath).completeBaseName();
  const QString suggested = suggestedPath.isEmpty()
                                ? suggestedSiblingPdfPath(documentPath, QStringLiteral("compressed"), baseName)
                                : withLocalizedPdfSuffix(suggestedPath, QStringLiteral("compressed"));
  // Sizes are compared with what is exported: a document changed since it
  // was saved is measured as it stands, not by its older file.
  qint64 originalFileSize = documentPath.isEmpty() ? 0 : QFileInfo(documentPath).size();
  // Measured in memory: a locked document's copy is in the clear.
  if (currentDocument->isModified() || documentPath.isEmpty()) {
    QByteArray copy;
    originalFileSize = currentDocument->saveCopy(&copy) ? copy.size() : 0;
  }

  PdfDocument::CompressionOptions options;
  QString path;
  bool openResult = false;
  {
    CompressedExportDialog dialog(this, currentDocument, suggested, originalFileSize, fromShellAction);
    if (dialog.execWithFit() != QDialog::Accepted) return false;
    path = dialog.outputPathText();
    if (path.isEmpty()) {
      appInfo(this, title, uiTranslate(QStringLiteral("Укажите файл результата.")));
      return false;
    }
    if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) path += QStringLiteral(".pdf");
    path = withLocalizedPdfSuffix(path, QStringLiteral("compressed"));
    dialog.setOutputPathText(path);
    options = dialog.currentOptions();
    openResult = !fromShellAction || dialog.openResultAfterSaving();
  }
  if (!confirmExportTarget(this, title, path)) return false;

  if (progressBar) {
    progressBar->setRange(0, 0);
    progressBar->show();
  }
  if (statusLabel) statusLabel->setText(tr("Сжатие PDF..."));
  // The copy is made in a private folder first: one that came out larger
  // than the original reaches the chosen name only when the user says so.
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const std::unique_ptr<OwnedTemporaryFolder> staging = newOwnedTemporaryFolder(kCompressFolderPrefix);
  const QString staged = staging->isValid() ? staging->filePath(QStringLiteral("compressed.pdf")) : QString();
  const bool ok = !staged.isEmpty() && currentDocument->compressTo(staged, options);
  QApplication::restoreOverrideCursor();
  if (progressBar) progressBar->hide();
  if (!ok) {
    const QString why = staged.isEmpty() ? uiTranslate(QStringLiteral("не удалось создать временную папку"))
                                         : currentDocument->lastError();
    appInfo(this, uiTranslate(QStringLiteral("Ошибка экспорта")),
            uiTranslate(QStringLiteral("Не удалось сжать PDF:\n%1")).arg(why));
    return false;
  }
  const qint64 stagedSize = QFileInfo(staged).size();
  if (originalFileSize > 0 && stagedSize > originalFileSize &&
      !appQuestion(this, title,
                   uiTranslate(QStringLiteral("Сжатая копия получилась больше исходного файла: %1 вместо %2.\n\n"
                                              "Сохранить её всё равно?"))
                       .arg(formatFileSize(stagedSize), formatFileSize(originalFileSize)),
                   uiTranslate(QStringLiteral("Сохранить")), uiTranslate(QStringLiteral("Не сохранять")))) {
    if (statusLabel) statusLabel->setText(tr("Сжатая копия не сохранена: она больше исходного файла"));
    return false;
  }
  const auto copyStaged = [&staged](QIODevice* device, QString* error) {
    QFile source(staged);
    if (!source.open(QIODevice::ReadOnly)) {
      *error = source.errorString();
      return false;
    }
    while (!source.atEnd()) {
      const QByteArray chunk = source.read(1 << 20);
      if (chunk.isEmpty() || device->write(chunk) != chunk.size()) {
        *error = chunk.isEmpty() ? source.errorString() : device->errorString();
        return false;
      }
    }
    return true;
  };
  QString writeError;
  if (!writeFileAtomically(path, copyStaged, &writeError)) {
    appInfo(this, uiTranslate(QStringLiteral("Ошибка экспорта")),
            uiTranslate(QStringLiteral("Не удалось сжать PDF:\n%1")).arg(writeError));
    return false;
  }

  QString message = uiTranslate(QStringLiteral("Сжатый PDF сохранён: %1")).arg(QFileInfo(path).fileName());
  const qint64 written = QFileInfo(path).size();
  if (originalFileSize > 0 && written > 0) {
    message += uiTranslate(QStringLiteral(" (%1, %2% от исходного)"))
                   .arg(formatFileSize(written), formatDecimal(written * 100.0 / originalFileSize, 1));
    // A copy that grew is no success: both sizes are named.
    if (written > originalFileSize)
      message +=
          uiTranslate(QStringLiteral(" — копия больше исходного файла (%1)")).arg(formatFileSize(originalFileSize));
  }
  // Pictures too large to decode went into the copy as they were.
  if (const int kept = options.rasterizePages ? 0 : currentDocument->imagesKeptWhole(); kept > 0)
    message += uiTranslate(QStringLiteral(" · изображений больше %1 Мпикс оставлено без пересжатия: %2"))
                   .arg(PdfDocument::kLargestRecompressedImagePixels >> 20)
                   .arg(kept);
  if (statusLabel) statusLabel->setText(message);
  if (openResult) {
    openFile(QFileInfo(path).absoluteFilePath());
    if (fromShellAction) {
      show();
      raise();
      activateWindow();
    }
    if (statusLabel) statusLabel->setText(message + tr(" · открыт в новой вкладке"));
  }
  return true;
}
