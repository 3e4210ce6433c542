#include "EditedTextPreview.h"

#include "BlockTextRenderer.h"
#include "EditedTextDocument.h"
#include "PdfFontMapping.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Distance between the tops of consecutive stored lines, the upper median of
// the plausible ones; text typed beyond the stored lines continues at it.
double storedLinePitch(const TextBlock& block) {
  std::vector<double> gaps;
  for (std::size_t i = 1; i < block.lines.size(); ++i) {
    const QRectF& a = block.lines[i - 1].rect;
    const QRectF& b = block.lines[i].rect;
    const double gap = std::abs((a.y() + a.height()) - (b.y() + b.height()));
    if (gap > 2.0 && gap < 80.0) gaps.push_back(gap);
  }
  if (gaps.empty()) return std::max(1.25 * block.lines.back().rect.height(), 6.0);
  std::sort(gaps.begin(), gaps.end());
  return gaps[gaps.size() / 2];
}

QFont previewLineFont(const TextBlock& block, int index, const TextBlock::Line& line, double zoom,
                      const QString& text, BlockTextRenderer* fonts, int blockIndex) {
  if (fonts && blockIndex >= 0 && index < static_cast<int>(block.lines.size()))
    return fonts->lineFont(blockIndex, index, block, zoom, text, true, 1.0);
  return lineRenderFont(line, block, zoom, text, true, 1.0);
}

// One text in one style, sized from the block's typical line height.
void drawSingleStylePreview(QPainter& painter, const TextBlock& block, const QRectF& rect, double zoom) {
  const QString family = block.fontFamily.isEmpty() ? QStringLiteral("Times New Roman") : mapPdfFont(block.fontFamily);
  QFont font(family);
  font.setWeight(block.bold ? QFont::Bold : QFont::Normal);
  font.setItalic(block.italic && fontNameLooksItalic(block.fontFamily));
  const double target = zoom * medianOcrLineHeightPt(block);
  QString sample;
  for (const QString& piece : block.text.split(QLatin1Char('\n'))) {
    if (piece.trimmed().size() > 3) {
      sample = piece.left(80);
      break;
    }
  }
  if (sample.isEmpty()) sample = kFallbackSampleText;
  font.setPixelSize(fittedFontPixelSize(font, sample, target, 8, 120));
  painter.setFont(font);
  painter.setPen(block.color.isValid() ? block.color : QColor(Qt::black));
  painter.drawText(QRectF(rect.x() + 1, rect.y(), rect.width() - 2, rect.height() - 1),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, block.text);
}

}  // namespace

void drawRichPreview(QPainter& painter, const TextBlock& block, const QRectF& rect, double zoom) {
  QTextDocument document;
  document.setDocumentMargin(0);
  document.setUndoRedoEnabled(false);
  document.setHtml(block.richTextHtml);
  scaleDocumentFontPixels(&document, zoom);
  document.setTextWidth(rect.width());
  document.setPageSize(rect.size());
  painter.save();
  painter.translate(rect.topLeft());
  document.drawContents(&painter, QRectF(0, 0, rect.width(), rect.height()));
  painter.restore();
}

TextBlock::Line visualLineForIndex(const TextBlock& block, int index) {
  const int count = static_cast<int>(block.lines.size());
  if (index >= 0 && index < count) return block.lines[static_cast<std::size_t>(index)];
  if (count == 0) {
    TextBlock::Line line;
    line.fontSize = 10.0f;
    line.color = Qt::black;
    line.rect = block.rect;
    return line;
  }
  const TextBlock::Line& last = block.lines.back();
  const double pitch = storedLinePitch(block);
  const double lastTop = last.rect.y() + last.rect.height();
  const double h = std::max(last.rect.height(), 2.0);
  TextBlock::Line line = last;
  line.text.clear();
  line.words.clear();
  line.rect = QRectF(block.rect.x(), lastTop - (index - count + 1) * pitch - h, block.rect.width(), h);
  return line;
}

QStringList displayLinesForEditor(const TextBlock& block) {
  const QStringList split = block.text.split(QLatin1Char('\n'));
  if (split.size() == static_cast<qsizetype>(block.lines.size())) return split;
  if (block.text.contains(QLatin1Char('\n')) || block.lines.empty()) return split;
  QStringList texts;
  for (const TextBlock::Line& line : block.lines) texts.append(line.text);
  return texts;
}

QPointF lineScreenOrigin(const TextBlock& block, const TextBlock::Line& line, const QRectF& rect, double zoom) {
  const double blockTop = block.rect.y() + block.rect.height();
  const double lineTop = line.rect.y() + line.rect.height();
  return QPointF((line.rect.x() - block.rect.x()) * zoom + rect.x(), (blockTop - lineTop) * zoom + rect.y());
}

