#include "EditedLineFit.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kIndent = 3.0;       // points that count as an indent
constexpr double kFlush = 1.5;        // points within which two edges line up
constexpr double kNarrowest = 0.25;   // glyphs are never narrowed further: past it a line is refused
}  // namespace

QRectF pageTextColumn(const std::vector<TextBlock>& blocks) {
  QRectF column;
  for (const TextBlock& block : blocks) {
    if (block.isImage || block.lines.empty() || richTextWraps(block)) continue;
    const QRectF& was = block.originalRect;
    column = column.united(was.width() > 0 && was.height() > 0 ? was : block.rect);
  }
  return column;
}

namespace {

// A single line's alignment from where it stands in the page's text column:
// flush with the edge its text does not start from and far from the other,
// it keeps that edge.
Qt::Alignment alignmentInColumn(const QRectF& r, const QRectF& column, bool rightToLeft) {
  const Qt::Alignment start = rightToLeft ? Qt::AlignRight : Qt::AlignLeft;
  const double w = column.width();
  if (!(w > 0) || !(r.width() > 0)) return start;
  const double gapLeft = r.left() - column.left();
  const double gapRight = column.right() - r.right();
  if (gapLeft > 0.1 * w && gapRight > 0.1 * w && std::abs(gapLeft - gapRight) < std::max(kIndent, 0.02 * w))
    return Qt::AlignHCenter;
  if (!rightToLeft && gapRight < kFlush && gapLeft > 0.25 * w) return Qt::AlignRight;
  if (rightToLeft && gapLeft < kFlush && gapRight > 0.25 * w) return Qt::AlignLeft;
  return start;
}

}  // namespace

bool lineRunsRightToLeft(const TextBlock& block, int lineIndex) {
  const bool stored = lineIndex >= 0 && lineIndex < int(block.lines.size());
  return (stored ? block.lines[size_t(lineIndex)].text : block.text).isRightToLeft();
}

Qt::Alignment editedLineAlignment(const TextBlock& block, int lineIndex, const QRectF& column) {
  if (lineIndex < 0 || lineIndex >= int(block.lines.size())) return Qt::AlignLeft;
  const bool rightToLeft = lineRunsRightToLeft(block, lineIndex);
  if (block.lines.size() < 2) return alignmentInColumn(block.lines.front().rect, column, rightToLeft);
  double left = block.lines.front().rect.left(), right = block.lines.front().rect.right();
  for (const auto& line : block.lines) {
    left = std::min(left, line.rect.left());
    right = std::max(right, line.rect.right());
  }
  const QRectF& r = block.lines[size_t(lineIndex)].rect;
  const double indentLeft = r.left() - left;
  const double indentRight = right - r.right();
  if (indentLeft > kIndent && indentRight > kIndent && std::abs(indentLeft - indentRight) < 2 * kFlush)
    return Qt::AlignHCenter;
  if (!rightToLeft && indentLeft > kIndent && indentRight < kFlush) return Qt::AlignRight;
  if (rightToLeft && indentRight > kIndent && indentLeft < kFlush) return Qt::AlignLeft;
  return rightToLeft ? Qt::AlignRight : Qt::AlignLeft;
}

