// The settings dialog: six sections read from the stored settings, written
// together by "Применить" and applied to the running window.
#include "DialogSections.h"
#include "MainWindow.h"
#include "UpdateCheck.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"
#include "view/PdfView.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

struct Choice {
  QString text;
  QVariant value;
};

QComboBox* choiceCombo(const QList<Choice>& choices) {
  auto* combo = new QComboBox;
  for (const Choice& c : choices) combo->addItem(c.text, c.value);
  return combo;
}

// The item whose data is the stored text; `fallback` when none is.
void selectStored(QComboBox* combo, const QString& stored, int fallback = 0) {
  const int index = combo->findData(stored);
  combo->setCurrentIndex(index >= 0 ? index : fallback);
}

QSpinBox* spinBox(int minimum, int maximum, int value, const QString& suffix, int step = 1) {
  auto* spin = new QSpinBox;
  spin->setRange(minimum, maximum);
  spin->setSingleStep(step);
  spin->setSuffix(suffix);
  spin->setValue(value);
  return spin;
}

QWidget* sectionPage(const QString& title, const QString& hint, const QList<QWidget*>& groups) {
  auto [page, layout] = settingsSectionHeader(title, hint);
  for (QWidget* group : groups) layout->addWidget(group);
  layout->addStretch(1);
  return page;
}

void addRow(QGridLayout* grid, int row, const QString& text, QWidget* control) {
  grid->addWidget(label(text), row, 0);
  grid->addWidget(control, row, 1);
}

// The quality item of a stored render zoom; "Авто" when none matches.
int storedRenderZoomIndex(double stored) {
  const double values[] = {0.0, 1.5, 2.0, 3.0};
  for (int i = 0; i < 4; ++i)
    if (qFuzzyCompare(1.0 + values[i], 1.0 + stored)) return i;
  return 0;
}

}  // namespace

