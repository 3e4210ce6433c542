// The lookup rule on a small table, the smart splits and the widget pass on
// the shipped table: remembered sources, texts the code set later, combo
// boxes, lists, tabs, actions and texts that are user data.
#include "AppTestSupport.h"
#include "UiLanguage.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// Sets the interface language for one test and puts Russian back after it.
struct LanguageScope {
  explicit LanguageScope(const char* code) { qApp->setProperty("uiLanguage", QString::fromLatin1(code)); }
  ~LanguageScope() { qApp->setProperty("uiLanguage", QStringLiteral("ru")); }
  void use(const char* code) const { qApp->setProperty("uiLanguage", QString::fromLatin1(code)); }
};

const QByteArray kSmallTable = R"({"translations": {
  "ru": {"Открыть": "Открыть"},
  "en": {"Открыть": "Open", "Текст": "Text", "A4": "A4 sheet", "B5": "B5 sheet"},
  "de": {"Открыть": "Öffnen", "Текст": "Text", "A4": "A4 sheet", "Число": 5}
}})";

}  // namespace

TEST(UiTranslationRule, LooksUpTheLanguageThenFallsBackByTheRule) {
  const UiTranslationTables tables = readUiTranslationTables(kSmallTable);
  struct Case {
    const char* language;
    const char* source;
    const char* shown;
  };
  const Case cases[] = {
      {"de", "", ""},
      {"de", "Открыть", "Öffnen"},
      // A German word that reads as the English one is still German.
      {"de", "Текст", "Text"},
      {"de", "A4", "A4 sheet"},
      {"de", "B5", "B5 sheet"},         // no German entry, no Cyrillic: English
      {"de", "Только", "Только"},       // no entry at all
      {"de", "Число", "Число"},         // a value that is not a string reads as empty
      {"ru", "Открыть", "Открыть"},
      {"ru", "B5", "B5 sheet"},         // Latin source without a Russian entry: English
      {"en", "Нет", "Нет"},             // English without an entry: the source
      {"en", "B5", "B5 sheet"},
      {"fr", "Открыть", "Открыть"},     // a language without a table
      {"fr", "A4", "A4 sheet"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(lookUpTranslation(tables, c.language, QString::fromUtf8(c.source)), QString::fromUtf8(c.shown))
        << c.language << " " << c.source;

  const UiTranslationTables noEnglish = readUiTranslationTables(R"({"translations": {"de": {"Открыть": "Öffnen"}}})");
  EXPECT_EQ(lookUpTranslation(noEnglish, "de", "Открыть"), "Öffnen");
  EXPECT_EQ(lookUpTranslation(noEnglish, "de", "A4"), "A4");
  for (const QByteArray& broken : {QByteArray("[1, 2]"), QByteArray("{\"translations\": 7"), QByteArray()})
    EXPECT_TRUE(readUiTranslationTables(broken).isEmpty());
}

TEST(UiTranslationRule, SmartTranslationSplitsTailsAndLines) {
  LanguageScope language("en");
  EXPECT_EQ(uiTranslate(QString()), QString());
  EXPECT_EQ(uiTranslateSmart("Сохранить (Ctrl+S)"), "Save (Ctrl+S)");
  EXPECT_EQ(uiTranslateSmart(" (Ctrl+S)"), " (Ctrl+S)");  // nothing before the tail
  EXPECT_EQ(uiTranslateSmart("Открыть\nЗакрыть"), "Open\nClose");
  EXPECT_EQ(uiTranslateSmart("Открыть\n\nreport.pdf"), "Open\n\nreport.pdf");
  EXPECT_EQ(uiTranslateSmart("Абв\nГде"), "Абв\nГде");
  language.use("ar");
  EXPECT_EQ(uiTranslate("Главная"), "الرئيسية");
  EXPECT_EQ(uiTranslate("Нет такого текста:\n%1"), "Нет такого текста:\n%1");  // no entry: Russian
}

TEST(UiTranslationPass, TextsFollowTheLanguageAndCodeSetTextsBecomeSources) {
  LanguageScope language("en");
  QWidget root;
  root.setWindowTitle("Настройки");
  auto* layout = new QVBoxLayout(&root);
  auto* status = new QLabel("Готово");
  auto* fileName = new QLabel("Открыть");  // a file that happens to be called so
  fileName->setProperty("_ulvo_i18n_userData", true);
  auto* picture = new QLabel;
  QPixmap pixmap(8, 8);
  pixmap.fill(Qt::red);
  picture->setPixmap(pixmap);
  auto* button = new QPushButton("Применить");
  button->setToolTip("Сохранить (Ctrl+S)");
  auto* group = new QGroupBox("Документы");
  auto* edit = new QLineEdit;
  edit->setPlaceholderText("Найти");
  auto* action = new QAction("Копировать", &root);
  action->setStatusTip("Вставить");
  root.addAction(action);
  for (QWidget* w : std::initializer_list<QWidget*>{status, fileName, picture, button, group, edit}) layout->addWidget(w);

  localizeWidgetTree(&root);
  EXPECT_EQ(root.windowTitle(), "Settings");
  EXPECT_EQ(status->text(), "Ready");
  EXPECT_EQ(fileName->text(), "Открыть");
  ASSERT_FALSE(picture->pixmap().isNull());
  EXPECT_EQ(button->text(), "Apply");
  EXPECT_EQ(button->toolTip(), "Save (Ctrl+S)");
  EXPECT_EQ(group->title(), "Documents");
  EXPECT_EQ(edit->placeholderText(), "Find");
  EXPECT_EQ(action->text(), "Copy");
  EXPECT_EQ(action->statusTip(), "Insert");

  // A status the code set after the pass is the label's new source: it is
  // never put back to "Готово", and a Russian one follows the language.
  status->setText("Открыт: отчёт.pdf");
  localizeWidgetTree(&root);
  EXPECT_EQ(status->text(), "Открыт: отчёт.pdf");
  status->setText("Сохранено");
  localizeWidgetTree(&root);
  EXPECT_EQ(status->text(), "Saved");
  language.use("de");
  localizeWidgetTree(&root);
  EXPECT_EQ(button->text(), "Übernehmen");
  EXPECT_EQ(status->text(), "Gespeichert");
  language.use("ru");
  localizeWidgetTree(&root);
  EXPECT_EQ(root.windowTitle(), "Настройки");
  EXPECT_EQ(button->text(), "Применить");
  EXPECT_EQ(button->toolTip(), "Сохранить (Ctrl+S)");
  EXPECT_EQ(group->title(), "Документы");
  EXPECT_EQ(action->text(), "Копировать");
  EXPECT_FALSE(picture->pixmap().isNull());
}

TEST(UiTranslationPass, ComboListAndTabRules) {
  LanguageScope language("en");
  QWidget root;
  auto* combo = new QComboBox(&root);
  combo->addItems({"Открыть", "Закрыть"});
  auto* big = new QComboBox(&root);
  for (int i = 0; i < 81; ++i) big->addItem("Открыть");
  auto* names = new QComboBox(&root);
  names->addItems({"Русский", "English"});
  names->setProperty("_ulvo_i18n_skip_items", true);
  auto* list = new QListWidget(&root);
  list->addItems({"Интерфейс", "OCR"});
  auto* tabs = new QTabWidget(&root);
  tabs->addTab(new QWidget, "Страницы");
  tabs->addTab(new QWidget, "Оглавление");
  QSignalSpy changed(combo, &QComboBox::currentTextChanged);

  localizeWidgetTree(&root);
  EXPECT_EQ(combo->itemText(0), "Open");
  EXPECT_EQ(combo->itemText(1), "Close");
  EXPECT_EQ(changed.count(), 0);
  EXPECT_EQ(big->itemText(80), "Открыть");
  EXPECT_EQ(names->itemText(0), "Русский");
  EXPECT_EQ(list->item(0)->text(), "Interface");
  EXPECT_EQ(list->item(0)->data(Qt::UserRole + 500).toString(), "Интерфейс");
  EXPECT_EQ(list->item(1)->text(), "OCR");
  EXPECT_EQ(tabs->tabText(0), "Pages");  // translated on the first pass
  EXPECT_EQ(tabs->tabText(1), "Outline");

  // A combo box that gains an item is snapshotted again from its current
  // texts, whose Russian sources are found again.
  combo->addItem("Сохранить");
  localizeWidgetTree(&root);
  EXPECT_EQ(combo->itemText(2), "Save");
  language.use("ru");
  localizeWidgetTree(&root);
  EXPECT_EQ(combo->itemText(0), "Открыть");
  EXPECT_EQ(combo->itemText(2), "Сохранить");
  EXPECT_EQ(list->item(0)->text(), "Интерфейс");
  EXPECT_EQ(tabs->tabText(1), "Оглавление");
}

// Qt's own buttons speak the interface language and follow a change of it.
TEST(UiTranslationPass, QtsOwnStandardButtonsFollowTheLanguage) {
  const struct {
    const char* code;
    QString yes, cancel;
  } languages[] = {{"ru", "Да", "Отмена"}, {"de", "Ja", "Abbrechen"}, {"en", "Yes", "Cancel"}, {"ru", "Да", "Отмена"}};
  for (const auto& language : languages) {
    applyUiLanguage(QString::fromLatin1(language.code));
    QDialogButtonBox box(QDialogButtonBox::Yes | QDialogButtonBox::Cancel);
    EXPECT_EQ(box.button(QDialogButtonBox::Yes)->text().remove(u'&'), language.yes) << language.code;
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text().remove(u'&'), language.cancel) << language.code;
  }
}

// One Russian word with two meanings has an entry per meaning; the marked
// meaning reads as the plain word where a language has no entry for it.
TEST(UiTranslationRule, EachMeaningOfAWordHasItsOwnEntry) {
  const struct {
    const char* code;
    QString insert, paste;
  } languages[] = {{"en", "Insert", "Paste"}, {"fr", "Insérer", "Coller"}, {"ru", "Вставить", "Вставить"}};
  for (const auto& language : languages) {
    LanguageScope scope(language.code);
    EXPECT_EQ(uiTranslate("Вставить"), language.insert) << language.code;
    EXPECT_EQ(uiTranslate("буфер|Вставить"), language.paste) << language.code;
  }
  UiTranslationTables tables;
  tables["en"].insert("буфер|Вставить", "Paste");
  EXPECT_EQ(lookUpTranslation(tables, "de", "буфер|Вставить"), "Вставить");
  EXPECT_EQ(lookUpTranslation(tables, "de", "отчёт|2024.pdf"), "отчёт|2024.pdf");
}

// A message the code builds with tr() is looked up before its number is
// filled in, in every language; Russian keeps the source.
TEST(UiTranslationPass, MessagesBuiltAtRunTimeAreTranslatedBeforeTheyAreFilled) {
  const struct {
    const char* code;
    QString copied;
  } languages[] = {{"en", "Page 7 copied to the clipboard"},
                   {"de", "Seite 7 in die Zwischenablage kopiert"},
                   {"ru", "Страница 7 скопирована в буфер"}};
  for (const auto& language : languages) {
    applyUiLanguage(QString::fromLatin1(language.code));
    EXPECT_EQ(QCoreApplication::translate("MainWindow", "Страница %1 скопирована в буфер").arg(7), language.copied);
  }
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Отмена");
}

// Texts a window was built with in German through tr() still follow a later
// change of language.
TEST(UiTranslationPass, TextsBuiltInAnotherLanguageFollowALiveChange) {
  applyUiLanguage("de");
  QTabWidget tabs;
  tabs.addTab(new QWidget, QCoreApplication::translate("MainWindow", "Страницы"));
  auto* label = new QLabel(QCoreApplication::translate("MainWindow", "Готово"), tabs.widget(0));
  localizeWidgetTree(&tabs);
  EXPECT_EQ(tabs.tabText(0), "Seiten");
  for (const auto& [code, page, ready] : {std::tuple{"ru", "Страницы", "Готово"}, std::tuple{"en", "Pages", "Ready"}}) {
    applyUiLanguage(QString::fromLatin1(code));
    localizeWidgetTree(&tabs);
    EXPECT_EQ(tabs.tabText(0), QString::fromUtf8(page)) << code;
    EXPECT_EQ(label->text(), QString::fromUtf8(ready)) << code;
  }
  applyUiLanguage("ru");
}