void drawEditedTextPreview(QPainter& painter, const TextBlock& block, const QRectF& rect, double zoom,
                           BlockTextRenderer* fonts, int blockIndex) {
  if (blockHasRichTextPreview(block)) {
    drawRichPreview(painter, block, rect, zoom);
    return;
  }
  if (block.lines.empty()) {
    drawSingleStylePreview(painter, block, rect, zoom);
    return;
  }
  const QStringList display = displayLinesForEditor(block);
  const int n = std::max(static_cast<int>(block.lines.size()), static_cast<int>(display.size()));
  for (int i = 0; i < n; ++i) {
    const TextBlock::Line line = visualLineForIndex(block, i);
    const QString text = i < display.size() ? display.at(i) : line.text;
    if (text.isEmpty()) continue;
    const QFont font = previewLineFont(block, i, line, zoom, text, fonts, blockIndex);
    painter.setPen(lineTextColor(line, block));
    painter.setFont(font);
    QPointF at = lineScreenOrigin(block, line, rect, zoom);
    // The ink, not the font's ascent, starts at the line box's corner.
    const QRectF ink = QFontMetricsF(font).tightBoundingRect(text);
    if (ink.width() > 0 && ink.height() > 0) at -= ink.topLeft();
    painter.drawText(at, text);
  }
}

void drawPreviewEditorCaret(QPainter& painter, QTextEdit* editor, const TextBlock& block, const QRectF& rect,
                            double zoom) {
  if (!editor || !editor->hasFocus() || editor->textCursor().hasSelection() || block.lines.empty()) return;
  const QString plain = editor->toPlainText();
  const int pos = std::clamp(editor->textCursor().position(), 0, static_cast<int>(plain.size()));
  const QString before = plain.left(pos);
  const int lineIndex = static_cast<int>(before.count(QLatin1Char('\n')));
  const int lineStart = static_cast<int>(before.lastIndexOf(QLatin1Char('\n'))) + 1;
  const QStringList pieces = plain.split(QLatin1Char('\n'));
  if (lineIndex >= std::max(static_cast<int>(block.lines.size()), static_cast<int>(pieces.size()))) return;

  const TextBlock::Line line = visualLineForIndex(block, lineIndex);
  const QString text = lineIndex < pieces.size() ? pieces.at(lineIndex) : line.text;
  const int column = std::clamp(pos - lineStart, 0, static_cast<int>(text.size()));
  const QPointF origin = lineScreenOrigin(block, line, rect, zoom);
  const double height = std::max(line.rect.height() * zoom, 2.0);
  const QFont font = lineRenderFont(line, block, zoom, text, true, 1.0);
  const QFontMetricsF metrics(font);
  const double x0 = origin.x() - metrics.tightBoundingRect(text.isEmpty() ? QStringLiteral("M") : text).left();

  double x = x0;
  QTextLayout layout(text, font);
  QTextOption option;
  option.setWrapMode(QTextOption::NoWrap);
  layout.setTextOption(option);
  layout.beginLayout();
  QTextLine laid = layout.createLine();
  if (laid.isValid()) laid.setLineWidth(100000);
  layout.endLayout();
  if (laid.isValid())
    x += laid.cursorToX(column);
  else
    x += metrics.horizontalAdvance(text.left(column));

  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(QColor(15, 23, 42), std::max(zoom * 0.45, 1.0), Qt::SolidLine));
  painter.drawLine(QPointF(x, origin.y() - 1), QPointF(x, origin.y() + height + 1));
  painter.restore();
}

void drawActiveTextBlockChrome(QPainter& painter, const QRectF& rect, double rotation) {
  if (!(rect.width() > 1.0) || !(rect.height() > 1.0)) return;
  const QColor blue(30, 114, 228);
  painter.save();
  applyBlockRotation(painter, rect, rotation);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(blue, 1.0, Qt::DashLine));
  painter.drawRect(QRectF(rect.x(), rect.y(), rect.width() - 1, rect.height() - 1));

  painter.setPen(QPen(blue, 1.0, Qt::SolidLine));
  painter.setBrush(Qt::white);
  const double cx = rect.center().x();
  const double cy = rect.center().y();
  const QPointF centres[] = {{rect.left(), rect.top()},    {cx, rect.top()},    {rect.right(), rect.top()},
                             {rect.left(), cy},            {rect.right(), cy},  {rect.left(), rect.bottom()},
                             {cx, rect.bottom()},          {rect.right(), rect.bottom()}};
  for (const QPointF& c : centres) painter.drawRect(QRectF(c.x() - 4, c.y() - 4, 7, 7));

  QColor stem = blue;
  stem.setAlpha(160);
  painter.setPen(QPen(stem, 1.0, Qt::SolidLine));
  painter.drawLine(QPointF(cx, rect.y() - 12), QPointF(cx, rect.y()));
  painter.setBrush(Qt::white);
  painter.drawEllipse(QPointF(cx, rect.y() - 18), 6.0, 6.0);
  painter.restore();
}