void MainWindow::showSettingsDialog() {
  QSettings settings;
  auto* dialog = new QDialog(this);
  dialog->setObjectName(QStringLiteral("AppDialog"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(QStringLiteral("Настройки"));
  dialog->resize(820, 560);

  auto* outer = new QHBoxLayout(dialog);
  outer->setContentsMargins(14, 14, 14, 14);
  outer->setSpacing(14);
  auto* sections = new QListWidget;
  sections->setObjectName(QStringLiteral("SettingsSections"));
  sections->setFixedWidth(160);
  sections->addItems({QStringLiteral("Интерфейс"), QStringLiteral("Документы"), QStringLiteral("OCR"),
                      QStringLiteral("Печать"), QStringLiteral("Подпись"), QStringLiteral("Обслуживание")});
  outer->addWidget(sections);
  auto* right = new QVBoxLayout;
  right->setContentsMargins(0, 0, 0, 0);
  right->setSpacing(10);
  outer->addLayout(right, 1);
  right->addWidget(label(QStringLiteral("Настройки приложения"), QStringLiteral("DialogTitle")));
  auto* stack = new QStackedWidget;
  stack->setObjectName(QStringLiteral("SettingsStack"));
  right->addWidget(stack, 1);

  // Интерфейс
  auto* interfaceBox = new QGroupBox(QStringLiteral("Интерфейс"));
  auto* interfaceGrid = new QGridLayout(interfaceBox);
  auto* density = choiceCombo({{QStringLiteral("Компактный"), 0}, {QStringLiteral("Обычный"), 1}, {QStringLiteral("Крупный"), 2}});
  density->setCurrentIndex(std::clamp(settings.value(QStringLiteral("ui/density"), 1).toInt(), 0, 2));
  auto* theme = choiceCombo({{QStringLiteral("Светлая"), QStringLiteral("light")}, {QStringLiteral("Тёмная"), QStringLiteral("dark")}});
  selectStored(theme, settings.value(QStringLiteral("ui/theme"), QStringLiteral("light")).toString());
  auto* language = new QComboBox;
  language->setProperty("_ulvo_i18n_skip_items", true);
  for (const auto& [code, name] : uiLanguageList()) language->addItem(name, code);
  selectStored(language, settings.value(QStringLiteral("ui/language"), QStringLiteral("ru")).toString());
  addRow(interfaceGrid, 0, QStringLiteral("Плотность:"), density);
  addRow(interfaceGrid, 1, QStringLiteral("Тема:"), theme);
  addRow(interfaceGrid, 2, QStringLiteral("Язык:"), language);
  QLabel* languageNote =
      label(QStringLiteral("Изменение языка применяется сразу."), QStringLiteral("DialogSubtitle"));
  languageNote->setWordWrap(true);
  interfaceGrid->addWidget(languageNote, 3, 0, 1, 2);
  auto* floating = new QCheckBox(QStringLiteral("Показывать плавающую панель"));
  floating->setChecked(settings.value(QStringLiteral("ui/floatingBar"), true).toBool());
  interfaceGrid->addWidget(floating, 4, 0, 1, 2);
  auto* rememberTab = new QCheckBox(QStringLiteral("Запоминать последнюю вкладку ленты"));
  rememberTab->setChecked(settings.value(QStringLiteral("ui/rememberTab"), false).toBool());
  interfaceGrid->addWidget(rememberTab, 5, 0, 1, 2);

  // Документы
  auto* documentsBox = new QGroupBox(QStringLiteral("Документы"));
  auto* documentsGrid = new QGridLayout(documentsBox);
  auto* recent = new QCheckBox(QStringLiteral("Вести список недавних файлов"));
  recent->setChecked(settings.value(QStringLiteral("doc/rememberRecent"), true).toBool());
  documentsGrid->addWidget(recent, 0, 0, 1, 2);
  auto* restore = new QCheckBox(QStringLiteral("Открывать последний документ при запуске"));
  restore->setChecked(settings.value(QStringLiteral("doc/restoreLastDocument"), false).toBool());
  documentsGrid->addWidget(restore, 1, 0, 1, 2);
  auto* autoSave = new QCheckBox(QStringLiteral("Автосохранение"));
  autoSave->setChecked(settings.value(QStringLiteral("doc/autoSave"), false).toBool());
  auto* autoSaveMinutes = spinBox(1, 120, settings.value(QStringLiteral("doc/autoSaveMinutes"), 5).toInt(), QStringLiteral(" мин"));
  autoSaveMinutes->setEnabled(autoSave->isChecked());
  connect(autoSave, &QCheckBox::toggled, autoSaveMinutes, &QWidget::setEnabled);
  documentsGrid->addWidget(autoSave, 2, 0);
  documentsGrid->addWidget(autoSaveMinutes, 2, 1);
  QPushButton* clearRecent = dialogButton(QStringLiteral("Очистить недавние файлы"), QStringLiteral("SecondaryDialogButton"));
  documentsGrid->addWidget(clearRecent, 3, 0, 1, 2);

  // OCR
  auto* ocrBox = new QGroupBox(QStringLiteral("Распознавание"));
  auto* ocrGrid = new QGridLayout(ocrBox);
  auto* ocrLanguages = choiceCombo({{QStringLiteral("Русский + English"), QStringLiteral("rus+eng")},
                                    {QStringLiteral("Русский"), QStringLiteral("rus")},
                                    {QStringLiteral("English"), QStringLiteral("eng")}});
  selectStored(ocrLanguages, settings.value(QStringLiteral("ocr/languages"), QStringLiteral("rus+eng")).toString());
  auto* quality = choiceCombo({{QStringLiteral("Авто"), 0.0}, {QStringLiteral("Быстро"), 1.5},
                               {QStringLiteral("Точно"), 2.0}, {QStringLiteral("Максимум"), 3.0}});
  quality->setCurrentIndex(storedRenderZoomIndex(settings.value(QStringLiteral("ocr/renderZoom"), 0.0).toDouble()));
  addRow(ocrGrid, 0, QStringLiteral("Языки:"), ocrLanguages);
  addRow(ocrGrid, 1, QStringLiteral("Качество:"), quality);
  auto* preferNative = new QCheckBox(QStringLiteral("Использовать готовый текстовый слой PDF без OCR"));
  preferNative->setChecked(settings.value(QStringLiteral("ocr/preferNativeTextLayer"), true).toBool());
  ocrGrid->addWidget(preferNative, 2, 0, 1, 2);
  auto* regionOnly = new QCheckBox(QStringLiteral("Если выделена область, распознавать только её"));
  regionOnly->setChecked(settings.value(QStringLiteral("ocr/selectedRegionOnly"), true).toBool());
  ocrGrid->addWidget(regionOnly, 3, 0, 1, 2);
  auto* fontLabels = new QCheckBox(QStringLiteral("Показывать подписи шрифтов над блоками"));
  fontLabels->setChecked(view && view->ocrDebugLabelsShown());
  ocrGrid->addWidget(fontLabels, 4, 0, 1, 2);

  // Печать
  auto* printBox = new QGroupBox(QStringLiteral("Печать"));
  auto* printGrid = new QGridLayout(printBox);
  auto* paper = new QComboBox;
  paper->addItems({QStringLiteral("A4"), QStringLiteral("A5"), QStringLiteral("Letter"), QStringLiteral("Legal")});
  const int paperIndex = paper->findText(settings.value(QStringLiteral("print/paper"), QStringLiteral("A4")).toString());
  paper->setCurrentIndex(std::max(paperIndex, 0));
  auto* orientation = choiceCombo({{QStringLiteral("Книжная"), QStringLiteral("portrait")},
                                   {QStringLiteral("Альбомная"), QStringLiteral("landscape")}});
  QString storedOrientation = settings.value(QStringLiteral("print/orientation"), QStringLiteral("portrait")).toString();
  if (storedOrientation == QStringLiteral("Книжная")) storedOrientation = QStringLiteral("portrait");
  if (storedOrientation == QStringLiteral("Альбомная")) storedOrientation = QStringLiteral("landscape");
  selectStored(orientation, storedOrientation);
  auto* dpi = spinBox(72, 1200, settings.value(QStringLiteral("print/dpi"), 300).toInt(), QStringLiteral(" dpi"), 50);
  auto* copies = spinBox(1, 99, settings.value(QStringLiteral("print/copies"), 1).toInt(), QString());
  auto* scale = choiceCombo({{QStringLiteral("По размеру страницы"), QStringLiteral("fit")}, {QStringLiteral("100%"), QStringLiteral("100")},
                             {QStringLiteral("125%"), QStringLiteral("125")}, {QStringLiteral("По ширине"), QStringLiteral("width")}});
  QString storedScale = settings.value(QStringLiteral("print/scale"), QStringLiteral("fit")).toString();
  if (storedScale == QStringLiteral("По размеру страницы")) storedScale = QStringLiteral("fit");
  if (storedScale == QStringLiteral("По ширине")) storedScale = QStringLiteral("width");
  selectStored(scale, storedScale);
  addRow(printGrid, 0, QStringLiteral("Бумага:"), paper);
  addRow(printGrid, 1, QStringLiteral("Ориентация:"), orientation);
  addRow(printGrid, 2, QStringLiteral("Разрешение:"), dpi);
  addRow(printGrid, 3, QStringLiteral("Копии:"), copies);
  addRow(printGrid, 4, QStringLiteral("Масштаб:"), scale);

  // Подпись
  auto* signingBox = new QGroupBox(QStringLiteral("Сертификаты"));
  auto* signingGrid = new QGridLayout(signingBox);
  auto* revocation = choiceCombo({{QStringLiteral("Проверять при поиске сертификатов (экспериментально)"), QStringLiteral("search")},
                                  {QStringLiteral("Проверять при подписании документа"), QStringLiteral("sign")},
                                  {QStringLiteral("Не проверять"), QStringLiteral("never")}});
  selectStored(revocation, settings.value(QStringLiteral("signing/revocationMode"), QStringLiteral("sign")).toString(), 1);
  addRow(signingGrid, 0, QStringLiteral("Проверка отзыва:"), revocation);
  QLabel* revocationHint = label(
      QStringLiteral("Если проверять отзыв при поиске, список сертификатов будет точнее, но открытие окна подписи может "
                     "занимать больше времени. Режим «при подписании» быстрее показывает список и проверяет выбранный "
                     "сертификат только перед созданием подписи."),
      QStringLiteral("DialogHint"));
  revocationHint->setWordWrap(true);
  signingGrid->addWidget(revocationHint, 1, 0, 1, 2);
  auto* searchTimeout = spinBox(30, 900, settings.value(QStringLiteral("signing/searchTimeoutSec"), 120).toInt(), QStringLiteral(" сек"));
  auto* revocationSearchTimeout = spinBox(
      60, 3600, settings.value(QStringLiteral("signing/searchWithRevocationTimeoutSec"), 900).toInt(), QStringLiteral(" сек"), 60);
  auto* revocationTimeout =
      spinBox(20, 600, settings.value(QStringLiteral("signing/revocationTimeoutSec"), 90).toInt(), QStringLiteral(" сек"), 10);
  for (QSpinBox* spin : {searchTimeout, revocationSearchTimeout, revocationTimeout}) spin->setObjectName(QStringLiteral("ScanSpin"));
  addRow(signingGrid, 2, QStringLiteral("Таймаут поиска:"), searchTimeout);
  addRow(signingGrid, 3, QStringLiteral("Таймаут поиска с отзывами:"), revocationSearchTimeout);
  addRow(signingGrid, 4, QStringLiteral("Таймаут проверки одного сертификата:"), revocationTimeout);

  // Обслуживание
  auto* serviceBox = new QGroupBox(QStringLiteral("Сервис"));
  auto* serviceLayout = new QVBoxLayout(serviceBox);
  QPushButton* resetWindow = dialogButton(QStringLiteral("Сбросить положение окна"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* resetTab = dialogButton(QStringLiteral("Сбросить последнюю вкладку ленты"), QStringLiteral("SecondaryDialogButton"));
  serviceLayout->addWidget(resetWindow);
  serviceLayout->addWidget(resetTab);
  serviceLayout->addStretch(1);
  auto* updatesBox = new QGroupBox(QStringLiteral("Обновления"));
  auto* updatesGrid = new QGridLayout(updatesBox);
  QLineEdit* manifest = dialogLineEdit(settings.value(QStringLiteral("updates/manifestUrl"), QString::fromLatin1(kDefaultUpdateManifestUrl)).toString());
  auto* channel = choiceCombo({{QStringLiteral("stable"), QStringLiteral("stable")}, {QStringLiteral("beta"), QStringLiteral("beta")}});
  selectStored(channel, settings.value(QStringLiteral("updates/channel"), QStringLiteral("stable")).toString());
  addRow(updatesGrid, 0, QStringLiteral("Manifest URL:"), manifest);
  addRow(updatesGrid, 1, QStringLiteral("Канал:"), channel);
  QPushButton* checkNow = dialogButton(QStringLiteral("Проверить обновления"), QStringLiteral("SecondaryDialogButton"));
  updatesGrid->addWidget(checkNow, 2, 1, Qt::AlignRight);

  stack->addWidget(sectionPage(QStringLiteral("Интерфейс"), QStringLiteral("Эти параметры применяются сразу после нажатия «Применить»."), {interfaceBox}));
  stack->addWidget(sectionPage(QStringLiteral("Документы"), QStringLiteral("Настройки открытия, списка недавних файлов и автосохранения."), {documentsBox}));
  stack->addWidget(sectionPage(QStringLiteral("OCR"), QStringLiteral("Эти настройки используются при следующем запуске распознавания."), {ocrBox}));
  stack->addWidget(sectionPage(QStringLiteral("Печать"), QStringLiteral("Эти значения подставляются по умолчанию в окно печати и системный диалог."), {printBox}));
  stack->addWidget(sectionPage(QStringLiteral("Подпись"), QStringLiteral("Настройки проверки сертификатов и электронной подписи."), {signingBox}));
  stack->addWidget(sectionPage(QStringLiteral("Обслуживание"), QStringLiteral("Быстрые действия для очистки состояния приложения."), {serviceBox, updatesBox}));
  connect(sections, &QListWidget::currentRowChanged, stack, &QStackedWidget::setCurrentIndex);
  sections->setCurrentRow(0);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  QPushButton* cancel = dialogButton(QStringLiteral("Отмена"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* apply = dialogButton(QStringLiteral("Применить"), QStringLiteral("PrimaryDialogButton"));
  buttons->addWidget(cancel);
  buttons->addWidget(apply);
  right->addLayout(buttons);

  const auto status = [this](const QString& text) { setLocalizedText(statusLabel, text); };
  connect(cancel, &QPushButton::clicked, dialog, &QDialog::close);
  connect(clearRecent, &QPushButton::clicked, this, [status] {
    QSettings().remove(QStringLiteral("recentFiles"));
    status(QStringLiteral("Список недавних файлов очищен"));
  });
  connect(resetWindow, &QPushButton::clicked, this, [this, status] {
    QSettings s;
    s.remove(QStringLiteral("window/normalGeometry"));
    s.remove(QStringLiteral("window/maximized"));
    s.remove(QStringLiteral("window/fullscreen"));
    resize(1500, 920);
    showNormal();
    status(QStringLiteral("Положение окна сброшено"));
  });
  connect(resetTab, &QPushButton::clicked, this, [this] {
    QSettings().remove(QStringLiteral("ui/lastRibbonTab"));
    if (ribbon) ribbon->setCurrentIndex(0);
  });
  // Edits of the address not yet applied are not used: the check reads the stored values.
  connect(checkNow, &QPushButton::clicked, this, &MainWindow::checkForUpdates);

  connect(apply, &QPushButton::clicked, dialog, [=, this] {
    QSettings s;
    s.setValue(QStringLiteral("ui/density"), density->currentIndex());
    const QString code = language->currentData().toString();
    s.setValue(QStringLiteral("ui/language"), code);
    applyUiLanguage(code);
    s.setValue(QStringLiteral("ui/floatingBar"), floating->isChecked());
    s.setValue(QStringLiteral("ui/rememberTab"), rememberTab->isChecked());
    if (rememberTab->isChecked() && ribbon) s.setValue(QStringLiteral("ui/lastRibbonTab"), ribbon->currentIndex());
    else s.remove(QStringLiteral("ui/lastRibbonTab"));
    s.setValue(QStringLiteral("doc/rememberRecent"), recent->isChecked());
    s.setValue(QStringLiteral("doc/restoreLastDocument"), restore->isChecked());
    s.setValue(QStringLiteral("doc/autoSave"), autoSave->isChecked());
    s.setValue(QStringLiteral("doc/autoSaveMinutes"), autoSaveMinutes->value());
    const QString previousOcrLanguages = s.value(QStringLiteral("ocr/languages"), QStringLiteral("rus+eng")).toString();
    const QString ocrCode = ocrLanguages->currentData().toString();
    s.setValue(QStringLiteral("ocr/languages"), ocrCode);
    s.setValue(QStringLiteral("ocr/renderZoom"), quality->currentData().toDouble());
    s.setValue(QStringLiteral("ocr/preferNativeTextLayer"), preferNative->isChecked());
    s.setValue(QStringLiteral("ocr/selectedRegionOnly"), regionOnly->isChecked());
    s.setValue(QStringLiteral("ocr/showFontLabels"), fontLabels->isChecked());
    s.setValue(QStringLiteral("print/paper"), paper->currentText());
    s.setValue(QStringLiteral("print/orientation"), orientation->currentData().toString());
    s.setValue(QStringLiteral("print/scale"), scale->currentData().toString());
    s.setValue(QStringLiteral("print/dpi"), dpi->value());
    s.setValue(QStringLiteral("print/copies"), copies->value());
    s.setValue(QStringLiteral("signing/revocationMode"), revocation->currentData().toString());
    s.setValue(QStringLiteral("signing/searchTimeoutSec"), searchTimeout->value());
    s.setValue(QStringLiteral("signing/searchWithRevocationTimeoutSec"), revocationSearchTimeout->value());
    s.setValue(QStringLiteral("signing/revocationTimeoutSec"), revocationTimeout->value());
    s.setValue(QStringLiteral("updates/manifestUrl"), manifest->text().trimmed());
    s.setValue(QStringLiteral("updates/channel"), channel->currentData().toString());
    s.sync();
    if (theme->currentData().toString() == QLatin1String("dark")) setDarkTheme();
    else setLightTheme();
    applyStoredSettings();
    if (ocrCode != previousOcrLanguages) discardOcrEngine();
    status(QStringLiteral("Настройки применены"));
    dialog->close();
  });

  dialog->move(frameGeometry().center() - dialog->rect().center());
  dialog->show();
}
