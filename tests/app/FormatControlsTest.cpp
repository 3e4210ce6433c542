// The Home tab's font and paragraph controls change the selection of the
// block being edited, and follow the format at the caret without applying it.
#include "EditorWindowFixture.h"

#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QSpinBox>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>

#include <functional>

using namespace apptest;

namespace {

// Answers the next colour dialog with the colour, or cancels it.
void answerColourDialog(const QColor& colour) {
  whenModalOpens<QColorDialog>([colour](QColorDialog* dialog) {
    if (colour.isValid()) {
      dialog->setCurrentColor(colour);
      dialog->accept();
    } else {
      dialog->reject();
    }
  });
}

}  // namespace

TEST_F(EditorWindowTest, HomeTabControlsChangeTheSelectionOfTheActiveEditor) {
  QTextEdit* editor = openEditor();
  ASSERT_NE(editor, nullptr);
  EXPECT_TRUE(window->boldButton->isEnabled());
  struct Case {
    const char* name;
    std::function<void()> use;
    std::function<bool(const QTextCharFormat&, const QTextBlockFormat&)> holds;
  };
  const std::vector<Case> cases = {
      {"family", [&] { window->fontFamilyCombo->setCurrentText(QStringLiteral("DejaVu Sans")); },
       [](const QTextCharFormat& f, const QTextBlockFormat&) { return f.font().family() == "DejaVu Sans"; }},
      {"size", [&] { window->fontSizeSpin->setValue(20); },
       [](const QTextCharFormat& f, const QTextBlockFormat&) { return f.font().pixelSize() == 20; }},
      {"grow", [&] { window->growFontButton->click(); },
       [](const QTextCharFormat& f, const QTextBlockFormat&) { return f.font().pixelSize() == 21; }},
      {"bold", [&] { window->boldButton->click(); },
       [](const QTextCharFormat& f, const QTextBlockFormat&) { return f.fontWeight() == QFont::Bold; }},
      {"italic", [&] { window->italicButton->click(); },
       [](const QTextCharFormat& f, const QTextBlockFormat&) { return f.fontItalic(); }},
      {"colour",
       [&] {
         answerColourDialog(QColor(200, 0, 0));
         window->textColorButton->click();
       },
       [](const QTextCharFormat& f, const QTextBlockFormat&) { return f.foreground().color() == QColor(200, 0, 0); }},
      {"cancelled colour keeps it",
       [&] {
         answerColourDialog(QColor());
         window->textColorButton->click();
       },
       [](const QTextCharFormat& f, const QTextBlockFormat&) { return f.foreground().color() == QColor(200, 0, 0); }},
      {"centre", [&] { window->alignCenterButton->click(); },
       [](const QTextCharFormat&, const QTextBlockFormat& b) { return b.alignment() == Qt::AlignHCenter; }},
      {"right", [&] { window->alignRightButton->click(); },
       [](const QTextCharFormat&, const QTextBlockFormat& b) { return b.alignment() == Qt::AlignRight; }},
      {"subscript then superscript",
       [&] {
         window->subscriptButton->click();
         window->superscriptButton->click();
       },
       [&](const QTextCharFormat& f, const QTextBlockFormat&) {
         return f.verticalAlignment() == QTextCharFormat::AlignSuperScript && !window->subscriptButton->isChecked();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.use();
    QTest::qWait(1);
    QTextCursor cursor = editor->textCursor();
    ASSERT_TRUE(cursor.hasSelection());
    QTextCursor inside(editor->document());
    inside.setPosition(cursor.selectionStart() + 2);
    EXPECT_TRUE(c.holds(inside.charFormat(), inside.blockFormat()));
  }
}

TEST_F(EditorWindowTest, ControlsFollowTheCaretWithoutApplyingTheFormat) {
  QTextEdit* editor = openEditor();
  ASSERT_NE(editor, nullptr);
  // Style the first word directly in the editor, as a paste of rich text would.
  QTextCursor word(editor->document());
  word.setPosition(0);
  word.setPosition(5, QTextCursor::KeepAnchor);
  QTextCharFormat styled;
  QFont font(QStringLiteral("Zzz Unlisted Family"));
  font.setPixelSize(30);
  styled.setFont(font, QTextCharFormat::FontPropertiesAll);
  styled.setFontWeight(QFont::Bold);
  styled.setFontUnderline(true);
  word.mergeCharFormat(styled);
  QTextBlockFormat right;
  right.setAlignment(Qt::AlignRight);
  word.mergeBlockFormat(right);
  const bool couldUndo = window->view->canUndo();
  const int families = window->fontFamilyCombo->count();

  QTextCursor caret(editor->document());
  caret.setPosition(2);
  editor->setTextCursor(caret);
  QTest::qWait(1);
  EXPECT_EQ(window->fontFamilyCombo->currentText(), "Zzz Unlisted Family");
  EXPECT_EQ(window->fontFamilyCombo->count(), families + 1);
  EXPECT_EQ(window->fontSizeSpin->value(), 30);
  EXPECT_TRUE(window->boldButton->isChecked());
  EXPECT_TRUE(window->underlineButton->isChecked());
  EXPECT_FALSE(window->italicButton->isChecked());
  EXPECT_TRUE(window->alignRightButton->isChecked());
  EXPECT_FALSE(window->alignLeftButton->isChecked());
  // Showing the format changed nothing in the editor.
  EXPECT_EQ(window->view->canUndo(), couldUndo);
  QTextCursor later(editor->document());
  later.setPosition(8);
  EXPECT_NE(later.charFormat().fontWeight(), QFont::Bold);
}

TEST_F(EditorWindowTest, FormatReportsAreClampedAndBlankFamiliesKeepTheCombo) {
  struct Case {
    QString family;
    int size;
    Qt::Alignment alignment;
    QString shownFamily;
    int shownSize;
    bool leftChecked;
  };
  const std::vector<Case> cases = {
      {"DejaVu Sans", 200, Qt::AlignLeft, "DejaVu Sans", 160, true},
      {"   ", 3, Qt::AlignLeft | Qt::AlignTop, "DejaVu Sans", 6, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    window->onActiveTextFormatChanged(c.family, c.size, false, false, false, false, false, false, c.alignment);
    EXPECT_EQ(window->fontFamilyCombo->currentText(), c.shownFamily);
    EXPECT_EQ(window->fontSizeSpin->value(), c.shownSize);
    EXPECT_EQ(window->alignLeftButton->isChecked(), c.leftChecked);
    EXPECT_TRUE(window->boldButton->isEnabled());
  }
  window->fontSizeSpin->setValue(160);
  window->growFontButton->click();
  EXPECT_EQ(window->fontSizeSpin->value(), 160);
}

// Each Ctrl+Z takes back one step the page shows, also while the size field
// the last change was typed in keeps the focus.
TEST_F(EditorWindowTest, EachUndoAfterAFormatTakesBackOneVisibleStep) {
  QTextEdit* editor = openEditor();
  ASSERT_NE(editor, nullptr);
  QApplication::setActiveWindow(window.get());
  QTest::keyClicks(editor, QStringLiteral("Delta"));
  QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
  QTest::mouseClick(window->fontSizeSpin, Qt::LeftButton);
  QTest::keyClick(window->fontSizeSpin, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(window->fontSizeSpin, QStringLiteral("30"));
  QTest::keyClick(window->fontSizeSpin, Qt::Key_Return);
  for (const char* text : {"Delta", "Alpha beta gamma"}) {
    const QImage before = window->view->viewport()->grab().toImage();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z, Qt::ControlModifier);
    QTest::qWait(20);
    EXPECT_NE(window->view->viewport()->grab().toImage(), before) << text;
    EXPECT_EQ(window->view->ocrBlocksWithEdits().at(0).text, QString::fromUtf8(text));
  }
}
