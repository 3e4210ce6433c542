// Replacing found text in the blocks of the page being edited, all of it one
// undo step. Rich text keeps the style of each replaced word's first letter.
#include "PdfView.h"

#include "core/TextEditRefusal.h"

#include <QRegularExpression>
#include <QTextCursor>
#include <QTextDocument>

#include <limits>

namespace {

// Replaces up to `limit` matches of `expression` in `text`; empty matches
// replace nothing.
QString replacedText(const QString& text, const QRegularExpression& expression, const QString& replacement, int limit,
                     int* count) {
  QString result;
  qsizetype from = 0;
  for (auto it = expression.globalMatch(text); it.hasNext() && *count < limit;) {
    const QRegularExpressionMatch match = it.next();
    if (match.capturedLength() == 0) continue;
    result += text.mid(from, match.capturedStart() - from) + replacement;
    from = match.capturedEnd();
    ++*count;
  }
  return result + text.mid(from);
}

int replacedInRichText(QTextDocument& document, const QRegularExpression& expression, const QString& replacement,
                       int limit) {
  int count = 0;
  for (QTextCursor found = document.find(expression, 0); !found.isNull() && count < limit;
       found = document.find(expression, found.position())) {
    if (!found.hasSelection()) {
      if (found.atEnd()) break;
      found.movePosition(QTextCursor::NextCharacter);
      continue;
    }
    found.insertText(replacement);
    ++count;
  }
  return count;
}

}  // namespace

int PdfView::replaceTextInBlocks(const QRegularExpression& expression, const QString& replacement, bool all) {
  if (!editMode || ocrBlocksPage < 0 || !expression.isValid() || expression.pattern().isEmpty()) return 0;
  // The open editor's text is the block's text from here on.
  deactivateOcrBlock();
  const int limit = all ? std::numeric_limits<int>::max() : 1;
  std::vector<TextBlock> changed = ocrBlocks;
  int count = 0;
  for (TextBlock& block : changed) {
    // Text the page draws in a way a typed line cannot take stays as it is.
    if (block.isImage || count >= limit || !textEditRefusal(block).isEmpty()) continue;
    if (!block.richTextHtml.trimmed().isEmpty()) {
      QTextDocument document;
      document.setHtml(block.richTextHtml);
      const int replaced = replacedInRichText(document, expression, replacement, limit - count);
      if (replaced == 0) continue;
      count += replaced;
      block.richTextHtml = document.toHtml();
      block.text = document.toPlainText();
      continue;
    }
    const int before = count;
    block.text = replacedText(block.text, expression, replacement, limit, &count);
    // Written anew in its lines' style, as a typed change is.
    if (count > before) block.textEdited = true;
  }
  if (count == 0) return 0;
  pushUndoSnapshot(QStringLiteral("Редактирование текста"), false);
  ocrBlocks = std::move(changed);
  markOcrBlocksDirty();
  viewport()->update();
  return count;
}
