// The thumbnail panel's import: the panel offers it in every edition, so the
// window checks the edition's flags first.
#include "MainWindow.h"

void MainWindow::onThumbnailImportPage(int beforeIndex) {
  if (allowPageEditing() && allowImports()) onImportPageRequested(beforeIndex);
}
