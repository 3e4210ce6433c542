// Saving the active document to its own file or under a new name, and the
// autosave timer. Pending block edits are written into the page first; when
// that is refused nothing is saved.
#include "MainWindow.h"
#include "ExportTarget.h"
#include "ui/UiLanguage.h"

#include "ui/BusyRing.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"
#include "ui/UniqueSiblingPath.h"

#include "core/PdfDocument.h"
#include "view/PdfView.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace {

// Asks for the name of a PDF to write, starting at `proposed`. ".pdf" is added
// to a typed name without it, and only then is the file written asked about
// (`mayWrite`: a file there, or a tab holding it): the question names the file
// that is written. The document's own file is not asked about here: saving
// over it has questions of its own. Empty when the user cancelled.
QString askPdfFileName(QWidget* parent, const QString& proposed, const QString& own,
                       const std::function<bool(const QString&)>& mayWrite) {
  const QString title = uiTranslate(QStringLiteral("Сохранить как"));
  QString start = proposed;
  for (;;) {
    QFileDialog chooser(parent, title, start.isEmpty() ? QString() : QFileInfo(start).absolutePath(),
                        uiTranslate(QStringLiteral("PDF файлы (*.pdf)")));
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    chooser.setOption(QFileDialog::DontConfirmOverwrite);
    if (!start.isEmpty()) chooser.selectFile(QFileInfo(start).fileName());
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return {};
    QString name = chooser.selectedFiles().constFirst();
    if (name.isEmpty()) return {};
    if (!name.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) name += QStringLiteral(".pdf");
    if ((!own.isEmpty() && QFileInfo(name) == QFileInfo(own)) || mayWrite(name)) return name;
    start = name;  // declined: the chooser again, at the name it would have written
  }
}

// A save of a long document, or of large pictures, takes seconds: the file is
// written off the window's thread, and the ring shows once it takes long.
constexpr int kSaveCoverAfterMs = 300;
bool savingNow = false;  // an autosave falling due meanwhile waits for the next

bool saveWithBusyCover(QWidget* window, PdfDocument* document, const QString& path) {
  bool saved = false;
  savingNow = true;
  runWithBusyCover(window, uiTranslate(QStringLiteral("Сохраняю документ...")),
                   [&] { saved = document->save(path); }, kSaveCoverAfterMs);
  savingNow = false;
  return saved;
}

}  // namespace

void MainWindow::onSave() {
  if (!currentDocument->isOpen()) return;
  // An untitled tab (made by an import) has no file yet: ask for one.
  if (currentDocument->filePath().isEmpty()) {
    onSaveAs();
    return;
  }
  if (!rewritingOwnFileAllowed()) return;
  if (!applyPendingOcrEdits()) return;
  const bool signedFile = currentDocument->signatureCount() > 0;
  if (!saveWithBusyCover(this, currentDocument, currentDocument->filePath())) {
    // The edits written into the page above are still unsaved: the title
    // keeps its mark and the status line says nothing was written.
    updateTitle();
    statusLabel->setText(tr("Файл не сохранён"));
    plainMessageBox(this, QMessageBox::Critical, QStringLiteral("Ошибка"),
                          uiTranslate(QStringLiteral("Не удалось сохранить файл:\n%1")).arg(currentDocument->lastError()));
    return;
  }
  noteFullSave(currentDocument, signedFile);
  updateTitle();
  reloadTextLayerAfterSave();
  statusLabel->setText(tr("Сохранено"));
}

bool MainWindow::signaturesAtRisk(const PdfDocument* document) const {
  if (document->openedFromEnvelope()) return true;
  if (document->signatureCount() <= 0) return false;
  return std::none_of(documents.begin(), documents.end(), [document](const OpenDocumentState& state) {
    return state.document.get() == document && state.signaturesBroken;
  });
}

MainWindow::SignedFileSave MainWindow::askBeforeBreakingSignatures(PdfDocument* document) {
  if (!signaturesAtRisk(document)) return SignedFileSave::Overwrite;
  const auto ui = [](const char* russian) { return uiTranslate(QString::fromUtf8(russian)); };
  // A signed envelope (.p7m) is never written over: only a copy as a PDF.
  if (document->openedFromEnvelope())
    return appQuestion(this, ui("Подписанный документ"),
                       ui("Файл «%1» — подписанный конверт: PDF лежит в нём вместе с подписью. Записать в него "
                          "изменения нельзя, подпись пропала бы.\n\nСохранить копию: изменения сохраняются в новый "
                          "PDF-файл, а подписанный файл остаётся как есть. В копии подписи не будет.")
                           .arg(QFileInfo(document->filePath()).fileName()),
                       ui("Сохранить копию..."), ui("Отмена"))
               ? SignedFileSave::Copy
               : SignedFileSave::Cancel;
  const int signatures = document->signatureCount();
  const QString text =
      uiTranslate(QStringLiteral("Документ «%1» подписан (подписей: %2). Сохранение перепишет файл целиком, и его "
                                 "подписи станут недействительными.\n\nСохранить копию: изменения сохраняются в "
                                 "новый файл под другим именем, а подписанный файл остаётся как есть. Подписи в "
                                 "копии будут недействительны."))
          .arg(QFileInfo(document->filePath()).fileName(), QString::number(signatures));
  switch (appPdfFileQuestion(this, ui("Подписанный документ"), text, ui("Сохранить копию..."), ui("Отмена"),
                             ui("Сохранить и нарушить подписи"))) {
    case 0:
      return SignedFileSave::Copy;
    case 1:
      return SignedFileSave::Overwrite;
    default:
      return SignedFileSave::Cancel;
  }
}

