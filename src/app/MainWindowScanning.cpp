// The scan dialog (one at a time, modeless) and the sink that turns each
// scanned image into a page: a new untitled document when nothing is open,
// otherwise a page appended to the current document, which is saved at once
// when it has a file.
#include "MainWindow.h"

#include "core/PdfDocument.h"
#include "scan/Scanning.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"

#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

void MainWindow::showScanDialog() {
  if (scanDialog) {
    scanDialog->show();
    scanDialog->raise();
    scanDialog->activateWindow();
    return;
  }
  auto* dialog = new QDialog(this);
  dialog->setObjectName(QStringLiteral("AppDialog"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(uiTranslate(QStringLiteral("Сканирование")));
  dialog->resize(1120, 720);
  auto* layout = new QVBoxLayout(dialog);
  layout->setContentsMargins(16, 16, 16, 16);
  layout->setSpacing(10);
  layout->addWidget(label(uiTranslate(QStringLiteral("Сканирование")), QStringLiteral("DialogTitle")));
  QLabel* subtitle = label(uiTranslate(QStringLiteral(
                               "Получите изображение со сканера и добавьте его в текущий PDF или создайте новый документ.")),
                           QStringLiteral("DialogSubtitle"));
  subtitle->setWordWrap(true);
  layout->addWidget(subtitle);
  auto* tab = new ScanTab(dialog);
  layout->addWidget(tab, 1);
  connect(tab, &ScanTab::pageScanned, this, &MainWindow::onPageScanned);
  // Closing the dialog in any way stops a running scan at once: a result
  // arriving before the dialog is gone must not become a page.
  connect(dialog, &QDialog::finished, tab, &ScanTab::onCancelClicked);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  QPushButton* close = dialogButton(uiTranslate(QStringLiteral("Закрыть")), QStringLiteral("SecondaryDialogButton"));
  connect(close, &QPushButton::clicked, dialog, &QDialog::close);
  buttons->addWidget(close);
  layout->addLayout(buttons);

  scanDialog = dialog;
  scanTab = tab;
  dialog->move(frameGeometry().center() - dialog->rect().center());
  dialog->show();
}

void MainWindow::onPageScanned(const QImage& image) {
  if (image.isNull()) return;
  QString error;
  const QString pagePdf = writeScannedPagePdf(image, &error);
  if (pagePdf.isEmpty()) {
    statusLabel->setText(tr("Не удалось создать PDF из отсканированной страницы"));
    return;
  }

  if (!currentDocument->isOpen()) {
    // Like a drop or an import with nothing open, the scan becomes an
    // untitled document: saving it asks where, never into the temporary file.
    auto document = std::make_unique<PdfDocument>();
    const bool made = document->createEmpty() && document->appendPage(pagePdf, 0);
    QFile::remove(pagePdf);
    if (!made) {
      statusLabel->setText(tr("Не удалось создать PDF из отсканированной страницы"));
      return;
    }
    OpenDocumentState state;
    state.document = std::move(document);
    documents.push_back(std::move(state));
    activateDocument(int(documents.size()) - 1);
    statusLabel->setText(tr("Создан PDF из отсканированной страницы"));
    return;
  }

  // The page list changes: edits still in the view go into their page first.
  if (!applyPendingOcrEdits()) {
    QFile::remove(pagePdf);
    statusLabel->setText(tr("Ошибка добавления отсканированной страницы"));
    return;
  }
  const int n = currentDocument->pageCount();
  const bool appended = currentDocument->appendPage(pagePdf, 0);
  QFile::remove(pagePdf);
  if (!appended) {
    statusLabel->setText(tr("Ошибка добавления отсканированной страницы"));
    return;
  }
  // An untitled document keeps the page until the user saves it somewhere.
  const bool untitled = currentDocument->filePath().isEmpty();
  // A signed file, or one replaced on disk, is never rewritten unasked: the
  // page waits for the user's save.
  const bool signedFile = !untitled && signaturesAtRisk(currentDocument);
  const bool replacedFile = !untitled && !signedFile && fileReplacedOnDisk(currentDocument);
  const bool saved = untitled || signedFile || replacedFile || currentDocument->save(currentDocument->filePath());
  if (saved && !untitled && !signedFile && !replacedFile) noteFullSave(currentDocument, false);
  thumbnails->setDocument(currentDocument);
  // The view's scroll range and the page box's maximum take in the new page
  // before the view goes there; otherwise both clamp it back to the old last.
  view->invalidatePageCache();
  view->updateScrollBars();
  updatePageControls();
  view->setCurrentPage(n);
  updateTitle();
  updatePageControls();
  if (!saved) {
    // The page is in the document but not on disk: the title keeps its mark.
    statusLabel->setText(tr("Страница %1 добавлена, но файл не сохранён").arg(n + 1));
    QMessageBox::critical(this, QStringLiteral("Ошибка"),
                          uiTranslate(QStringLiteral("Не удалось сохранить файл:\n%1")).arg(currentDocument->lastError()));
    return;
  }
  if (signedFile) {
    statusLabel->setText(tr("Страница %1 добавлена; подписанный файл не перезаписан, сохраните его сами").arg(n + 1));
    return;
  }
  if (replacedFile) {
    statusLabel->setText(tr("Страница %1 добавлена; файл заменён на диске и не перезаписан, сохраните его сами").arg(n + 1));
    return;
  }
  statusLabel->setText(tr("Страница %1 добавлена из сканера").arg(n + 1));
}
