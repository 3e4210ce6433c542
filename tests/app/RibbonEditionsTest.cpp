// Which tabs, groups and buttons each edition's ribbon shows, and the page
// commands an edition without page editing refuses.
#include "RibbonTestWindow.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"
#include "view/PageThumbnailPanel.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QTemporaryDir>

using namespace apptest;

namespace {

QStringList tabTitles(const QTabWidget* tabs) {
  QStringList titles;
  for (int i = 0; i < tabs->count(); ++i) titles << tabs->tabText(i);
  return titles;
}

QWidget* tabPage(const QTabWidget* tabs, const QString& title) {
  for (int i = 0; i < tabs->count(); ++i)
    if (tabs->tabText(i) == title) return tabs->widget(i);
  return nullptr;
}

struct EditionCase {
  AppProduct product;
  QStringList tabs;
  QStringList home;
  QStringList insert;  // empty: no Insert tab
  bool pagesTab;
};

const QString kFont = QStringLiteral(
    "Шрифт: [combo], [spin], Увеличить шрифт, Уменьшить шрифт, Полужирный, Курсив, Подчёркивание, "
    "Зачёркивание, Нижний индекс, Верхний индекс, Цвет выделения, Цвет текста, Очистить форматирование");
const QString kParagraph = QStringLiteral(
    "Абзац: Маркированный список, Нумерованный список, Уменьшить отступ, Увеличить отступ, По левому краю, "
    "По центру, По правому краю, По ширине");
const QString kFacsimileGroup = QStringLiteral("Факсимиле: Вставить, Добавить, Изменить");

}  // namespace

TEST(RibbonEditionsTest, EachEditionShowsExactlyItsTabsGroupsAndButtons) {
  useCleanSettings();
  const std::vector<EditionCase> cases = {
      {AppProduct::Editor,
       {"Главная", "Вставка", "Страницы", "Разметка", "Вид"},
       {"Файл: Открыть, Сохранить, Сохранить как / Экспорт, Сжать PDF, Импорт, Печать",
        "Инструменты: Редакт., Рука, Выбор, Найти, OCR, Подписать файл электронной подписью",
        "Правка: Отменить, Повторить, Копировать, Вставить изображение/содержимое, Добавить текст, "
        "Добавить изображение, Вставить факсимиле",
        kFont, kParagraph},
       {"Позиция: [combo]", "Добавить страницы из: Любой файл, PDF, Изображение, Документ, Сканер",
        "Объекты: Текст, Картинка, Символ", "Поля формы: Текст, Флажок, Список, Дата", kFacsimileGroup},
       true},
      {AppProduct::Viewer,
       {"Главная", "Вставка", "Разметка", "Вид"},
       {"Файл: Открыть, Сохранить, Сохранить как / Экспорт, Сжать PDF, Печать", "Инструменты: Рука, Выбор, Найти",
        "Правка: Отменить, Повторить, Копировать, Вставить факсимиле"},
       {kFacsimileGroup},
       false},
      {AppProduct::Ecp,
       {"Главная", "Разметка", "Вид"},
       {"Файл: Открыть, Сохранить, Сохранить как / Экспорт, Сжать PDF, Печать",
        "Инструменты: Рука, Выбор, Найти, Подписать файл электронной подписью",
        "Правка: Отменить, Повторить, Копировать"},
       {},
       false},
  };
  for (const EditionCase& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.product));
    RibbonWindow window(c.product);
    EXPECT_EQ(tabTitles(window.ribbon), c.tabs);
    EXPECT_EQ(ribbonInventory(tabPage(window.ribbon, "Главная")), lines(c.home));
    if (!c.insert.isEmpty()) {
      EXPECT_EQ(ribbonInventory(tabPage(window.ribbon, "Вставка")), lines(c.insert));
    }
    EXPECT_EQ(window.fontFamilyCombo != nullptr, c.product == AppProduct::Editor);
    EXPECT_EQ(window.boldButton != nullptr, c.product == AppProduct::Editor);
    if (c.pagesTab) {
      EXPECT_EQ(ribbonInventory(tabPage(window.ribbon, "Страницы")),
                lines({"Страницы: Вставить, Удалить, Дубль, Очистить, Извлечение", "Поворот: Влево, Вправо",
                             "Навигация: Найти, Ширина, Экран"}));
    }
    // The sign button exists only where the edition signs.
    const QString protection = c.product == AppProduct::Viewer
                                   ? QStringLiteral("Защита: Пароль, Права, Редакция, Проверить, Свойства")
                                   : QStringLiteral("Защита: Пароль, Права, Редакция, Подпись, Проверить, Свойства");
    EXPECT_EQ(ribbonInventory(tabPage(window.ribbon, "Разметка")),
              lines({"Аннотации: Заметка, Маркер, Текст", "Разметка: Подчерк., Зачерк., Область",
                     "Работа: Найти, Копия, Удалить", protection}));
    EXPECT_EQ(ribbonInventory(tabPage(window.ribbon, "Вид")),
              lines({"Окно: Экран, Одна, Лента, Миниатюры", "Тема: Светлая тема, Тёмная тема",
                           "Параметры: Шрифты, Свойства, Настройки, Обновления, О программе"}));
  }
}

