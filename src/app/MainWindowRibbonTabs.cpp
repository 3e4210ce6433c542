// The Pages, View and Insert tabs of the ribbon, gated by the edition.
#include "MainWindow.h"

#include "RibbonFactories.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace {

QWidget* ribbonTabPage(QHBoxLayout*& layout) {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("RibbonPage"));
  layout = new QHBoxLayout(page);
  layout->setContentsMargins(10, 4, 10, 4);
  layout->setSpacing(0);
  return page;
}

template <typename Action>
QToolButton* onClicked(QToolButton* button, QObject* context, Action action) {
  QObject::connect(button, &QToolButton::clicked, context, action);
  return button;
}

}  // namespace

QWidget* MainWindow::buildPageTab() {
  QHBoxLayout* layout = nullptr;
  QWidget* page = ribbonTabPage(layout);
  const auto button = [this](const char* key, const QString& text, auto action) {
    return onClicked(toolButton(QString::fromUtf8(key), text), this, action);
  };
  insertPageButton = button("insert-page", QStringLiteral("Вставить"), [this] { onInsertBlankPage(); });
  deletePageButton = button("remove-page", QStringLiteral("Удалить"), [this] { onDeleteCurrentPage(); });
  layout->addWidget(ribbonGroup(QStringLiteral("Страницы"),
                                {insertPageButton, deletePageButton,
                                 button("duplicate-page", QStringLiteral("Дубль"), [this] { onDuplicatePage(); }),
                                 button("clear-page", QStringLiteral("Очистить"), [this] { onClearPage(); }),
                                 button("document-import", QStringLiteral("Извлечение"), [this] { onExtractPages(); })}));
  layout->addWidget(ribbonGroup(QStringLiteral("Поворот"),
                                {button("rotate-left", QStringLiteral("Влево"), [this] { onRotateCCW(); }),
                                 button("rotate-right", QStringLiteral("Вправо"), [this] { onRotateCW(); })}));
  layout->addWidget(ribbonGroup(QStringLiteral("Навигация"),
                                {button("search", QStringLiteral("Найти"), [this] { showSearchDialog(); }),
                                 button("fit-width", QStringLiteral("Ширина"), [this] { onZoomFitWidth(); }),
                                 toolButton(QStringLiteral("fullscreen"), QStringLiteral("Экран"), false, true)}));
  layout->addStretch(1);
  return page;
}

QWidget* MainWindow::buildViewTab() {
  QHBoxLayout* layout = nullptr;
  QWidget* page = ribbonTabPage(layout);
  const auto button = [this](const char* key, const QString& text, bool checkable, auto action) {
    return onClicked(toolButton(QString::fromUtf8(key), text, checkable), this, action);
  };
  // The panel part runs with or without a view.
  const auto showMode = [this](ViewMode mode, bool showPanel) {
    if (view) view->setViewMode(mode);
    QWidget* panel = leftPanel ? leftPanel : static_cast<QWidget*>(thumbnails);
    if (showPanel)
      panel->show();
    else if (leftPanel)
      leftPanel->hide();
  };
  QToolButton* single = button("single-page", QStringLiteral("Одна"), true,
                               [showMode] { showMode(ViewMode::SinglePage, false); });
  QToolButton* continuous = button("continuous-view", QStringLiteral("Лента"), true,
                                   [showMode] { showMode(ViewMode::Continuous, false); });
  QToolButton* thumbs = button("thumbnails", QStringLiteral("Миниатюры"), true,
                               [showMode] { showMode(ViewMode::Continuous, true); });
  auto* modes = new QButtonGroup(page);
  modes->setExclusive(true);
  for (QToolButton* b : {single, continuous, thumbs}) modes->addButton(b);
  const bool panelHidden = leftPanel && leftPanel->isHidden();
  const ViewMode mode = view ? view->currentViewMode() : ViewMode::Continuous;
  single->setChecked(panelHidden && mode == ViewMode::SinglePage);
  continuous->setChecked(panelHidden && mode == ViewMode::Continuous);
  thumbs->setChecked(!panelHidden);
  if (panelHidden && !single->isChecked() && !continuous->isChecked()) {
    // An exclusive group keeps one button checked; release it for "none".
    modes->setExclusive(false);
    thumbs->setChecked(false);
    modes->setExclusive(true);
  }
  layout->addWidget(ribbonGroup(QStringLiteral("Окно"),
                                {button("fullscreen", QStringLiteral("Экран"), false, [this] { toggleFullScreen(); }),
                                 single, continuous, thumbs}));

  layout->addWidget(ribbonGroup(
      QStringLiteral("Тема"),
      {onClicked(iconOnlyButton(QStringLiteral("theme-light"), QStringLiteral("Светлая тема")), this,
                 [this] { setLightTheme(); }),
       onClicked(iconOnlyButton(QStringLiteral("theme-dark"), QStringLiteral("Тёмная тема")), this,
                 [this] { setDarkTheme(); })}));

  QToolButton* fonts = toolButton(QStringLiteral("debug-font"), QStringLiteral("Шрифты"), true);
  fonts->setToolTip(QStringLiteral("Показывать подписи шрифта и размера над OCR-блоками"));
  fonts->setChecked(view && view->ocrDebugLabelsShown());
  connect(fonts, &QToolButton::toggled, this, [this](bool checked) {
    if (view) view->setOcrDebugLabelsVisible(checked);
  });
  QToolButton* updates = button("verify", QStringLiteral("Обновления"), false, [this] { checkForUpdates(); });
  updates->setToolTip(QStringLiteral("Проверить обновления приложения"));
  layout->addWidget(ribbonGroup(
      QStringLiteral("Параметры"),
      {fonts, button("properties", QStringLiteral("Свойства"), false, [this] { showDocumentPropertiesDialog(); }),
       button("settings", QStringLiteral("Настройки"), false, [this] { showSettingsDialog(); }), updates,
       button("ulvo-app", QStringLiteral("О программе"), false, [this] { showAboutDialog(); })}));
  layout->addStretch(1);
  return page;
}

