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
void MainWindow::showOcrProgressDialog() { tellNotAvailableYet(QStringLiteral("OCR")); }
void MainWindow::showPageToolsDialog(const QList<QString>&, bool) { tellNotAvailableYet(QStringLiteral("Страницы")); }
void MainWindow::showSettingsDialog() { tellNotAvailableYet(QStringLiteral("Настройки")); }
void MainWindow::showAboutDialog() { tellNotAvailableYet(QStringLiteral("О программе")); }
void MainWindow::onRotateCCW() { tellNotAvailableYet(QStringLiteral("Влево")); }
void MainWindow::onRotateCW() { tellNotAvailableYet(QStringLiteral("Вправо")); }
void MainWindow::showImportDialog() { tellNotAvailableYet(QStringLiteral("Импорт")); }
void MainWindow::showSignatureDialog(bool, const QList<QString>&, const QList<QString>&, const QString&) {
  tellNotAvailableYet(QStringLiteral("Подписать"));
}
void MainWindow::showCompressedPdfExportDialog(const QString&, bool) { tellNotAvailableYet(QStringLiteral("Сжать PDF")); }
void MainWindow::onFacsimileInsert() { tellNotAvailableYet(QStringLiteral("Вставить факсимиле")); }
void MainWindow::onFacsimileAdd() { tellNotAvailableYet(QStringLiteral("Добавить факсимиле")); }
void MainWindow::onFacsimileEdit() { tellNotAvailableYet(QStringLiteral("Изменить факсимиле")); }
void MainWindow::checkForUpdates() { tellNotAvailableYet(QStringLiteral("Обновления")); }

void MainWindow::runShellAction(const QString& action, const QList<QString>&, bool) {
  // The window is not shown in this mode: say so and end.
  tellNotAvailableYet(action);
  QApplication::quit();
}

void MainWindow::showEcpStartup(const QList<QString>&) {
  tellNotAvailableYet(QStringLiteral("Подписать"));
  QApplication::quit();
}
