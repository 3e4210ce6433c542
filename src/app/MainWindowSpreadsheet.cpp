// The Insert tab's document import: a workbook chosen here becomes pages of
// the open document through the spreadsheet dialog. The other import kinds
// are still to come.
#include "MainWindow.h"

#include "DialogHelpers.h"
#include "core/PdfDocument.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"
#include "xlsx/XlsxImport.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>

void MainWindow::importFilesAt(const QString& kind, int mode) {
  if (kind != QLatin1String("document") || !allowImports()) {
    tellNotAvailableYet(QStringLiteral("Импорт"));
    return;
  }
  if (!currentDocument->isOpen()) {
    showImportDialog();
    return;
  }
  const QString path = QFileDialog::getOpenFileName(
      this, QStringLiteral("Импорт документа"), QString(),
      QStringLiteral("Документы (*.docx *.odt *.html *.xhtml *.svg *.cbz *.xlsx *.pptx *.epub);;Все файлы (*)"));
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().compare(QLatin1String("xlsx"), Qt::CaseInsensitive) != 0) {
    tellNotAvailableYet(QStringLiteral("Импорт"));
    return;
  }
  importSpreadsheet(path, mode);
}

bool MainWindow::importSpreadsheet(const QString& path, int mode) {
  if (!applyPendingOcrEdits()) return false;
  PdfDocument* document = currentDocument;
  const int current = view->currentPageIndex();
  const int before = document->pageCount();
  bool appendFailed = false;
  QStringList unread;
  // Each page goes into the document as soon as it is painted, so the pages
  // of a long sheet are never all held at once.
  const int handed = runXlsxImport(
      path, this,
      [document, &appendFailed](const QImage& page, QSizeF size) {
        appendFailed = !document->appendRenderedPage(page, size);
        return !appendFailed;
      },
      &unread);
  if (handed < 0) return false;
  const int added = document->pageCount() - before;
  if (mode != 0 && added > 0) {
    const int target = mode == 1 ? current + 1 : current;
    for (int k = 0; k < added; ++k) document->movePage(before + k, target + k);
  }
  if (added > 0) {
    thumbnails->refresh();
    view->invalidatePageCache();
    updateTitle();
    updatePageControls();
  }
  if (appendFailed || added == 0) {
    QString reason = appendFailed ? document->lastError() : unread.join(QLatin1Char('\n'));
    if (reason.isEmpty()) reason = QStringLiteral("В книге нет листов с данными.");
    QMessageBox::critical(this, QStringLiteral("Ошибка"), reason);
    return false;
  }
  statusLabel->setText(QStringLiteral("Импортировано: %1").arg(QFileInfo(path).fileName()));
  return true;
}