QWidget* MainWindow::buildImportTab() {
  QHBoxLayout* layout = nullptr;
  QWidget* page = ribbonTabPage(layout);
  const auto button = [this](const char* key, const QString& text, auto action) {
    return onClicked(toolButton(QString::fromUtf8(key), text), this, action);
  };
  if (allowImports()) {
    auto* position = new QComboBox;
    position->setObjectName(QStringLiteral("RibbonCombo"));
    position->setFixedWidth(200);
    position->addItems({QStringLiteral("В конец документа"), QStringLiteral("После текущей страницы"),
                        QStringLiteral("Перед текущей страницей")});
    layout->addWidget(ribbonGroup(QStringLiteral("Позиция"), {new QLabel(QStringLiteral("Вставить:")), position}));
    // Each import reads the position when it is clicked.
    const auto importButton = [&](const char* key, const QString& text, const QString& kind) {
      return button(key, text, [this, position, kind] { importFilesAt(kind, position->currentIndex()); });
    };
    layout->addWidget(ribbonGroup(QStringLiteral("Добавить страницы из"),
                                  {importButton("import-file", QStringLiteral("Любой файл"), QStringLiteral("any")),
                                   importButton("open", QStringLiteral("PDF"), QStringLiteral("pdf")),
                                   importButton("image-import", QStringLiteral("Изображение"), QStringLiteral("image")),
                                   importButton("document-import", QStringLiteral("Документ"), QStringLiteral("document")),
                                   button("scanner", QStringLiteral("Сканер"), [this] { showScanDialog(); })}));
  }
  if (allowPdfEditing()) {
    layout->addWidget(ribbonGroup(
        QStringLiteral("Объекты"),
        {button("edit-text", QStringLiteral("Текст"), [this] { onEditInsertText(); }),
         button("edit-image", QStringLiteral("Картинка"), [this] { onEditInsertImage(); }),
         button("special-symbol", QStringLiteral("Символ"), [this] { showSpecialCharactersDialog(); })}));
    // Form fields are not defined by this program: the buttons are shown
    // greyed out and say so, never as live buttons that do nothing.
    const auto unavailable = [this](const char* key, const QString& text) {
      QToolButton* b = toolButton(QString::fromLatin1(key), text);
      b->setEnabled(false);
      b->setToolTip(text + QStringLiteral("\n") + QStringLiteral("Команда пока недоступна"));
      return b;
    };
    layout->addWidget(ribbonGroup(QStringLiteral("Поля формы"),
                                  {unavailable("edit-text", QStringLiteral("Текст")),
                                   unavailable("form-checkbox", QStringLiteral("Флажок")),
                                   unavailable("form-list", QStringLiteral("Список")),
                                   unavailable("form-date", QStringLiteral("Дата"))}));
  }
  if (allowFacsimiles)
    layout->addWidget(ribbonGroup(QStringLiteral("Факсимиле"),
                                  {button("signature", QStringLiteral("Вставить"), [this] { onFacsimileInsert(); }),
                                   button("signature", QStringLiteral("Добавить"), [this] { onFacsimileAdd(); }),
                                   button("signature", QStringLiteral("Изменить"), [this] { onFacsimileEdit(); })}));
  layout->addStretch(1);
  return page;
}
