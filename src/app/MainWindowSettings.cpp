// Stored settings that the window frame applies: theme of the page canvas,
// floating-bar visibility and the remembered ribbon tab.
#include "MainWindow.h"

#include "view/PdfView.h"

#include <QSettings>
#include <QTabWidget>

void MainWindow::setLightTheme() {
  view->setCanvasTheme(false);
  QSettings().setValue(QStringLiteral("ui/theme"), QStringLiteral("light"));
}

void MainWindow::setDarkTheme() {
  view->setCanvasTheme(true);
  QSettings().setValue(QStringLiteral("ui/theme"), QStringLiteral("dark"));
}

void MainWindow::applyStoredSettings() {
  QSettings settings;
  if (floatingBar) floatingBar->setVisible(settings.value(QStringLiteral("ui/floatingBar"), true).toBool());
  if (ribbon && settings.value(QStringLiteral("ui/rememberTab"), false).toBool()) {
    const int tab = settings.value(QStringLiteral("ui/lastRibbonTab"), 0).toInt();
    if (tab >= 0 && tab < ribbon->count()) ribbon->setCurrentIndex(tab);
  }
  setupAutoSaveTimer();
}
