// Page commands of the Pages tab and the thumbnail panel. The panel offers
// its menu and drag in every edition, so the window checks the edition's
// flags before any page is inserted, deleted, moved or imported.
#include "MainWindow.h"

#include "core/PdfDocument.h"

void MainWindow::runPageCommand(const QString& command, bool imports) {
  if (!allowPageEditing() || (imports && !allowImports()) || !currentDocument->isOpen()) return;
  tellNotAvailableYet(command);
}

void MainWindow::onInsertBlankPage() { runPageCommand(QStringLiteral("Вставить страницу"), false); }
void MainWindow::onDeleteCurrentPage() { runPageCommand(QStringLiteral("Удалить страницу"), false); }
void MainWindow::onDuplicatePage() { runPageCommand(QStringLiteral("Дубль"), false); }
void MainWindow::onClearPage() { runPageCommand(QStringLiteral("Очистить"), false); }
void MainWindow::onThumbnailMovePage(int, int) { runPageCommand(QStringLiteral("Переместить страницу"), false); }
void MainWindow::onThumbnailDeletePage(int) { runPageCommand(QStringLiteral("Удалить страницу"), false); }
void MainWindow::onThumbnailInsertPage(int) { runPageCommand(QStringLiteral("Вставить страницу"), false); }
void MainWindow::onThumbnailImportPage(int beforeIndex) {
  if (allowPageEditing() && allowImports()) onImportPageRequested(beforeIndex);
}
