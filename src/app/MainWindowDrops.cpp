// Files dropped on the window: each PDF asks whether to open it, append its
// pages or skip it; any other file is imported as pages. With nothing open
// the pages go into a new untitled tab.
#include "MainWindow.h"
#include "ImportWithBusyCover.h"
#include "ui/UiLanguage.h"

#include "core/PdfDocument.h"
#include "ui/DialogHelpers.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>

void MainWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  for (const QUrl& url : urls) {
    const QString path = url.toLocalFile();
    const QFileInfo info(path);
    const QString name = info.fileName();
    if (info.suffix().toLower() == QLatin1String("pdf")) {
      const int answer = appPdfFileQuestion(this, QStringLiteral("PDF файл"),
                                            uiTranslate(QStringLiteral("Что сделать с \"%1\"?")).arg(name),
                                            QStringLiteral("Добавить как страницы"), QStringLiteral("Отмена"),
                                            QStringLiteral("Открыть как новый документ"));
      if (answer == 1) {
        openFile(path);
      } else if (answer == 0) {
        if (!currentDocument->isOpen() && !createUntitledDocument()) {
          appInfo(this, QStringLiteral("Ошибка"), QStringLiteral("Не удалось создать документ."));
          continue;
        }
        // The page list changes: edits still in the view go into their page first.
        if (!applyPendingOcrEdits()) continue;
        const std::optional<QByteArray> password = passwordToImport(path);
        if (!password) continue;  // the password form was cancelled
        if (!importDocumentWithBusyCover(this, currentDocument, path, *password)) {
          appInfo(this, QStringLiteral("Ошибка импорта"), currentDocument->lastError());
          continue;
        }
        refreshAfterImport(uiTranslate(QStringLiteral("Импортировано: %1")).arg(name));
      }
      continue;
    }
    if (!currentDocument->isOpen() && !createUntitledDocument()) {
      QMessageBox::critical(this, QStringLiteral("Ошибка"), QStringLiteral("Не удалось создать документ."));
      continue;
    }
    if (!importFile(path, 0)) {
      // A cancelled spreadsheet dialog has nothing to report.
      if (!lastImportError.isEmpty()) plainMessageBox(this, QMessageBox::Critical, QStringLiteral("Ошибка импорта"), lastImportError);
      continue;
    }
    refreshAfterImport(uiTranslate(QStringLiteral("Импортировано: %1")).arg(name));
  }
}
