// The window's keys run their commands in the editor and do not exist where
// the edition forbids the command.
#include "EditorWindowFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QToolButton>
#include <QWindow>

using namespace apptest;

namespace {

QKeySequence standard(QKeySequence::StandardKey key) { return QKeySequence::keyBindings(key).value(0); }

// Presses the keys in the active window; returns the message they showed.
QString press(QWidget* window, const QKeySequence& keys) {
  window->activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(window));
  return messageOf([&] { QTest::keySequence(window, keys); });
}

class ViewerWindowTest : public EditorWindowTest {
 protected:
  AppProduct product() const override { return AppProduct::Viewer; }
};

// Presses the keys; returns the title of the dialog they opened (closed
// again), modal or not, or an empty string when none opened.
QString dialogTitleOf(QWidget* window, const QKeySequence& keys) {
  window->activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(window));
  auto seen = answerNextDialog(QString());
  QTest::keySequence(window, keys);
  QTest::qWait(30);
  seen->stopWaiting = true;
  QTest::qWait(20);
  if (seen->shown) return seen->title;
  for (QDialog* dialog : window->findChildren<QDialog*>())
    if (dialog->isVisible()) {
      dialog->close();
      return dialog->windowTitle();
    }
  return QString();
}

struct KeyCase {
  QKeySequence keys;
  QString command;       // named in the message of a command still to come
  bool editorOnly;       // absent in the viewer
  QString dialogTitle = QString();  // the modeless dialog a built command opens instead
};

std::vector<KeyCase> dialogKeys() {
  return {
      {standard(QKeySequence::Open), "Открыть", false, "Открыть PDF"},
      {standard(QKeySequence::SaveAs), "Сохранить как / Экспорт", false, "Сохранить как / Экспорт"},
      // The desktop's usual Save As key, whatever the platform's own list says.
      {QKeySequence("Ctrl+Shift+S"), "Сохранить как / Экспорт", false, "Сохранить как / Экспорт"},
      {standard(QKeySequence::Print), "Печать", false, "Печать"},
      {standard(QKeySequence::Find), "Найти", false, "Поиск и замена"},
      {QKeySequence("Ctrl+Alt+I"), "Импорт", true, "Импорт файлов как страниц"},
      {QKeySequence("Ctrl+Alt+M"), "Сжать PDF", false, "Сохранить сжатый PDF"},
      {QKeySequence("Ctrl+Alt+S"), "Подписать", true, "Подписание документа"},
      {QKeySequence("Ctrl+Shift+F"), "Факсимиле", false, "Факсимиле"},
      // Edit mode frames the page's own text, however little: no recognition.
      {QKeySequence("F2"), "OCR", true},
      {QKeySequence("Ctrl+Shift+O"), "OCR", true},
  };
}

// The modeless recognition dialog, closed before its run starts; whether it was shown.
bool closeOcrDialog(QWidget* window) {
  bool shown = false;
  for (QDialog* dialog : window->findChildren<QDialog*>())
    if (dialog->windowTitle() == "OCR" && dialog->isVisible()) {
      shown = true;
      dialog->close();
    }
  QTest::qWait(1);
  return shown;
}

void checkDialogKeys(RibbonWindow* window, bool viewer) {
  for (const KeyCase& c : dialogKeys()) {
    SCOPED_TRACE(c.command.toStdString());
    if (c.keys.isEmpty()) continue;  // a standard key this platform leaves unbound
    if (!c.dialogTitle.isEmpty()) {
      EXPECT_EQ(dialogTitleOf(window, c.keys), viewer && c.editorOnly ? QString() : c.dialogTitle);
      continue;
    }
    const QString message = press(window, c.keys);
    if (c.command == "OCR") {
      EXPECT_TRUE(message.isEmpty()) << message.toStdString();
      EXPECT_EQ(closeOcrDialog(window), !viewer && c.keys != QKeySequence("F2"));
      continue;
    }
    if (viewer && c.editorOnly)
      EXPECT_TRUE(message.isEmpty()) << message.toStdString();
    else
      EXPECT_TRUE(message.contains(QStringLiteral("«%1»").arg(c.command))) << message.toStdString();
  }
  // Save writes the file of every edition without a word.
  EXPECT_TRUE(press(window, standard(QKeySequence::Save)).isEmpty());
  EXPECT_EQ(window->statusLabel->text(), "Сохранено");
  // The insert keys ask for an area, where the edition may edit.
  const struct {
    QKeySequence keys;
    QString prompt;
  } inserts[] = {{QKeySequence("Ctrl+T"), "Нарисуйте область для текста на странице"},
                 {QKeySequence("Ctrl+Shift+I"), "Нарисуйте область для изображения на странице"}};
  for (const auto& c : inserts) {
    // The page has text of its own: no recognition is offered first.
    const QString message = press(window, c.keys);
    EXPECT_FALSE(message.contains("Распознать текст и объекты на странице?")) << message.toStdString();
    EXPECT_EQ(window->statusLabel->text() == c.prompt, !viewer) << c.prompt.toStdString();
  }
}

}  // namespace

