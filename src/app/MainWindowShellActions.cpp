// The dialog-only actions a file manager starts ("merge", "compress",
// "sign"): the files are checked, the matching dialog opens, and when the
// action is refused the program says which files did not fit and ends with
// a non-zero exit code.
#include "MainWindow.h"

#include "ShellActionFiles.h"
#include "core/PdfDocument.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>

namespace {

// Exit code of a refused shell action.
constexpr int kRefusedExitCode = 1;

}  // namespace

void MainWindow::runShellAction(const QString& action, const QList<QString>& arguments, bool fromShellAction) {
  ShellActionFiles given = collectShellActionFiles(arguments);
  const auto refuse = [this, fromShellAction](const QString& title, const QString& text) {
    appInfo(this, uiTranslate(title), text);
    if (fromShellAction) QCoreApplication::exit(kRefusedExitCode);
  };

  if (action == QLatin1String("merge")) {
    QList<QString> kept;
    for (const QString& path : given.files) {
      if (!isSupportedMergeFile(path))
        given.refused << QFileInfo(path).fileName() + uiTranslate(QStringLiteral(" — формат не поддерживается"));
      else if (!QFileInfo(path).isReadable())
        given.refused << QFileInfo(path).fileName() + uiTranslate(QStringLiteral(" — нет доступа на чтение"));
      else
        kept << path;
    }
    if (kept.size() < 2) {
      refuse(QStringLiteral("Объединение PDF"),
             uiTranslate(QStringLiteral("Выберите минимум два поддерживаемых файла для объединения.")) +
                 refusedFilesNote(given.refused));
      return;
    }
    if (!given.refused.isEmpty())
      appInfo(this, uiTranslate(QStringLiteral("Объединение PDF")),
              uiTranslate(QStringLiteral("Эти файлы не войдут в объединение.")) + refusedFilesNote(given.refused));
    deferPageToolsMerge(kept, fromShellAction);
    return;
  }

  if (action == QLatin1String("compress")) {
    if (given.files.size() != 1 || QFileInfo(given.files.first()).suffix().compare(QLatin1String("pdf"),
                                                                                    Qt::CaseInsensitive) != 0) {
      for (const QString& path : given.files)
        if (QFileInfo(path).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) != 0)
          given.refused << QFileInfo(path).fileName() + uiTranslate(QStringLiteral(" — не PDF"));
      refuse(QStringLiteral("Сжать PDF"),
             uiTranslate(QStringLiteral("Для сжатия выберите один PDF-файл.")) + refusedFilesNote(given.refused));
      return;
    }
    openFile(given.files.first());
    QTimer::singleShot(0, this, [this, fromShellAction] {
      if (!currentDocument->isOpen()) {
        // openFile has already said why the file could not be opened.
        if (fromShellAction) QCoreApplication::exit(kRefusedExitCode);
        return;
      }
      showCompressedPdfExportDialog(QString(), fromShellAction);
      if (fromShellAction && !isVisible()) QCoreApplication::quit();
    });
    return;
  }

  if (action == QLatin1String("sign")) {
    QList<QString> pdfs;
    QList<QString> skipped;
    for (const QString& path : given.files) {
      QString reason;
      if (hasPdfSignature(path, &reason)) {
        pdfs << path;
      } else {
        skipped << path;
        given.refused << QFileInfo(path).fileName() + QStringLiteral(" — ") + reason;
      }
    }
    if (pdfs.isEmpty()) {
      refuse(QStringLiteral("Подписать PDF"),
             uiTranslate(QStringLiteral("Среди выбранных файлов нет PDF по содержимому.")) +
                 refusedFilesNote(given.refused));
      return;
    }
    // Run at once: the program already calls this from its event loop, and a
    // caller in the window sees the dialog while the call lasts.
    if (!fromShellAction) openFile(pdfs.first());
    if (statusLabel && pdfs.size() > 1)
      statusLabel->setText(tr("Подписание PDF 1 из %1").arg(pdfs.size()));
    if (!fromShellAction && !currentDocument->isOpen()) return;
    showSignatureDialog(fromShellAction, pdfs, skipped, fromShellAction ? pdfs.first() : QString());
    if (fromShellAction && !isVisible()) QCoreApplication::quit();
    return;
  }

  refuse(QStringLiteral("Ошибка"), uiTranslate(QStringLiteral("Неизвестное действие: %1")).arg(action));
}
