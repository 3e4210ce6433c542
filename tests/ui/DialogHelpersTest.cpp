// The dialog factories, the size formatter and the results of the three
// question dialogs for every way of answering them.
#include "AppTestSupport.h"
#include "DialogHelpers.h"
#include "UiLanguage.h"

#include <gtest/gtest.h>

#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

using namespace apptest;

TEST(DialogHelpers, FileSizesUseOneUnitUpToMegabytes) {
  struct Case {
    qint64 bytes;
    const char* expected;
  };
  const QList<Case> cases = {
      {0, "0 Б"},           {1023, "1023 Б"},       {1024, "1.0 КБ"},          {1536, "1.5 КБ"},
      {1048575, "1024.0 КБ"}, {1048576, "1.00 МБ"}, {5368709120LL, "5120.00 МБ"}, {-7, "-7 Б"},
  };
  for (const Case& c : cases) EXPECT_EQ(formatFileSize(c.bytes), QString::fromUtf8(c.expected)) << c.bytes;
}

// Sizes and numbers in the interface language's own way: German and Russian
// write a decimal comma, English a point; spin boxes built then follow too.
TEST(DialogHelpers, SizesAndNumbersFollowTheInterfaceLanguage) {
  const struct {
    const char* code;
    const char* kilobytes;  // 1536 bytes
    const char* megabytes;  // 13.16 MB
    const char* spin;       // 1.0 in a spin box with one decimal
  } cases[] = {{"de", "1,5 KB", "13,16 MB", "1,0"}, {"ru", "1,5 КБ", "13,16 МБ", "1,0"}, {"en", "1.5 KB", "13.16 MB", "1.0"}};
  for (const auto& c : cases) {
    applyUiLanguage(QString::fromLatin1(c.code));
    EXPECT_EQ(formatFileSize(1536), QString::fromUtf8(c.kilobytes)) << c.code;
    EXPECT_EQ(formatFileSize(qint64(13.16 * 1048576)), QString::fromUtf8(c.megabytes)) << c.code;
    EXPECT_EQ(formatDecimal(12345.75, 1), QString::fromUtf8(c.code[0] == 'e' ? "12345.8" : "12345,8")) << c.code;
    QDoubleSpinBox spin;
    spin.setDecimals(1);
    spin.setValue(1.0);
    EXPECT_EQ(spin.text(), QString::fromUtf8(c.spin)) << c.code;
  }
  applyUiLanguage(QStringLiteral("ru"));
}

TEST(DialogHelpers, FactoriesSetTheStyleRoles) {
  std::unique_ptr<QLabel> unnamed(label("Текст"));
  EXPECT_TRUE(unnamed->objectName().isEmpty());
  std::unique_ptr<QLabel> title(label("Заголовок", "DialogTitle"));
  EXPECT_EQ(title->objectName(), "DialogTitle");
  EXPECT_EQ(title->text(), "Заголовок");
  std::unique_ptr<QPushButton> button(dialogButton("OK", "PrimaryDialogButton"));
  EXPECT_EQ(button->objectName(), "PrimaryDialogButton");
  std::unique_ptr<QLineEdit> edit(dialogLineEdit("abc"));
  EXPECT_EQ(edit->objectName(), "DialogLineEdit");
  EXPECT_EQ(edit->text(), "abc");
}

TEST(DialogHelpers, QuestionsReturnTheirContractValues) {
  struct Case {
    const char* question;
    const char* answer;  // "" closes the dialog through its window
    int expected;
  };
  const QList<Case> cases = {
      {"unsaved", "Сохранить", 0},   {"unsaved", "Не сохранять", 1}, {"unsaved", "Отмена", 2},
      {"unsaved", "", 2},            {"pdf", "Добавить как страницы", 0},
      {"pdf", "Открыть как новый документ", 1}, {"pdf", "Отмена", 2}, {"pdf", "", 2},
      {"yesno", "Да", 1},            {"yesno", "Нет", 0},            {"yesno", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.question) + " / " + c.answer);
    std::shared_ptr<DialogSeen> seen = answerNextDialog(QString::fromUtf8(c.answer));
    int result = -1;
    const QString question = QString::fromLatin1(c.question);
    if (question == "unsaved") {
      result = appUnsavedChangesQuestion(nullptr, "<b>a.pdf</b>");
      EXPECT_TRUE(seen->texts.contains("Документ «<b>a.pdf</b>» изменён. Сохранить изменения перед закрытием?"));
      EXPECT_EQ(seen->title, "Несохранённые изменения");
      EXPECT_TRUE(seen->texts.contains("Сохранить изменения?"));
    } else if (question == "pdf") {
      result = appPdfFileQuestion(nullptr, "PDF файл", "Что сделать с \"a.pdf\"?", "Добавить как страницы", "Отмена",
                                  "Открыть как новый документ");
    } else {
      result = appQuestion(nullptr, "Вопрос", "Продолжить?", "Да", "Нет") ? 1 : 0;
    }
    EXPECT_TRUE(seen->shown);
    EXPECT_EQ(result, c.expected);
  }
}

TEST(DialogHelpers, InfoShowsItsTitleAndText) {
  std::shared_ptr<DialogSeen> seen = answerNextDialog("OK");
  appInfo(nullptr, "Ошибка", "Не удалось открыть файл:\nx.pdf");
  EXPECT_TRUE(seen->shown);
  EXPECT_EQ(seen->title, "Ошибка");
  EXPECT_TRUE(seen->texts.contains("Не удалось открыть файл:\nx.pdf"));
}

// Return answers every message as its primary button does (a dialog left
// open is closed by the test and gives its closed answer).
TEST(DialogHelpers, ReturnAnswersWithThePrimaryButton) {
  const std::vector<std::pair<std::function<int()>, int>> messages = {
      {[] { return appInfo(nullptr, "Ошибка", "Не удалось загрузить:\nx.png"), 0; }, 0},
      {[] { return appQuestion(nullptr, "Вопрос", "Продолжить?", "Да", "Нет") ? 1 : 0; }, 1},
      {[] { return appUnsavedChangesQuestion(nullptr, "a.pdf"); }, 0},
      {[] { return appPdfFileQuestion(nullptr, "PDF файл", "?", "Добавить как страницы", "Отмена", "Открыть"); }, 1}};
  for (const auto& [message, primary] : messages) {
    bool closedByReturn = false;
    whenModalOpens<QDialog>([&closedByReturn](QDialog* dialog) {
      QTest::keyClick(dialog, Qt::Key_Return);
      if (!(closedByReturn = !dialog->isVisible())) dialog->close();
    });
    EXPECT_EQ(message(), primary);
    EXPECT_TRUE(closedByReturn);
  }
}
