// The settings dialog driven by clicks: the language switch reaches the
// window, the ribbon and an open dialog; "Применить" stores every key and a
// new window applies them; stored values outside the choices; the two themes
// seen in grabbed pixels.
#include "AppTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "view/PdfView.h"

using namespace apptest;

namespace {

// Lets the deferred translation passes of newly shown widgets run.
void settle() {
  for (int i = 0; i < 3; ++i) {
    QTest::qWait(5);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

QDialog* openSettings(TestWindow& window) {
  const QList<QDialog*> before = window.findChildren<QDialog*>();
  window.showSettingsDialog();
  settle();
  for (QDialog* dialog : window.findChildren<QDialog*>())
    if (!before.contains(dialog) && dialog->findChild<QListWidget*>("SettingsSections")) return dialog;
  return nullptr;
}

// The combo box of the dialog offering this stored value.
QComboBox* comboWithData(QDialog* dialog, const QVariant& data) {
  for (QComboBox* combo : dialog->findChildren<QComboBox*>())
    if (combo->findData(data) >= 0) return combo;
  return nullptr;
}

// The combo box of the dialog with an item of this text.
void chooseText(QDialog* dialog, const QString& text) {
  for (QComboBox* combo : dialog->findChildren<QComboBox*>())
    if (combo->findText(text) >= 0) return combo->setCurrentIndex(combo->findText(text));
  ADD_FAILURE() << text.toStdString();
}

void choose(QDialog* dialog, const QVariant& data) {
  QComboBox* combo = comboWithData(dialog, data);
  ASSERT_NE(combo, nullptr) << data.toString().toStdString();
  combo->setCurrentIndex(combo->findData(data));
}

QCheckBox* checkBox(QDialog* dialog, const QString& russianText) {
  for (QCheckBox* box : dialog->findChildren<QCheckBox*>())
    if (box->property("_ulvo_i18n_text").toString() == russianText || box->text() == russianText) return box;
  return nullptr;
}

// Spin boxes by their range, which tells them apart.
QSpinBox* spinBox(QDialog* dialog, int minimum, int maximum) {
  for (QSpinBox* spin : dialog->findChildren<QSpinBox*>())
    if (spin->minimum() == minimum && spin->maximum() == maximum) return spin;
  return nullptr;
}

void clickApply(QDialog* dialog) {
  QPushButton* apply = dialog->findChild<QPushButton*>("PrimaryDialogButton");
  ASSERT_NE(apply, nullptr);
  QTest::mouseClick(apply, Qt::LeftButton);
  settle();
}

// Every visible text of the window and its dialogs except the status line,
// which reports the last action.
QStringList visibleTexts(TestWindow& window) {
  QStringList texts;
  QList<QWidget*> widgets = window.findChildren<QWidget*>();
  for (QWidget* w : widgets) {
    if (w == window.statusLabel) continue;
    if (w->isWindow()) texts << w->windowTitle();
    if (auto* label = qobject_cast<QLabel*>(w)) texts << label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) texts << button->text() << button->toolTip();
    if (auto* tabs = qobject_cast<QTabWidget*>(w))
      for (int i = 0; i < tabs->count(); ++i) texts << tabs->tabText(i);
  }
  return texts;
}

QDialog* dialogTitled(TestWindow& window, const QString& title) {
  for (QDialog* dialog : window.findChildren<QDialog*>())
    if (dialog->windowTitle() == title) return dialog;
  return nullptr;
}

}  // namespace

TEST(SettingsDialog, LanguageSwitchReachesWindowRibbonAndOpenDialogAndBack) {
  useCleanSettings();
  TestWindow window;
  window.resize(1300, 850);
  window.show();
  window.showAboutDialog();
  settle();
  QDialog* about = dialogTitled(window, "О программе");
  ASSERT_NE(about, nullptr);
  const QStringList russian = visibleTexts(window);

  struct Case {
    const char* code;
    const char* home;
    const char* about;
    const char* close;
    const char* applied;
    const char* settingsTitle;
  };
  const Case cases[] = {
      {"en", "Home", "About", "Close", "Settings applied", "Application settings"},
      {"de", "Start", "Über", "Schließen", "Einstellungen übernommen", "Programmeinstellungen"},
      {"ar", "الرئيسية", "حول البرنامج", "إغلاق", "تم تطبيق الإعدادات", "إعدادات التطبيق"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    QDialog* settings = openSettings(window);
    ASSERT_NE(settings, nullptr);
    choose(settings, QString::fromLatin1(c.code));
    clickApply(settings);
    EXPECT_EQ(QSettings().value("ui/language").toString(), c.code);
    EXPECT_EQ(window.ribbon->tabText(0), QString::fromUtf8(c.home));
    EXPECT_EQ(about->windowTitle(), QString::fromUtf8(c.about));
    EXPECT_EQ(about->findChild<QPushButton*>("PrimaryDialogButton")->text(), QString::fromUtf8(c.close));
    EXPECT_EQ(window.statusLabel->text(), QString::fromUtf8(c.applied));
    // Most visible texts changed, in the window and in the open dialog.
    const QStringList shown = visibleTexts(window);
    ASSERT_EQ(shown.size(), russian.size());
    int changed = 0;
    for (int i = 0; i < shown.size(); ++i) changed += shown[i] != russian[i];
    EXPECT_GT(changed, russian.size() / 3);
    // A dialog opened now is built in Russian and shown translated.
    QDialog* next = openSettings(window);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->findChild<QLabel*>("DialogTitle")->text(), QString::fromUtf8(c.settingsTitle));
    next->close();
    settle();
  }
  QDialog* settings = openSettings(window);
  ASSERT_NE(settings, nullptr);
  // The language list keeps native names in every language.
  QComboBox* languages = comboWithData(settings, "ru");
  ASSERT_NE(languages, nullptr);
  EXPECT_EQ(languages->itemText(languages->findData("de")), "Deutsch");
  EXPECT_EQ(languages->itemText(languages->findData("ru")), "Русский");
  choose(settings, "ru");
  clickApply(settings);
  EXPECT_EQ(visibleTexts(window), russian);
  EXPECT_EQ(window.statusLabel->text(), "Настройки применены");
}

TEST(SettingsDialog, ApplyStoresEveryKeyAndANewWindowAppliesThem) {
  useCleanSettings();
  {
    TestWindow window;
    window.show();
    window.ribbon->setCurrentIndex(2);
    QDialog* dialog = openSettings(window);
    ASSERT_NE(dialog, nullptr);
    chooseText(dialog, "Крупный");
    choose(dialog, "dark");
    checkBox(dialog, "Показывать плавающую панель")->setChecked(false);
    checkBox(dialog, "Запоминать последнюю вкладку ленты")->setChecked(true);
    checkBox(dialog, "Вести список недавних файлов")->setChecked(false);
    checkBox(dialog, "Открывать последний документ при запуске")->setChecked(true);
    QSpinBox* minutes = spinBox(dialog, 1, 120);
    EXPECT_FALSE(minutes->isEnabled());
    checkBox(dialog, "Автосохранение")->setChecked(true);
    EXPECT_TRUE(minutes->isEnabled());
    minutes->setValue(17);
    choose(dialog, "eng");
    chooseText(dialog, "Точно");
    checkBox(dialog, "Использовать готовый текстовый слой PDF без OCR")->setChecked(false);
    checkBox(dialog, "Если выделена область, распознавать только её")->setChecked(false);
    checkBox(dialog, "Показывать подписи шрифтов над блоками")->setChecked(true);
    chooseText(dialog, "Letter");
    choose(dialog, "landscape");
    spinBox(dialog, 72, 1200)->setValue(600);
    spinBox(dialog, 1, 99)->setValue(3);
    choose(dialog, "width");
    choose(dialog, "never");
    spinBox(dialog, 30, 900)->setValue(200);
    spinBox(dialog, 60, 3600)->setValue(1200);
    spinBox(dialog, 20, 600)->setValue(100);
    QLineEdit* manifest = dialog->findChild<QLineEdit*>();
    manifest->setText("  http://127.0.0.1:9/latest.json ");
    choose(dialog, "beta");
    clickApply(dialog);
    EXPECT_EQ(window.statusLabel->text(), "Настройки применены");
    EXPECT_TRUE(window.findChildren<QDialog*>().isEmpty());
  }
  QSettings s;
  const QList<QPair<const char*, QVariant>> expected = {
      {"ui/density", 2}, {"ui/language", "ru"}, {"ui/floatingBar", false}, {"ui/rememberTab", true},
      {"ui/lastRibbonTab", 2}, {"ui/theme", "dark"}, {"doc/rememberRecent", false},
      {"doc/restoreLastDocument", true}, {"doc/autoSave", true}, {"doc/autoSaveMinutes", 17},
      {"ocr/languages", "eng"}, {"ocr/renderZoom", 2.0}, {"ocr/preferNativeTextLayer", false},
      {"ocr/selectedRegionOnly", false}, {"ocr/showFontLabels", true}, {"print/paper", "Letter"},
      {"print/orientation", "landscape"}, {"print/scale", "width"}, {"print/dpi", 600}, {"print/copies", 3},
      {"signing/revocationMode", "never"}, {"signing/searchTimeoutSec", 200},
      {"signing/searchWithRevocationTimeoutSec", 1200}, {"signing/revocationTimeoutSec", 100},
      {"updates/manifestUrl", "http://127.0.0.1:9/latest.json"}, {"updates/channel", "beta"}};
  for (const auto& [key, value] : expected) {
    ASSERT_TRUE(s.contains(key)) << key;
    EXPECT_EQ(s.value(key).toString(), value.toString()) << key;
  }

  s.setValue("doc/restoreLastDocument", false);  // nothing to reopen in a test
  TestWindow again;
  again.show();
  settle();
  EXPECT_EQ(again.ribbon->maximumHeight(), 158);
  EXPECT_EQ(again.ribbon->minimumHeight(), 158);
  EXPECT_TRUE(again.floatingBar->isHidden());
  EXPECT_TRUE(again.view->ocrDebugLabelsShown());
  EXPECT_EQ(again.ribbon->currentIndex(), 2);
  ASSERT_NE(again.autoSaveTimer, nullptr);
  EXPECT_TRUE(again.autoSaveTimer->isActive());
  EXPECT_EQ(again.autoSaveTimer->interval(), 17 * 60000);
  EXPECT_TRUE(qApp->styleSheet().contains("#181A1D"));
  again.setLightTheme();
}

TEST(SettingsDialog, StoredValuesOutsideTheChoices) {
  useCleanSettings();
  TestWindow window;
  {
    QSettings s;
    s.setValue("print/orientation", "Альбомная");
    s.setValue("print/scale", "По ширине");
    s.setValue("ocr/renderZoom", 2.000000000001);
    s.setValue("signing/revocationMode", "always");
    s.setValue("doc/autoSaveMinutes", 500);
    s.setValue("ui/rememberTab", true);
    s.setValue("ui/lastRibbonTab", 1);
    s.setValue("ui/theme", "sepia");
    s.setValue("ocr/languages", "deu");
  }
  QDialog* dialog = openSettings(window);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(comboWithData(dialog, "landscape")->currentData().toString(), "landscape");
  EXPECT_EQ(comboWithData(dialog, "landscape")->currentText(), "Альбомная");
  EXPECT_EQ(comboWithData(dialog, "width")->currentData().toString(), "width");
  EXPECT_EQ(comboWithData(dialog, 1.5)->currentText(), "Точно");
  EXPECT_EQ(comboWithData(dialog, "never")->currentText(), "Проверять при подписании документа");
  EXPECT_EQ(comboWithData(dialog, "dark")->currentData().toString(), "light");
  EXPECT_EQ(comboWithData(dialog, "eng")->currentData().toString(), "rus+eng");
  EXPECT_EQ(spinBox(dialog, 1, 120)->value(), 120);
  checkBox(dialog, "Запоминать последнюю вкладку ленты")->setChecked(false);
  clickApply(dialog);
  QSettings s;
  EXPECT_EQ(s.value("print/orientation").toString(), "landscape");
  EXPECT_EQ(s.value("print/scale").toString(), "width");
  EXPECT_EQ(s.value("signing/revocationMode").toString(), "sign");
  EXPECT_EQ(s.value("doc/autoSaveMinutes").toInt(), 120);
  EXPECT_FALSE(s.contains("ui/lastRibbonTab"));

  // Each quality choice reads back as itself, and applying keeps it.
  const QList<std::pair<double, QString>> qualities = {{1.5, "Быстро"}, {2.0, "Точно"}, {3.0, "Максимум"}};
  for (const auto& [zoom, text] : qualities) {
    s.setValue("ocr/renderZoom", zoom);
    QDialog* next = openSettings(window);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(comboWithData(next, 1.5)->currentText(), text);
    clickApply(next);  // applying closes the dialog
    EXPECT_EQ(s.value("ocr/renderZoom").toDouble(), zoom);
  }

  for (double zoom : {2.0000001, 2.5}) {
    s.setValue("ocr/renderZoom", zoom);
    QDialog* next = openSettings(window);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(comboWithData(next, 1.5)->currentText(), "Авто") << zoom;
    next->close();
    settle();
  }

  // Maintenance acts at once and leaves the dialog open.
  s.setValue("recentFiles", QStringList{"/tmp/a.pdf"});
  s.setValue("ui/lastRibbonTab", 3);
  s.setValue("window/maximized", true);
  window.ribbon->setCurrentIndex(3);
  QDialog* service = openSettings(window);
  ASSERT_NE(service, nullptr);
  for (QPushButton* button : service->findChildren<QPushButton*>()) {
    const QString text = button->text();
    if (text == "Очистить недавние файлы" || text == "Сбросить положение окна" || text == "Сбросить последнюю вкладку ленты")
      QTest::mouseClick(button, Qt::LeftButton);
  }
  EXPECT_FALSE(s.contains("recentFiles"));
  EXPECT_FALSE(s.contains("window/maximized"));
  EXPECT_FALSE(s.contains("ui/lastRibbonTab"));
  EXPECT_EQ(window.ribbon->currentIndex(), 0);
  EXPECT_EQ(window.size(), QSize(1500, 920));
  EXPECT_TRUE(service->isVisible());
}

TEST(Themes, DarkAndLightChangeCanvasRibbonAndDialogColours) {
  useCleanSettings();
  TestWindow window;
  window.resize(1200, 800);
  window.show();
  QDialog* dialog = openSettings(window);
  ASSERT_NE(dialog, nullptr);
  struct Sample {
    QRgb canvas, ribbon, dialog;
  };
  const auto sample = [&] {
    settle();
    const QImage canvas = window.view->viewport()->grab().toImage();
    const QImage ribbon = window.ribbon->grab().toImage();
    const QImage shown = dialog->grab().toImage();
    return Sample{canvas.pixel(4, 4), ribbon.pixel(ribbon.width() - 4, ribbon.height() - 6), shown.pixel(4, 4)};
  };
  window.setDarkTheme();
  const Sample dark = sample();
  EXPECT_EQ(QSettings().value("ui/theme").toString(), "dark");
  window.setLightTheme();
  const Sample light = sample();
  EXPECT_EQ(QSettings().value("ui/theme").toString(), "light");
  for (const auto& [name, d, l] : {std::tuple{"canvas", dark.canvas, light.canvas},
                                   std::tuple{"ribbon", dark.ribbon, light.ribbon},
                                   std::tuple{"dialog", dark.dialog, light.dialog}}) {
    EXPECT_LT(qGray(d), 70) << name << " dark " << QColor(d).name().toStdString();
    EXPECT_GT(qGray(l), 190) << name << " light " << QColor(l).name().toStdString();
  }
  // The dialog's window colour is the palette's, exactly.
  EXPECT_EQ(QColor(light.dialog).name(QColor::HexRgb).toUpper(), "#EEF1F4");
  EXPECT_EQ(QColor(dark.dialog).name(QColor::HexRgb).toUpper(), "#181A1D");
}

namespace {
class OcrWindow : public TestWindow {
 public:
  using MainWindow::ocrBusy;
  using MainWindow::ocrEngine;
  using MainWindow::readyOcrEngine;
};
}  // namespace

TEST(SettingsDialog, OnlyAChangeOfOcrLanguagesDropsTheEngine) {
  useCleanSettings();
  OcrWindow window;
  const OcrEngine* engine = window.readyOcrEngine("rus+eng");
  if (!engine) GTEST_SKIP() << "no tessdata for rus+eng";
  QDialog* dialog = openSettings(window);
  ASSERT_NE(dialog, nullptr);
  choose(dialog, "dark");
  clickApply(dialog);
  EXPECT_EQ(window.ocrEngine.get(), engine);
  // While a recognition run uses the engine, it stays until the run ends.
  window.ocrBusy = true;
  dialog = openSettings(window);
  choose(dialog, "eng");
  clickApply(dialog);
  EXPECT_EQ(window.ocrEngine.get(), engine);
  window.ocrBusy = false;
  dialog = openSettings(window);
  choose(dialog, "rus");
  clickApply(dialog);
  EXPECT_EQ(window.ocrEngine, nullptr);
  window.setLightTheme();
}

TEST(Themes, BothSheetsStyleEveryObjectNameOfTheInterface) {
  const auto sheet = [](const char* name) {
    QFile file(QStringLiteral(":/resources/styles/%1.qss").arg(QLatin1String(name)));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return QString::fromUtf8(file.readAll());
  };
  const QString light = sheet("light");
  const QString dark = sheet("dark");
  // One template: the sheets differ only in their colours.
  static const QRegularExpression colour(QStringLiteral("#[0-9A-Fa-f]{6}\\b"));
  EXPECT_EQ(QString(light).replace(colour, "#"), QString(dark).replace(colour, "#"));
  for (const char* value : {"#EEF1F4", "#20242A", "#0F766E"}) EXPECT_TRUE(light.contains(value)) << value;
  for (const char* value : {"#181A1D", "#ECEFF2", "#42B8AA"}) EXPECT_TRUE(dark.contains(value)) << value;

  QStringList names = {"AppDialog", "DialogTitle", "DialogSubtitle", "DialogHint", "PrimaryDialogButton",
                       "SecondaryDialogButton", "DialogCombo", "DialogCheckBox", "DialogRadioButton", "DialogGroupBox",
                       "DialogTabs", "Ribbon", "RibbonPage", "RibbonGroup", "RibbonGroupTitle", "RibbonToolButton",
                       "IconOnlyButton", "CompactTextButton", "ThemePrimitiveButton", "FloatingBar",
                       "FloatingSeparator", "PageCounter", "TitleBar", "AppName", "AppSubtitle", "StatusBar",
                       "LeftPanel", "LeftPanelTabs", "PanelHeader", "PanelTitle", "PanelMeta", "OutlineTree",
                       "Workspace", "DocumentTabs", "DocumentTitle", "DocumentScroll", "DocumentCanvas",
                       "DocumentPage", "ViewportHeader", "ViewportTitle", "ThumbScroll", "ThumbViewport",
                       "ThumbInner", "ThumbCard", "ThumbPage", "ThumbNumber", "InlineEditorFrame",
                       "InlineTextEditor", "InlineEditorConfirm", "InlineEditorCancel", "GlobalSearch", "FindDialog",
                       "FindDialogButton", "SymbolTabs", "SymbolScroll", "SymbolPage", "SymbolButton", "PrintDialog",
                       "PrintPreviewPanel", "PrintPreviewPage", "PrintPreviewCaption", "PreviewCard",
                       "RecentFilesList", "SettingsSections", "AboutText", "OcrProgress", "ScanTabContent",
                       "ScanSettingsFrame", "ScanScanFrame", "ScanGroupBox", "ScanLabel", "ScanStatusLabel",
                       "ScanSeparator", "ScanCombo", "ScanSpin", "ScanSlider", "ScanCheckBox", "ScanProgressBar",
                       "ScanPreview", "ScanPreviewScroll", "ScanPreviewLabel", "ScanPreviewButton",
                       "ScanRefreshButton", "ScanScanButton"};
  // And every name the sources give a widget, but the start-up splash (its
  // own sheet), the page editors (they keep the page's fonts and colours)
  // and the busy overlays (their own translucent sheet).
  static const QRegularExpression named(QStringLiteral("setObjectName\\(QStringLiteral\\(\"([A-Za-z]+)\"\\)\\)"));
  QDirIterator it(QStringLiteral(ULVO_SOURCE_ROOT), {"*.cpp"}, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    QFile file(it.next());
    if (!file.open(QIODevice::ReadOnly)) continue;
    for (auto match = named.globalMatch(QString::fromUtf8(file.readAll())); match.hasNext();) {
      const QString name = match.next().captured(1);
      if (!name.startsWith("Preloader") && !name.startsWith("BlockTextEditor") && !name.endsWith("BusyOverlay"))
        names << name;
    }
  }
  names.removeDuplicates();
  QStringList unstyled;
  for (const QString& name : names)
    if (!light.contains(QRegularExpression("#" + name + "\\b"))) unstyled << name;
  EXPECT_TRUE(unstyled.isEmpty()) << unstyled.join(", ").toStdString();
}
