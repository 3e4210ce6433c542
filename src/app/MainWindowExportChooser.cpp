// "Сохранить как / Экспорт": one file dialog for saving under a new name and
// for every export format; the compressed and scanned-look PDFs hand over to
// their own dialogs.
#include "MainWindow.h"
#include "ui/UiLanguage.h"

#include "RecentFiles.h"
#include "core/PdfDocument.h"
#include "export/ExportFileNames.h"
#include "ui/DialogHelpers.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QComboBox>
#include <QMessageBox>
#include <QScopeGuard>

namespace {

// The row of the chosen filter. Qt's own dialog keeps its type list in a
// combo box whose row is the filter's place; a platform dialog only returns
// the text it was given, which is then looked up among the offered ones.
int chosenFilterIndex(const QFileDialog& chooser, const QStringList& offered) {
  auto* types = chooser.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
  if (types && types->count() == offered.size()) return types->currentIndex();
  return int(offered.indexOf(chooser.selectedNameFilter()));
}

}  // namespace

void MainWindow::showSaveExportDialog() {
  struct FmtEntry {
    QString filter;
    QString extension;
    QString format;
    bool needsDpi;
  };
  static const QList<FmtEntry> FMTS{
      {QStringLiteral("PDF документ (*.pdf)"), QStringLiteral("pdf"), QStringLiteral("pdf"), false},
      {QStringLiteral("Сжатый PDF (*.pdf)"), QStringLiteral("pdf"), QStringLiteral("compressed-pdf"), false},
      {QStringLiteral("Сканированный PDF (*.pdf)"), QStringLiteral("pdf"), QStringLiteral("scanned-pdf"), false},
      {QStringLiteral("HTML страница (*.html)"), QStringLiteral("html"), QStringLiteral("html"), false},
      {QStringLiteral("XHTML страница (*.xhtml)"), QStringLiteral("xhtml"), QStringLiteral("xhtml"), false},
      {QStringLiteral("Текст TXT (*.txt)"), QStringLiteral("txt"), QStringLiteral("txt"), false},
      {QStringLiteral("Изображение PNG (*.png)"), QStringLiteral("png"), QStringLiteral("png"), true},
      {QStringLiteral("Изображение JPEG (*.jpg)"), QStringLiteral("jpg"), QStringLiteral("jpg"), true},
      {QStringLiteral("Изображение BMP (*.bmp)"), QStringLiteral("bmp"), QStringLiteral("bmp"), true},
  };
  static const QStringList perPage{QStringLiteral("png"), QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                   QStringLiteral("bmp")};

  if (!currentDocument->isOpen()) {
    appInfo(this, QStringLiteral("Сохранить как"), QStringLiteral("Нет открытого документа."));
    return;
  }
  // The filters are offered in the interface language; which one was chosen
  // is told by its place in the list, never by its text.
  QStringList filters;
  for (const FmtEntry& entry : FMTS) filters << uiTranslate(entry.filter);
  const QString own = currentDocument->filePath();
  const QString initial = own.isEmpty() ? QDir(QDir::homePath()).filePath(QStringLiteral("document.pdf"))
                                        : QDir(QFileInfo(own).absolutePath()).filePath(QFileInfo(own).fileName());
  QFileDialog chooser(this, uiTranslate(QStringLiteral("Сохранить как / Экспорт")), QFileInfo(initial).absolutePath(),
                      filters.join(QStringLiteral(";;")));
  chooser.setAcceptMode(QFileDialog::AcceptSave);
  // A suffix may yet be added to the typed name: the file written is asked about below.
  chooser.setOption(QFileDialog::DontConfirmOverwrite);
  chooser.selectFile(QFileInfo(initial).fileName());
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return;
  QString file = chooser.selectedFiles().constFirst();
  if (file.isEmpty()) return;

  const QString suffix = QFileInfo(file).suffix().toLower();
  const int chosen = chosenFilterIndex(chooser, filters);
  const FmtEntry* entry = chosen >= 0 && chosen < FMTS.size() ? &FMTS[chosen] : nullptr;
  for (const FmtEntry& candidate : FMTS)
    if (!entry && candidate.extension == suffix) entry = &candidate;
  if (!entry) entry = &FMTS.first();
  if (suffix != entry->extension) file += QLatin1Char('.') + entry->extension;

  // Saving over the document's own file asks its own questions, and the
  // compressed and scanned-look exports name their files in their dialogs.
  // A copy is asked about its signatures before any tab is closed for it.
  const bool savingPdf = entry->format == QLatin1String("pdf");
  const bool ownFile = savingPdf && !own.isEmpty() && QFileInfo(own) == QFileInfo(file);
  const bool ownDialog = entry->format.endsWith(QLatin1String("-pdf"));
  if (savingPdf && !ownFile && !copyBreakingSignaturesAllowed(file)) return;
  if (!ownFile && !ownDialog && !confirmSaveTarget(file)) return;

  // What leaves the program carries the edits still open in the view; edit
  // mode then goes on with the page as it now stands, as after a save.
  if (!applyPendingOcrEdits()) return;
  const auto reloadBlocks = qScopeGuard([this] { reloadTextLayerAfterSave(); });
  if (entry->format == QLatin1String("scanned-pdf")) {
    // The document's own name, left as offered, would replace the document:
    // it gets the kind's suffix. A name the user typed is used as typed.
    const bool ownName = !own.isEmpty() && QFileInfo(file).absoluteFilePath() == QFileInfo(own).absoluteFilePath();
    showScannedPdfExportDialog(ownName ? withLocalizedPdfSuffix(file, QStringLiteral("scanned")) : file);
    return;
  }
  if (entry->format == QLatin1String("compressed-pdf")) {
    showCompressedPdfExportDialog(withLocalizedPdfSuffix(file, QStringLiteral("compressed")), false);
    return;
  }
  int dpi = 150;
  if (entry->needsDpi) {
    bool ok = false;
    dpi = QInputDialog::getInt(this, QStringLiteral("Разрешение"), QStringLiteral("DPI (72–600):"), 150, 72, 600, 1,
                               &ok);
    if (!ok) return;
  }
  const QString name = QFileInfo(file).fileName();
  if (entry->format == QLatin1String("pdf")) {
    const QString absolute = QFileInfo(file).absoluteFilePath();
    const bool inPlace = !own.isEmpty() && QFileInfo(own).absoluteFilePath() == absolute;
    if (inPlace && !rewritingOwnFileAllowed()) return;
    const bool signedFile = currentDocument->signatureCount() > 0;
    if (!(inPlace ? currentDocument->save(file) : currentDocument->saveAs(file))) {
      updateTitle();
      plainMessageBox(this, QMessageBox::Critical, QStringLiteral("Ошибка"),
                            uiTranslate(QStringLiteral("Не удалось сохранить:\n%1")).arg(currentDocument->lastError()));
      return;
    }
    // The tab now stands for the new file: its name, the title and the recent list follow.
    if (activeIndex >= 0 && activeIndex < int(documents.size()) &&
        documents[size_t(activeIndex)].document.get() == currentDocument)
      documents[size_t(activeIndex)].path = absolute;
    noteFullSave(currentDocument, signedFile);
    rememberRecentFile(absolute);
    updateTitle();
    updatePageControls();
    statusLabel->setText(tr("Сохранено: %1").arg(name));
    return;
  }

  if (!currentDocument->exportDocument(file, entry->format, dpi)) {
    plainMessageBox(this, QMessageBox::Critical, QStringLiteral("Ошибка экспорта"),
                          uiTranslate(QStringLiteral("Не удалось экспортировать:\n%1")).arg(currentDocument->lastError()));
    return;
  }
  QString status = uiTranslate(QStringLiteral("Экспортировано: %1")).arg(name);
  if (perPage.contains(entry->format) && currentDocument->pageCount() > 1)
    status += uiTranslate(QStringLiteral(" (страницы пронумерованы: %1_N.%2)")).arg(QFileInfo(file).completeBaseName(),
                                                                       entry->extension);
  statusLabel->setText(status);
}