TEST_F(EditorWindowTest, CommandKeysRunTheirCommands) { checkDialogKeys(window.get(), false); }

TEST_F(ViewerWindowTest, KeysOfForbiddenCommandsDoNotExistInTheViewer) {
  checkDialogKeys(window.get(), true);
  // The keys every edition has still work.
  const double zoom = window->view->zoomFactor();
  press(window.get(), standard(QKeySequence::ZoomIn));
  EXPECT_GT(window->view->zoomFactor(), zoom);
  press(window.get(), QKeySequence("Ctrl+Alt+H"));
  EXPECT_EQ(window->view->currentEditTool(), EditTool::Hand);
}

TEST_F(EditorWindowTest, FormattingToolAndZoomKeysActOnTheEditorAndView) {
  // Without an editor the formatting buttons are disabled and their keys do nothing.
  press(window.get(), standard(QKeySequence::Bold));
  EXPECT_FALSE(window->boldButton->isChecked());

  QTextEdit* editor = openEditor();
  ASSERT_NE(editor, nullptr);
  const auto formatAt = [editor] {
    QTextCursor inside(editor->document());
    inside.setPosition(editor->textCursor().selectionStart() + 2);
    return inside;
  };
  struct Case {
    QKeySequence keys;
    std::function<bool()> holds;
  };
  const std::vector<Case> cases = {
      {standard(QKeySequence::Bold), [&] { return formatAt().charFormat().fontWeight() == QFont::Bold; }},
      {standard(QKeySequence::Italic), [&] { return formatAt().charFormat().fontItalic(); }},
      {standard(QKeySequence::Underline), [&] { return formatAt().charFormat().fontUnderline(); }},
      {QKeySequence("Alt+Shift+5"), [&] { return formatAt().charFormat().fontStrikeOut(); }},
      {QKeySequence("Ctrl+Alt+="),
       [&] { return formatAt().charFormat().verticalAlignment() == QTextCharFormat::AlignSubScript; }},
      {QKeySequence("Ctrl+Shift+="),
       [&] {
         return formatAt().charFormat().verticalAlignment() == QTextCharFormat::AlignSuperScript &&
                !window->subscriptButton->isChecked();
       }},
      {QKeySequence("Ctrl+E"), [&] { return formatAt().blockFormat().alignment() == Qt::AlignHCenter; }},
      {QKeySequence("Ctrl+J"), [&] { return formatAt().blockFormat().alignment() == Qt::AlignJustify; }},
      {QKeySequence("Ctrl+Shift+L"), [&] { return formatAt().block().textList() != nullptr; }},
      {standard(QKeySequence::Undo), [&] { return formatAt().block().textList() == nullptr; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys.toString().toStdString());
    ASSERT_FALSE(c.keys.isEmpty());
    EXPECT_TRUE(press(window.get(), c.keys).isEmpty());
    EXPECT_TRUE(c.holds());
  }
  const double zoom = window->view->zoomFactor();
  press(window.get(), standard(QKeySequence::ZoomOut));
  EXPECT_LT(window->view->zoomFactor(), zoom);
}

// Every key a tool tip of the window shows is bound, whichever edition.
TEST_F(EditorWindowTest, EveryKeyAToolTipShowsIsBound) {
  for (AppProduct edition : {AppProduct::Editor, AppProduct::Viewer}) {
    RibbonWindow shown(edition);
    QList<QKeySequence> bound;
    for (QShortcut* shortcut : shown.findChildren<QShortcut*>()) bound << shortcut->key();
    EXPECT_TRUE(bound.contains(QKeySequence("Ctrl+Q")));
    const QRegularExpression keyTail(QStringLiteral("\\(([^()]+)\\)$"));
    int hinted = 0;
    for (QAbstractButton* button : shown.findChildren<QAbstractButton*>()) {
      const QRegularExpressionMatch match = keyTail.match(button->toolTip());
      const QKeySequence keys(match.captured(1), QKeySequence::NativeText);
      if (!match.hasMatch() || keys.isEmpty() || keys.toString() != match.captured(1)) continue;
      ++hinted;
      EXPECT_TRUE(bound.contains(keys) || button->shortcut() == keys) << button->toolTip().toStdString();
    }
    EXPECT_GT(hinted, 10);
  }
}

TEST_F(EditorWindowTest, CtrlQAsksAboutUnsavedChangesThenQuits) {
  window->currentDocument->markModified();
  const auto quitAnswering = [this](const QString& answer) {
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    auto seen = answerNextDialog(answer);
    QTest::keySequence(window.get(), QKeySequence("Ctrl+Q"));
    return seen;
  };
  auto seen = quitAnswering("Отмена");
  EXPECT_TRUE(seen->shown);
  EXPECT_TRUE(window->isVisible());
  // The window system's close (title bar, logout) under the question, from quitting or a tab's close button, waits.
  const auto closeUnderQuestion = [this](QWidget* question) {
    if (!question || question->windowTitle() != "Несохранённые изменения") return false;
    const auto again = answerNextDialog("Отмена", "Несохранённые изменения");  // a second question, were one asked
    QCloseEvent close;
    QCoreApplication::sendEvent(window->windowHandle(), &close);
    again->stopWaiting = true;
    EXPECT_FALSE(again->shown);
    for (QPushButton* button : question->findChildren<QPushButton*>())
      if (button->text() == "Отмена") QTest::mouseClick(button, Qt::LeftButton);
    return true;
  };
  whenModalOpens(closeUnderQuestion);
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  QTest::keySequence(window.get(), QKeySequence("Ctrl+Q"));
  EXPECT_TRUE(window->isVisible());
  whenModalOpens(closeUnderQuestion);
  QTest::mouseClick(window->documentTabs->tabButton(0, QTabBar::RightSide), Qt::LeftButton);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->documents.size(), 1u);
  seen = quitAnswering("Не сохранять");
  EXPECT_TRUE(seen->shown);
  EXPECT_FALSE(window->isVisible());
}

