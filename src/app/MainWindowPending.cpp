// Entry points whose features are still to come. Each tells the user that the
// function is not available yet and changes nothing.
#include "MainWindow.h"

#include "DialogHelpers.h"

#include <QApplication>

void MainWindow::tellNotAvailableYet(const QString& function) {
  appInfo(this, QStringLiteral("Недоступно"), QStringLiteral("Функция «%1» пока недоступна.").arg(function));
}

void MainWindow::showOpenPdfDialog() { tellNotAvailableYet(QStringLiteral("Открыть")); }
void MainWindow::showSaveExportDialog() { tellNotAvailableYet(QStringLiteral("Сохранить как / Экспорт")); }
void MainWindow::showPageToolsDialog(const QList<QString>&, bool) { tellNotAvailableYet(QStringLiteral("Страницы")); }
void MainWindow::showImportDialog() { tellNotAvailableYet(QStringLiteral("Импорт")); }

void MainWindow::runShellAction(const QString& action, const QList<QString>& files, bool fromShellAction) {
  if (action == QLatin1String("sign")) return runShellSign(files, fromShellAction);
  if (action == QLatin1String("compress")) {
    runShellCompress(files, fromShellAction);
    return;
  }
  // The window is not shown in this mode: say so and end.
  tellNotAvailableYet(action);
  QApplication::quit();
}
