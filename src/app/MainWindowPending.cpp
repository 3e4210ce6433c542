// Entry points whose features are still to come. Each tells the user that the
// function is not available yet and changes nothing.
#include "MainWindow.h"

#include "DialogHelpers.h"

#include <QApplication>

void MainWindow::tellNotAvailableYet(const QString& function) {
  appInfo(this, QStringLiteral("Недоступно"), QStringLiteral("Функция «%1» пока недоступна.").arg(function));
}

void MainWindow::showPrintDialog() { tellNotAvailableYet(QStringLiteral("Печать")); }
void MainWindow::showPasswordDialog() { tellNotAvailableYet(QStringLiteral("Пароль")); }
void MainWindow::showOcrProgressDialog() { tellNotAvailableYet(QStringLiteral("OCR")); }
void MainWindow::showAnnotationPropertiesDialog() { tellNotAvailableYet(QStringLiteral("Разметка")); }
void MainWindow::showDocumentPropertiesDialog() { tellNotAvailableYet(QStringLiteral("Свойства")); }
void MainWindow::showSettingsDialog() { tellNotAvailableYet(QStringLiteral("Настройки")); }
void MainWindow::showAboutDialog() { tellNotAvailableYet(QStringLiteral("О программе")); }
void MainWindow::showSearchDialog() { tellNotAvailableYet(QStringLiteral("Найти")); }
void MainWindow::onRotateCCW() { tellNotAvailableYet(QStringLiteral("Влево")); }
void MainWindow::onRotateCW() { tellNotAvailableYet(QStringLiteral("Вправо")); }
void MainWindow::showSignatureDialog(bool, const QList<QString>&, const QList<QString>&, const QString&) {
  tellNotAvailableYet(QStringLiteral("Подписать"));
}
void MainWindow::showCompressedPdfExportDialog(const QString&, bool) { tellNotAvailableYet(QStringLiteral("Сжать PDF")); }
void MainWindow::showScannedPdfExportDialog(const QString&) { tellNotAvailableYet(QStringLiteral("Сканированный PDF")); }
void MainWindow::showSpecialCharactersDialog() { tellNotAvailableYet(QStringLiteral("Символ")); }
void MainWindow::onFacsimileInsert() { tellNotAvailableYet(QStringLiteral("Вставить факсимиле")); }
void MainWindow::onFacsimileAdd() { tellNotAvailableYet(QStringLiteral("Добавить факсимиле")); }
void MainWindow::onFacsimileEdit() { tellNotAvailableYet(QStringLiteral("Изменить факсимиле")); }
void MainWindow::checkForUpdates() { tellNotAvailableYet(QStringLiteral("Обновления")); }

void MainWindow::showEcpStartup(const QList<QString>&) {
  tellNotAvailableYet(QStringLiteral("Подписать"));
  QApplication::quit();
}