TEST_F(EditorWindowTest, FindKeyPutsTheCursorInTheSearchFieldWithTheQuerySelected) {
  window->showSearchDialog();
  QDialog* first = nullptr;
  for (QDialog* dialog : window->findChildren<QDialog*>())
    if (dialog->isVisible()) first = dialog;
  ASSERT_NE(first, nullptr);
  QTest::keyClicks(first->findChild<QComboBox*>()->lineEdit(), "Page");
  for (QPushButton* button : first->findChildren<QPushButton*>())
    if (button->text() == "Найти далее") {
      button->click();
      break;
    }
  first->close();
  press(window.get(), QKeySequence(QKeySequence::Find));
  QDialog* second = nullptr;
  for (QDialog* dialog : window->findChildren<QDialog*>())
    if (dialog->isVisible()) second = dialog;
  ASSERT_NE(second, nullptr);
  auto* combo = qobject_cast<QComboBox*>(second->focusWidget());
  ASSERT_NE(combo, nullptr);
  QLineEdit* field = combo->lineEdit();
  EXPECT_EQ(field->text(), "Page");
  EXPECT_EQ(field->selectedText(), "Page");
}

// Keys reach the shown document right after it opens and after a dialog has
// gone (the search dialog, a broken file's message), with no click first.
TEST_F(EditorWindowTest, KeysActOnTheDocumentAfterOpeningAndAfterADialogCloses) {
  ASSERT_TRUE(showActive(window.get(), QSize(1300, 900)));
  QWindow* keys = window->windowHandle();
  const QString three = dir.filePath("three.pdf"), broken = dir.filePath("broken.pdf");
  ASSERT_TRUE(testsupport::writePdf(three, {{"One"}, {"Two"}, {"Three"}}) && testsupport::writePdf(broken, {{"x"}}));
  ASSERT_TRUE(QFile::resize(broken, 40));
  window->documentTabs->setFocus();  // where the last click left the keys
  window->openFile(three);
  QTest::keyClick(keys, Qt::Key_PageDown);
  EXPECT_EQ(window->view->currentPageIndex(), 1);
  for (const bool search : {true, false}) {
    if (search) {
      QTest::keySequence(keys, standard(QKeySequence::Find));
      for (QPushButton* button : window->findChild<QTabWidget*>("DialogTabs")->window()->findChildren<QPushButton*>())
        if (button->text() == "Закрыть" && button->isVisible()) QTest::mouseClick(button, Qt::LeftButton);
    } else {
      const auto error = answerNextDialog("ОК", "Ошибка");
      window->openFile(broken);
      EXPECT_TRUE(error->shown);
    }
    // As an X server with no window manager leaves it: no window active until the program asks.
    QApplication::setActiveWindow(nullptr);
    window->currentDocument->markModified();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keySequence(keys, standard(QKeySequence::Save));
    EXPECT_FALSE(window->currentDocument->isModified());
  }
}
