// The window's ways into signing: the signature dialog for the active
// document or given files, and the file manager's "sign" action.
#include "MainWindow.h"

#include "signature/SignatureWorkflow.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>

void MainWindow::showSignatureDialog(bool fromShellAction, const QList<QString>& batch,
                                     const QList<QString>& skipped, const QString& path) {
  SignatureWindowLink link;
  link.window = this;
  link.allowSignatures = allowSignatures();
  QPointer<MainWindow> self(this);
  link.activeDocument = [self]() -> PdfDocument* { return self ? self->currentDocument : nullptr; };
  link.openFile = [self](const QString& file) {
    if (self) self->openFile(file);
  };
  link.showStatus = [self](const QString& text) {
    if (self && self->statusLabel) self->statusLabel->setText(text);
  };
  link.applyPendingEdits = [self] { return self && self->applyPendingOcrEdits(); };
  runSignatureDialog(link, fromShellAction, batch, skipped, path);
}

void MainWindow::showEcpStartup(const QList<QString>& files) {
  QStringList usable;
  for (const QString& file : files) {
    const QFileInfo info(file);
    if (!info.isFile()) continue;
    const QString absolute = info.absoluteFilePath();
    if (!usable.contains(absolute)) usable << absolute;
  }
  if (usable.isEmpty()) {
    usable = QFileDialog::getOpenFileNames(this, uiTranslate(QStringLiteral("Выберите файлы для подписи")),
                                           QDir::homePath(), uiTranslate(QStringLiteral("Все файлы (*)")));
    if (usable.isEmpty()) {
      QApplication::quit();
      return;
    }
  }
  showSignatureDialog(false, usable, {}, usable.first());
  QApplication::quit();
}