bool MainWindow::rewritingOwnFileAllowed() {
  if (!writingOverReplacedFileAllowed(currentDocument)) {
    statusLabel->setText(tr("Файл не сохранён"));
    return false;
  }
  switch (askBeforeBreakingSignatures(currentDocument)) {
    case SignedFileSave::Copy:
      saveCopyOfSignedDocument();
      return false;
    case SignedFileSave::Cancel:
      statusLabel->setText(tr("Файл не сохранён"));
      return false;
    case SignedFileSave::Overwrite:
      break;
  }
  return true;
}

bool MainWindow::writingOverReplacedFileAllowed(PdfDocument* document) {
  if (!fileReplacedOnDisk(document)) return true;
  const auto ui = [](const char* russian) { return uiTranslate(QString::fromUtf8(russian)); };
  return appQuestion(this, ui("Файл заменён на диске"),
                     ui("Файл «%1» заменён на диске после того, как эта вкладка его открыла или сохранила. "
                        "Сохранение запишет поверх него документ вкладки, и то, что сейчас лежит в файле, пропадёт.")
                         .arg(QFileInfo(document->filePath()).fileName()),
                     ui("Записать поверх"), ui("Отмена"));
}

bool MainWindow::confirmSaveTarget(const QString& target) {
  PdfDocument* saving = currentDocument;
  bool tabClosed = false;
  // One file may stand in several tabs (names that are links of one file).
  for (int holder = openDocumentIndexForPath(target);
       holder >= 0 && documents[size_t(holder)].document.get() != saving;
       holder = openDocumentIndexForPath(target)) {
    // The tab would go on showing what the file held, and its next save
    // would write that back over what is written now.
    if (!tabClosed && !appQuestion(this, uiTranslate(QStringLiteral("Файл открыт во вкладке")),
                                   uiTranslate(QStringLiteral("Файл «%1» открыт в другой вкладке. Записать его можно, "
                                                              "только закрыв ту вкладку.\n\nЗакрыть её и заменить файл?"))
                                       .arg(QFileInfo(target).fileName()),
                                   uiTranslate(QStringLiteral("Закрыть вкладку и заменить")),
                                   uiTranslate(QStringLiteral("Отмена"))))
      return false;
    tabClosed = true;
    // Its own unsaved-changes question may keep it open.
    if (!closeDocumentAt(holder)) return false;
  }
  // Saving that tab may have brought another tab forward: the save goes on
  // with the document it was asked for, or not at all.
  if (currentDocument != saving) {
    const auto kept = std::find_if(documents.begin(), documents.end(),
                                   [saving](const OpenDocumentState& state) { return state.document.get() == saving; });
    if (kept == documents.end()) return false;
    activateDocument(int(kept - documents.begin()));
    if (currentDocument != saving) return false;
  }
  return tabClosed || confirmReplacingFile(this, target);
}

bool MainWindow::copyBreakingSignaturesAllowed(const QString& copy) {
  if (currentDocument->openedFromEnvelope() || !signaturesAtRisk(currentDocument)) return true;
  const auto ui = [](const char* russian) { return uiTranslate(QString::fromUtf8(russian)); };
  return appQuestion(this, ui("Подписанный документ"),
                     ui("Документ «%1» подписан (подписей: %2). Копия «%3» записывается целиком, а подписанный файл "
                        "остаётся как есть. Подписи в копии будут недействительны.")
                         .arg(QFileInfo(currentDocument->filePath()).fileName(),
                              QString::number(currentDocument->signatureCount()), QFileInfo(copy).fileName()),
                     ui("Сохранить копию"), ui("Отмена"));
}

