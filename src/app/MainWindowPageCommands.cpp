// Page commands of the Pages tab and the thumbnail panel. The panel offers
// its menu and drag in every edition, so the window checks the edition's
// flags before any page is inserted, deleted, moved or imported.
#include "MainWindow.h"

#include "core/PdfDocument.h"

void MainWindow::runPageCommand(const QString& command, bool imports) {
  if (!allowPageEditing() || (imports && !allowImports()) || !currentDocument->isOpen()) return;
  tellNotAvailableYet(command);
}

void MainWindow::onThumbnailImportPage(int beforeIndex) {
  if (allowPageEditing() && allowImports()) onImportPageRequested(beforeIndex);
}
