// Stored settings turned into the running window: language, density,
// floating bar, font labels, remembered ribbon tab, autosave and the themes.
#include "MainWindow.h"
#include "ui/Themes.h"
#include "ui/UiLanguage.h"

#include "view/PdfView.h"

#include <QApplication>
#include <QComboBox>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>

#include <algorithm>

namespace {

struct DensitySizes {
  int ribbonHeight;
  int ribbonIcon, minHeight, minWidth, maxWidth;
  int largeIcon, largeWidth, largeHeight;
  int smallIcon, smallSide;
  int fontComboWidth, fontSpinWidth;
};

// The widest a text button may grow leaves room for the longest label of any
// language in the widest font the interface may be drawn in.
constexpr DensitySizes kDensities[] = {
    {132, 28, 58, 58, 156, 36, 66, 70, 20, 28, 156, 72},
    {144, 32, 62, 62, 160, 40, 72, 76, 24, 32, 168, 78},
    {158, 36, 68, 62, 168, 44, 80, 84, 28, 36, 184, 86},
};

bool insideFloatingBar(const QWidget* widget) {
  for (; widget; widget = widget->parentWidget())
    if (widget->objectName() == QLatin1String("FloatingBar")) return true;
  return false;
}

}  // namespace

void MainWindow::setLightTheme() {
  applyStyleSheetFile(themeStyleSheetPath(false));
  if (view) view->setCanvasTheme(false);
  QSettings().setValue(QStringLiteral("ui/theme"), QStringLiteral("light"));
}

void MainWindow::setDarkTheme() {
  applyStyleSheetFile(themeStyleSheetPath(true));
  if (view) view->setCanvasTheme(true);
  QSettings().setValue(QStringLiteral("ui/theme"), QStringLiteral("dark"));
}

void MainWindow::applyUiDensity(int level) {
  const int d = std::clamp(level, 0, 2);
  QSettings().setValue(QStringLiteral("ui/density"), d);
  const DensitySizes& size = kDensities[d];
  if (ribbon) {
    ribbon->setFixedHeight(size.ribbonHeight);
    for (QToolButton* button : ribbon->findChildren<QToolButton*>()) {
      if (insideFloatingBar(button)) continue;
      if (button->objectName() == QLatin1String("RibbonToolButton")) {
        button->setIconSize(QSize(size.ribbonIcon, size.ribbonIcon));
        button->setMinimumHeight(size.minHeight);
        button->setMinimumWidth(size.minWidth);
        button->setMaximumWidth(size.maxWidth);
      } else if (button->objectName() == QLatin1String("IconOnlyButton")) {
        if (button->toolButtonStyle() == Qt::ToolButtonTextUnderIcon) {
          button->setIconSize(QSize(size.largeIcon, size.largeIcon));
          button->setFixedHeight(size.largeHeight);
          button->setMinimumWidth(size.largeWidth);
        } else {
          button->setIconSize(QSize(size.smallIcon, size.smallIcon));
          button->setFixedSize(size.smallSide, size.smallSide);
        }
      }
    }
  }
  if (fontFamilyCombo) fontFamilyCombo->setFixedWidth(size.fontComboWidth);
  if (fontSizeSpin) fontSizeSpin->setFixedWidth(size.fontSpinWidth);
}

void MainWindow::applyStoredSettings() {
  QSettings settings;
  applyUiLanguage(settings.value(QStringLiteral("ui/language"), QStringLiteral("ru")).toString());
  applyProductDisplayName(product);
  applyUiDensity(settings.value(QStringLiteral("ui/density"), 1).toInt());
  if (floatingBar) floatingBar->setVisible(settings.value(QStringLiteral("ui/floatingBar"), true).toBool());
  if (view) {
    view->setOcrDebugLabelsVisible(settings.value(QStringLiteral("ocr/showFontLabels"), false).toBool());
    view->setEmptyPlaceholderText(uiTranslate(QStringLiteral("Откройте PDF файл")));
  }
  if (ribbon && settings.value(QStringLiteral("ui/rememberTab"), false).toBool()) {
    const int tab = settings.value(QStringLiteral("ui/lastRibbonTab"), 0).toInt();
    if (tab >= 0 && tab < ribbon->count()) ribbon->setCurrentIndex(tab);
  }
  setupAutoSaveTimer();
  for (QWidget* window : QApplication::topLevelWidgets()) localizeWidgetTree(window);
  // The title and the tabs hold file names, the edit button names its mode:
  // they are made again, not translated.
  updateTitle();
  updateEditModeUi();
  updatePageControls();
}
