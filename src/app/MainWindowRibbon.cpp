// The ribbon frame: its tabs by edition, the remembered tab, the tool-button
// factory with its auto-connect table and the one-row group.
#include "MainWindow.h"

#include "RibbonFactories.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QSettings>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>

QTabWidget* MainWindow::buildRibbon() {
  auto* tabs = new QTabWidget;
  tabs->setObjectName(QStringLiteral("Ribbon"));
  tabs->setFixedHeight(144);
  tabs->addTab(buildHomeTab(), QStringLiteral("Главная"));
  if (allowImports() || allowFacsimiles) tabs->addTab(buildImportTab(), QStringLiteral("Вставка"));
  if (allowPageEditing()) tabs->addTab(buildPageTab(), QStringLiteral("Страницы"));
  if (allowComments || allowSignatures()) tabs->addTab(buildCommentTab(), QStringLiteral("Разметка"));
  tabs->addTab(buildViewTab(), QStringLiteral("Вид"));
  ribbon = tabs;
  // Connected last, so the first tab selected while filling is not recorded.
  connect(tabs, &QTabWidget::currentChanged, this, &MainWindow::onRibbonTabChanged);
  return tabs;
}

void MainWindow::onRibbonTabChanged(int index) {
  QSettings settings;
  if (!settings.value(QStringLiteral("ui/rememberTab"), false).toBool()) return;
  settings.setValue(QStringLiteral("ui/lastRibbonTab"), index);
}

QToolButton* MainWindow::toolButton(const QString& iconKey, const QString& text, bool checkable, bool autoConnect) {
  auto* button = new QToolButton;
  button->setObjectName(QStringLiteral("RibbonToolButton"));
  button->setIcon(commandIcon(iconKey));
  button->setIconSize(QSize(32, 32));
  button->setText(text);
  button->setToolTip(text);
  button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  button->setAutoRaise(true);
  button->setMinimumWidth(62);
  button->setMaximumWidth(160);
  button->setMinimumHeight(62);
  button->setCheckable(checkable);
  if (checkable) button->setChecked(true);
  if (!autoConnect) return button;

  const auto isIcon = [&](const char* key) { return iconKey == QLatin1String(key); };
  const auto isText = [&](std::initializer_list<const char*> texts) {
    for (const char* candidate : texts)
      if (text == QString::fromUtf8(candidate)) return true;
    return false;
  };
  // The first matching row decides; a button matching none stays unconnected.
  std::function<void()> action;
  if (isIcon("print"))
    action = [this] { showPrintDialog(); };
  else if (isIcon("open") || isText({"Открыть"}))
    action = [this] { showOpenPdfDialog(); };
  else if (isText({"Сохр.", "Экспорт", "Сохранить"}))
    action = [this] { showSaveExportDialog(); };
  else if (isText({"Пароль"}))
    action = [this] { showPasswordDialog(); };
  else if (isText({"OCR"}))
    action = [this] { showOcrProgressDialog(); };
  else if (isText({"Дубль"}))
    action = [this] { showPageToolsDialog({}, false); };
  else if (isText({"Заметка", "Маркер", "Подчерк.", "Зачерк.", "Цвет"}))
    action = [this] { showAnnotationPropertiesDialog(); };
  else if (isText({"Свойства"}))
    action = [this] { showDocumentPropertiesDialog(); };
  else if (isText({"Настройки"}))
    action = [this] { showSettingsDialog(); };
  else if (isText({"Ошибка"}))
    action = [this] { showLoadErrorDialog(); };
  else if (isText({"Закрыть"}))
    action = [this] { showUnsavedChangesDialog(); };
  else if (isText({"О программе"}))
    action = [this] { showAboutDialog(); };
  else if (isIcon("search"))
    action = [this] { showSearchDialog(); };
  else if (isIcon("zoom-in"))
    action = [this] { onZoomIn(); };
  else if (isIcon("zoom-out"))
    action = [this] { onZoomOut(); };
  else if (isIcon("rotate-left"))
    action = [this] { onRotateCCW(); };
  else if (isIcon("rotate-right"))
    action = [this] { onRotateCW(); };
  else if (isIcon("fit-width")) {
    if (isText({"Ширина"})) action = [this] { onZoomFitWidth(); };
  } else if (isIcon("fullscreen"))
    action = [this] { toggleFullScreen(); };
  if (action) connect(button, &QToolButton::clicked, this, action);
  return button;
}

QWidget* MainWindow::ribbonGroup(const QString& title, const QList<QWidget*>& widgets) {
  auto* group = new QWidget;
  group->setObjectName(QStringLiteral("RibbonGroup"));
  auto* outer = new QVBoxLayout(group);
  outer->setContentsMargins(7, 0, 8, 0);
  outer->setSpacing(2);
  auto* row = new QHBoxLayout;
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(2);
  for (QWidget* widget : widgets)
    if (widget) row->addWidget(widget);
  outer->addLayout(row, 1);
  outer->addWidget(ribbonGroupTitle(title));
  return group;
}