// The form-field commands are not built yet: their buttons are greyed out and
// say so.
TEST(RibbonEditionsTest, FormFieldButtonsAreDisabledAndSaySo) {
  useCleanSettings();
  RibbonWindow editor(AppProduct::Editor);
  QWidget* insert = tabPage(editor.ribbon, "Вставка");
  ASSERT_NE(insert, nullptr);
  QStringList unavailable;
  for (QToolButton* button : insert->findChildren<QToolButton*>()) {
    const bool saysUnavailable = button->toolTip().endsWith(QStringLiteral("\nКоманда пока недоступна"));
    if (saysUnavailable) unavailable << button->text();
    if (saysUnavailable) {
      EXPECT_FALSE(button->isEnabled()) << button->text().toStdString();
    }
  }
  EXPECT_EQ(unavailable, QStringList({"Текст", "Флажок", "Список", "Дата"}));
}

TEST(RibbonEditionsTest, FontControlsStartDisabledAndFormatReportsAreIgnoredWithoutThem) {
  useCleanSettings();
  RibbonWindow editor(AppProduct::Editor);
  EXPECT_FALSE(editor.boldButton->isEnabled());
  EXPECT_FALSE(editor.fontFamilyCombo->isEnabled());
  EXPECT_EQ(editor.fontSizeSpin->value(), 12);
  RibbonWindow viewer(AppProduct::Viewer);
  // Nothing to show the format in: no crash, nothing made.
  viewer.onActiveTextFormatChanged("Arial", 20, true, false, false, false, false, false, Qt::AlignLeft);
  viewer.setFontControlsEnabled(true);
  EXPECT_EQ(viewer.fontFamilyCombo, nullptr);
}

TEST(RibbonEditionsTest, PageCommandsOfThumbnailsAndPagesTabFollowTheEdition) {
  useCleanSettings();
  QTemporaryDir dir;
  const QString path = dir.filePath("pages.pdf");
  ASSERT_TRUE(testsupport::writePdf(path, {{"one"}, {"two"}}));
  struct Command {
    const char* name;
    std::function<void(RibbonWindow&)> run;
    int editorPages;  // pages afterwards in the editor; -1 when another suite checks them
    bool editorAsks;  // a question (closed unanswered) or a message comes up in the editor
  };
  const std::vector<Command> commands = {
      {"thumbnail delete", [](RibbonWindow& w) { emit w.thumbnails->deletePageRequested(0); }, 1, false},
      {"thumbnail insert", [](RibbonWindow& w) { emit w.thumbnails->insertPageRequested(1); }, 3, false},
      {"thumbnail move", [](RibbonWindow& w) { emit w.thumbnails->movePageRequested(0, 1); }, 2, false},
      {"thumbnail import", [](RibbonWindow& w) { emit w.thumbnails->importPageRequested(0); }, -1, true},
      {"insert blank page", [](RibbonWindow& w) { w.onInsertBlankPage(); }, 3, false},
      {"delete current page", [](RibbonWindow& w) { w.onDeleteCurrentPage(); }, 2, true},
      {"duplicate page", [](RibbonWindow& w) { w.onDuplicatePage(); }, 3, false},
      {"clear page", [](RibbonWindow& w) { w.onClearPage(); }, 2, true},
  };
  for (AppProduct product : {AppProduct::Editor, AppProduct::Viewer}) {
    for (const Command& command : commands) {
      SCOPED_TRACE(std::string(command.name) + (product == AppProduct::Viewer ? " viewer" : " editor"));
      RibbonWindow window(product);
      window.openFile(path);
      const QString message = messageOf([&] { command.run(window); });
      // The viewer never reaches a page operation.
      if (product == AppProduct::Viewer) {
        EXPECT_TRUE(message.isEmpty()) << message.toStdString();
        EXPECT_EQ(window.currentDocument->pageCount(), 2);
        continue;
      }
      EXPECT_EQ(message.isEmpty(), !command.editorAsks) << message.toStdString();
      if (command.editorPages >= 0) {
        EXPECT_EQ(window.currentDocument->pageCount(), command.editorPages);
      }
    }
  }
}
