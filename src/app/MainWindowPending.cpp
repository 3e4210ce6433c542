// Entry points whose features are still to come. Each tells the user that the
// function is not available yet and changes nothing.
#include "MainWindow.h"
#include "ui/UiLanguage.h"

#include "ui/DialogHelpers.h"

void MainWindow::tellNotAvailableYet(const QString& function) {
  appInfo(this, QStringLiteral("Недоступно"), uiTranslate(QStringLiteral("Функция «%1» пока недоступна.")).arg(function));
}
