#include "BlockEditorDocument.h"

#include <QPalette>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>
#include <memory>

QSizeF editorDocumentSizeForWidth(QTextEdit* editor, int width) {
  if (!editor) return QSizeF();
  std::unique_ptr<QTextDocument> clone(editor->document()->clone());
  clone->setUndoRedoEnabled(false);
  clone->setDocumentMargin(editor->document()->documentMargin());
  QTextOption option = clone->defaultTextOption();
  option.setWrapMode(editor->lineWrapMode() == QTextEdit::NoWrap ? QTextOption::NoWrap
                                                                 : QTextOption::WrapAtWordBoundaryOrAnywhere);
  clone->setDefaultTextOption(option);
  clone->setTextWidth(std::max(width, 1));
  // The used width, not the laid-out one: that is the given width itself,
  // and a fit that grew to it would grow again on every change.
  return QSizeF(clone->idealWidth(), clone->size().height());
}

QStringList splitWordsPreserveSimple(const QString& text) {
  static const QRegularExpression blanks(QStringLiteral("\\s+"));
  return text.split(blanks, Qt::SkipEmptyParts);
}

void normalizeEditorTextLayout(QTextEdit* editor) {
  if (!editor) return;
  editor->setContentsMargins(0, 0, 0, 0);
  QTextDocument* document = editor->document();
  document->setDocumentMargin(0);
  QTextOption option = document->defaultTextOption();
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  document->setDefaultTextOption(option);
  QTextCursor cursor(document);
  cursor.beginEditBlock();
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    QTextBlockFormat format = block.blockFormat();
    format.setTopMargin(0);
    format.setBottomMargin(0);
    format.setLineHeight(100, QTextBlockFormat::ProportionalHeight);
    QTextCursor(block).setBlockFormat(format);
  }
  cursor.endEditBlock();
  editor->verticalScrollBar()->setValue(0);
}

void wrapEditorAsWritten(QTextEdit* editor, bool wraps) {
  if (!editor) return;
  editor->setLineWrapMode(wraps ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
  QTextOption option = editor->document()->defaultTextOption();
  option.setWrapMode(wraps ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
  editor->document()->setDefaultTextOption(option);
}

void setEditorRotatedPresentation(QTextEdit* editor) {
  if (!editor) return;
  for (QWidget* widget : {static_cast<QWidget*>(editor), editor->viewport()}) {
    QPalette palette = widget->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
      palette.setBrush(group, QPalette::Base, Qt::transparent);
      palette.setBrush(group, QPalette::Window, Qt::transparent);
    }
    widget->setPalette(palette);
    widget->setAutoFillBackground(false);
    widget->setAttribute(Qt::WA_NoSystemBackground, true);
    widget->setAttribute(Qt::WA_TranslucentBackground, true);
    widget->setAttribute(Qt::WA_TransparentForMouseEvents, false);
  }
  editor->setFrameShape(QFrame::NoFrame);
  editor->viewport()->setVisible(true);
}

void insertTextWithPlaceholderUnderlines(QTextCursor& cursor, const QString& text, const QTextCharFormat& format) {
  if (!text.contains(QStringLiteral("__"))) {
    cursor.insertText(text, format);
    return;
  }
  QTextCharFormat underlined = format;
  underlined.setFontUnderline(true);
  qsizetype i = 0;
  while (i < text.size()) {
    qsizetype j = i;
    if (text.at(i) == QLatin1Char('_')) {
      while (j < text.size() && text.at(j) == QLatin1Char('_')) ++j;
      if (j - i >= 2)
        cursor.insertText(QString(j - i, QChar(0x00A0)), underlined);
      else
        cursor.insertText(text.mid(i, j - i), format);
    } else {
      while (j < text.size() && text.at(j) != QLatin1Char('_')) ++j;
      cursor.insertText(text.mid(i, j - i), format);
    }
    i = j;
  }
}
