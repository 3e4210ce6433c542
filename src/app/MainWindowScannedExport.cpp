// The scanned-look export from the window: the dialog, then every page as
// the user sees it, with the scanned look, written as a raster PDF that
// opens in a new tab.
#include "MainWindow.h"

#include "ExportTarget.h"
#include "export/ExportFileNames.h"
#include "export/ScannedExportDialog.h"
#include "export/ScannedPageRender.h"
#include "export/ScannedPdfWriter.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"
#include "view/PdfView.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>

bool MainWindow::showScannedPdfExportDialog(const QString& suggestedPath) {
  const QString title = QStringLiteral("Сканированный PDF");
  if (!currentDocument || !currentDocument->isOpen()) {
    appInfo(this, title, uiTranslate(QStringLiteral("Нет открытого документа.")));
    return false;
  }
  ScannedPdfExportOptions options = storedScannedPdfOptions();
  const QString documentPath = currentDocument->filePath();
  QString baseName = QFileInfo(documentPath).completeBaseName();
  if (baseName.isEmpty()) baseName = QStringLiteral("document");
  // A path chosen in the save chooser comes as the user typed it.
  options.outputPath = suggestedPath.isEmpty()
                           ? suggestedSiblingPdfPath(documentPath, QStringLiteral("scanned"), baseName)
                           : suggestedPath;
  const int pageCount = currentDocument->pageCount();
  const int previewPage = view ? std::clamp(view->currentPageIndex(), 0, std::max(0, pageCount - 1)) : 0;

  {
    ScannedExportDialog dialog(this, options, previewPage,
                               [this](int page, double scale) { return renderPageForScannedExport(page, scale); });
    if (dialog.exec() != QDialog::Accepted) return false;
    options = dialog.readBack();
  }
  if (options.outputPath.isEmpty()) {
    appInfo(this, title, uiTranslate(QStringLiteral("Укажите файл результата.")));
    return false;
  }
  QString target = options.outputPath;
  if (!target.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) target += QStringLiteral(".pdf");
  if (!confirmExportTarget(this, title, target)) return false;

  if (progressBar) {
    progressBar->setRange(0, pageCount);
    progressBar->setValue(0);
    progressBar->show();
  }
  ScannedPdfPages pages;
  pages.count = pageCount;
  pages.sizeInPoints = [this](int page) { return currentDocument->pageSize(page); };
  pages.render = [this](int page, double scale) { return renderPageForScannedExport(page, scale); };
  pages.progress = [this](int done, int total) {
    if (progressBar) progressBar->setValue(done);
    if (statusLabel)
      statusLabel->setText(
          tr("Экспорт сканированного PDF: страница %1 из %2").arg(done).arg(total));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  };
  QString error;
  const int failedPage = writeScannedPdf(target, options, pages, &error);
  if (progressBar) progressBar->hide();
  if (failedPage == -1 && error == QLatin1String("Не удалось создать PDF файл.")) {
    appInfo(this, uiTranslate(QStringLiteral("Ошибка экспорта")), error);
    return false;
  }
  if (failedPage != 0 || QFileInfo(target).size() == 0) {
    // Nothing is written in place of a page that failed: the export stops and says which.
    appInfo(this, uiTranslate(QStringLiteral("Ошибка экспорта")),
            uiTranslate(QStringLiteral("Не удалось сохранить сканированный PDF.\n%1")).arg(error));
    return false;
  }
  const QString message =
      uiTranslate(QStringLiteral("Сканированный PDF сохранён: %1")).arg(QFileInfo(target).fileName());
  if (statusLabel) statusLabel->setText(message);
  openFile(QFileInfo(target).absoluteFilePath());
  if (statusLabel) statusLabel->setText(message + tr(" · открыт в новой вкладке"));
  return true;
}

QImage MainWindow::renderPageForScannedExport(int page, double scale) const {
  return ::renderPageForScannedExport(currentDocument, view, page, scale);
}
