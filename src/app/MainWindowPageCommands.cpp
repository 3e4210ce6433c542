// Page commands of the Pages tab and the thumbnail panel. The panel offers
// its menu and drag in every edition, so the window checks the edition's
// flags before any page is inserted, deleted, moved or imported.
#include "MainWindow.h"

#include "core/PdfDocument.h"

void MainWindow::onInsertBlankPage() {
  if (!allowPageEditing() || !currentDocument->isOpen()) return;
  tellNotAvailableYet(QStringLiteral("Вставить страницу"));
}

void MainWindow::onDeleteCurrentPage() {
  if (!allowPageEditing() || !currentDocument->isOpen()) return;
  tellNotAvailableYet(QStringLiteral("Удалить страницу"));
}

void MainWindow::onDuplicatePage() {
  if (!allowPageEditing() || !currentDocument->isOpen()) return;
  tellNotAvailableYet(QStringLiteral("Дубль"));
}

void MainWindow::onClearPage() {
  if (!allowPageEditing() || !currentDocument->isOpen()) return;
  tellNotAvailableYet(QStringLiteral("Очистить"));
}

void MainWindow::onThumbnailMovePage(int, int) {
  if (!allowPageEditing() || !currentDocument->isOpen()) return;
  tellNotAvailableYet(QStringLiteral("Переместить страницу"));
}

void MainWindow::onThumbnailDeletePage(int) {
  if (!allowPageEditing() || !currentDocument->isOpen()) return;
  tellNotAvailableYet(QStringLiteral("Удалить страницу"));
}

void MainWindow::onThumbnailInsertPage(int) {
  if (!allowPageEditing() || !currentDocument->isOpen()) return;
  tellNotAvailableYet(QStringLiteral("Вставить страницу"));
}

void MainWindow::onThumbnailImportPage(int) {
  if (!allowPageEditing() || !allowImports() || !currentDocument->isOpen()) return;
  tellNotAvailableYet(QStringLiteral("Импорт"));
}