void MainWindow::saveCopyOfSignedDocument() {
  if (!currentDocument->isOpen()) return;
  // The copy of an envelope is the PDF it holds: "act.pdf.p7m" proposes "act.pdf".
  QString own = currentDocument->filePath();
  if (currentDocument->openedFromEnvelope()) {
    const QFileInfo envelope(own);
    own = envelope.dir().filePath(envelope.completeBaseName());
    if (!own.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) own += QStringLiteral(".pdf");
  }
  const QString name = askPdfFileName(this, uniqueSiblingPathLikeChrome(own), currentDocument->filePath(),
                                      [this](const QString& target) { return confirmSaveTarget(target); });
  if (!name.isEmpty()) saveActiveDocumentAs(name);
}

void MainWindow::noteFullSave(PdfDocument* document, bool hadSignatures) {
  for (OpenDocumentState& state : documents) {
    if (state.document.get() != document) continue;
    state.fileStamp = fileStampOf(document->filePath());
    if (hadSignatures) state.signaturesBroken = true;
  }
}

bool MainWindow::fileReplacedOnDisk(const PdfDocument* document) const {
  const std::optional<FileStamp> now = fileStampOf(document->filePath());
  return now && std::any_of(documents.begin(), documents.end(), [&](const OpenDocumentState& state) {
           return state.document.get() == document && state.fileStamp != now;
         });
}

void MainWindow::onSaveAs() {
  if (!currentDocument->isOpen()) return;
  const QString name = askPdfFileName(this, currentDocument->filePath(), currentDocument->filePath(),
                                      [this](const QString& target) { return confirmSaveTarget(target); });
  if (!name.isEmpty()) saveActiveDocumentAs(name);
}

bool MainWindow::saveActiveDocumentAs(const QString& fileName) {
  if (!currentDocument->isOpen()) return false;
  // Chosen to be the signed file itself: the same question as saving it.
  const QString own = currentDocument->filePath();
  if (!own.isEmpty() && QFileInfo(own).absoluteFilePath() == QFileInfo(fileName).absoluteFilePath()) {
    if (!rewritingOwnFileAllowed()) return !currentDocument->isModified();
  }
  if (!applyPendingOcrEdits()) return false;
  const bool signedFile = currentDocument->signatureCount() > 0;
  if (!saveWithBusyCover(this, currentDocument, fileName)) {
    updateTitle();
    statusLabel->setText(tr("Файл не сохранён"));
    QMessageBox::critical(this, QStringLiteral("Ошибка"), QStringLiteral("Не удалось сохранить файл."));
    return false;
  }
  if (activeIndex >= 0 && activeIndex < int(documents.size()))
    documents[size_t(activeIndex)].path = QFileInfo(fileName).absoluteFilePath();
  noteFullSave(currentDocument, signedFile);
  updateTitle();
  reloadTextLayerAfterSave();
  statusLabel->setText(tr("Сохранено как: %1").arg(QFileInfo(fileName).fileName()));
  return true;
}

bool MainWindow::autoSaveMustWait() const {
  return pictureEditorOpen || view->hasActiveTextEditor() || writingPendingBlocks;
}

void MainWindow::runOwedAutoSave() {
  if (!autoSaveOwed) return;
  // Later, so that whatever closed the editor has finished with its blocks.
  QTimer::singleShot(0, this, [this] {
    if (autoSaveOwed && !autoSaveMustWait()) autoSaveIfNeeded();
  });
}

void MainWindow::autoSaveIfNeeded() {
  autoSaveOwed = false;
  if (savingNow || !currentDocument->isOpen() || !currentDocument->isModified() || currentDocument->filePath().isEmpty() ||
      ocrBusy)
    return;
  // Writing the edits closes the editors: what the user goes on typing, or
  // the picture being drawn, would have no block left to go to.
  autoSaveOwed = autoSaveMustWait();
  if (autoSaveOwed) return;
  // Nobody is there to be asked: a signed file, or one replaced on disk, is
  // only rewritten by a save the user chose.
  if (signaturesAtRisk(currentDocument)) {
    statusLabel->setText(tr("Автосохранение пропущено: файл подписан, сохраните его вручную"));
    return;
  }
  if (fileReplacedOnDisk(currentDocument)) {
    statusLabel->setText(tr("Автосохранение пропущено: файл заменён на диске, сохраните его вручную"));
    return;
  }
  if (!applyPendingOcrEdits()) return;
  if (!saveWithBusyCover(this, currentDocument, currentDocument->filePath())) {
    updateTitle();
    statusLabel->setText(tr("Автосохранение не удалось: %1").arg(currentDocument->lastError()));
    return;
  }
  noteFullSave(currentDocument, false);
  updateTitle();
  reloadTextLayerAfterSave();
  statusLabel->setText(
      tr("Автосохранено: %1").arg(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm"))));
}

void MainWindow::reloadTextLayerAfterSave() {
  // Writing the edits took the blocks away; edit mode goes on with the page
  // as it now stands in the file.
  if (!editMode || !currentDocument->isOpen() || !view->currentOcrBlocks().empty()) return;
  readShownPageText(view->currentPageIndex());
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