EditedLineFit fitEditedLine(const TextBlock& block, int lineIndex, double boxLeft, double boxWidth,
                            double naturalWidth, const QRectF& column, double unitsPerPoint) {
  EditedLineFit fit{boxLeft, 1.0};
  if (!(naturalWidth > 0) || !(boxWidth > 0)) return fit;
  const Qt::Alignment align = editedLineAlignment(block, lineIndex, column);
  // A longer line grows into the free room on its aligned side, and is
  // narrowed only into that, never widened: a glyph drawn wider than its
  // face is not the page's.
  double room = boxWidth;
  if (lineIndex >= 0 && lineIndex < int(block.lines.size())) {
    const TextBlock::Line& line = block.lines[size_t(lineIndex)];
    const double before = std::max(0.0, double(line.freeLeft)) * unitsPerPoint;
    const double after = std::max(0.0, double(line.freeRight)) * unitsPerPoint;
    room += align == Qt::AlignRight ? before : align == Qt::AlignHCenter ? 2 * std::min(before, after) : after;
  }
  if (naturalWidth > room) fit.scale = std::max(room / naturalWidth, kNarrowest);
  const double drawn = naturalWidth * fit.scale;
  if (align == Qt::AlignRight)
    fit.x = boxLeft + boxWidth - drawn;
  else if (align == Qt::AlignHCenter)
    fit.x = boxLeft + (boxWidth - drawn) / 2;
  return fit;
}

bool richTextWraps(const TextBlock& block) {
  if (block.lines.empty()) return true;
  const TextBlock::Line& first = block.lines.front();
  return block.lines.size() == 1 && first.spans.empty() && first.words.empty();
}

double richTextWidth(const TextBlock& block) {
  const QRectF& was = block.originalRect;
  if (richTextWraps(block) || !(was.width() > 0) || !(was.height() > 0)) return block.rect.width();
  // Grown with its text but not moved: the line box it came from still holds.
  // (y grows upwards: the top edge is y + height.)
  if (std::lround(block.rect.x()) != std::lround(was.x()) ||
      std::lround(block.rect.bottom()) != std::lround(was.bottom()))
    return block.rect.width();
  return std::min(block.rect.width(), was.width());
}

double wrappedRichTextWidth(double width) { return width * 1.02 + 0.5; }

QRectF writtenLineBox(const TextBlock&, const TextBlock::Line& line) {
  if (line.words.empty()) return line.rect;
  double left = line.words.front().rect.left(), right = line.words.front().rect.right();
  for (const auto& word : line.words) {
    left = std::min(left, word.rect.left());
    right = std::max(right, word.rect.right());
  }
  if (!(right > left) || left < line.rect.left() - 1.0 || right > line.rect.right() + 1.0) return line.rect;
  // Words travel with their line when a block moves, so their extent is
  // already where the line is written.
  return QRectF(left, line.rect.y(), right - left, line.rect.height());
}

std::optional<QRectF> keptLineBox(const TextBlock& block) {
  const QRectF& was = block.originalRect;
  if (richTextWraps(block) || block.lines.size() != 1 || !(was.width() > 0) || !(was.height() > 0)) return std::nullopt;
  if (std::lround(block.rect.x()) != std::lround(was.x()) || std::lround(block.rect.bottom()) != std::lround(was.bottom()))
    return std::nullopt;
  const QRectF box = writtenLineBox(block, block.lines.front());
  if (!(box.width() > 0) || !(box.height() > 0)) return std::nullopt;
  return box;
}

std::optional<double> lineBaseline(const TextBlock::Line& line) {
  std::vector<double> heights;
  for (const auto& word : line.words)
    if (word.rect.height() > 0) heights.push_back(word.rect.height());
  if (heights.empty()) return std::nullopt;
  std::sort(heights.begin(), heights.end());
  const double typical = heights[heights.size() / 2];
  // Words without descenders sit on the baseline; the highest lower edge
  // among full-height words is theirs (punctuation alone is left out).
  std::optional<double> baseline;
  for (const auto& word : line.words)
    if (word.rect.height() >= 0.6 * typical && (!baseline || word.rect.y() > *baseline)) baseline = word.rect.y();
  return baseline;
}

QStringList displayLines(const TextBlock& block) {
  const QStringList parts = block.text.split(QLatin1Char('\n'));
  if (parts.size() == qsizetype(block.lines.size()) || block.text.contains(QLatin1Char('\n'))) return parts;
  if (block.lines.empty()) return parts;
  QStringList texts;
  for (const auto& line : block.lines) texts << line.text;
  return texts;
}
