// "Специальные символы": a clicked character lands at the caret of the block
// being edited, each tab's buttons are made once, and the "Все" list keeps
// the fixed lists first, each character once, nothing invisible.
#include "EditorWindowFixture.h"
#include "SymbolCharacterLists.h"

#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>

using namespace apptest;

namespace {

QPushButton* symbolButton(QWidget* page, const QString& symbol) {
  for (QPushButton* b : page->findChildren<QPushButton*>(QStringLiteral("SymbolButton")))
    if (b->text() == symbol) return b;
  return nullptr;
}

}  // namespace

TEST_F(EditorWindowTest, SpecialCharacterGoesToTheCaretOfTheOpenBlock) {
  QTextEdit* editor = openEditor();
  ASSERT_NE(editor, nullptr);
  QTextCursor caret(editor->document());
  caret.setPosition(5);  // after "Alpha"
  editor->setTextCursor(caret);

  QDialog* dialog = dialogOpenedBy(window.get(), [this] { window->showSpecialCharactersDialog(); });
  ASSERT_NE(dialog, nullptr);
  auto* tabs = dialog->findChild<QTabWidget*>(QStringLiteral("SymbolTabs"));
  ASSERT_EQ(tabs->count(), 5);
  // Only the tab on view has its buttons.
  EXPECT_NE(qobject_cast<QScrollArea*>(tabs->widget(0))->widget(), nullptr);
  for (int i = 1; i < 5; ++i) EXPECT_EQ(qobject_cast<QScrollArea*>(tabs->widget(i))->widget(), nullptr);

  tabs->setCurrentIndex(1);
  QWidget* popular = qobject_cast<QScrollArea*>(tabs->widget(1))->widget();
  ASSERT_NE(popular, nullptr);
  EXPECT_EQ(popular->findChildren<QPushButton*>(QStringLiteral("SymbolButton")).size(), 24);
  QTest::mouseClick(symbolButton(popular, QStringLiteral("№")), Qt::LeftButton);
  EXPECT_EQ(editor->toPlainText(), QStringLiteral("Alpha№ beta gamma"));
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Вставлен символ: №"));
  EXPECT_TRUE(dialog->isVisible());  // open for the next character

  // Visiting tabs again reuses their buttons.
  tabs->setCurrentIndex(0);
  QWidget* all = qobject_cast<QScrollArea*>(tabs->widget(0))->widget();
  tabs->setCurrentIndex(1);
  tabs->setCurrentIndex(0);
  EXPECT_EQ(qobject_cast<QScrollArea*>(tabs->widget(0))->widget(), all);
  EXPECT_EQ(qobject_cast<QScrollArea*>(tabs->widget(1))->widget(), popular);

  // With no block open for editing the click says so and inserts nothing.
  window->view->setEditMode(false);
  tabs->setCurrentIndex(3);
  QWidget* currency = qobject_cast<QScrollArea*>(tabs->widget(3))->widget();
  EXPECT_EQ(currency->findChildren<QPushButton*>(QStringLiteral("SymbolButton")).size(), 16);
  QTest::mouseClick(symbolButton(currency, QStringLiteral("₽")), Qt::LeftButton);
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Откройте текстовый блок для вставки символа"));
}

TEST(SpecialCharacterLists, AllListStartsWithTheFixedListsAndHoldsEachCharacterOnce) {
  const QFontMetrics metrics(QFont(QStringLiteral("DejaVu Sans")));
  const QStringList all = allSymbols(metrics);
  ASSERT_GT(all.size(), 500);
  EXPECT_EQ(all.mid(0, 4), (QStringList{"№", "§", "¶", "©"}));
  EXPECT_EQ(QSet<QString>(all.begin(), all.end()).size(), all.size());
  for (char32_t absent : {U'\u25A1', U'\u2000', U'\u200A', U'\u2028', U'\u2029', U'\u202F', U'\u205F', U'\u2065'})
    EXPECT_FALSE(all.contains(QString::fromUcs4(&absent, 1))) << int(absent);
  int fixed = 0;
  for (const auto& tab : fixedSymbolTabs()) fixed += int(tab.second.size());
  EXPECT_EQ(fixed, 88);
}
