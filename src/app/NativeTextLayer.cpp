#include "NativeTextLayer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

bool nonEmpty(const QRectF& r) { return r.width() > 0 && r.height() > 0; }

bool isPaddingChar(QChar c) {
  return c.isSpace() || c == QLatin1Char('-') || c == QLatin1Char('_') || c == QChar(0x2013) ||
         c == QChar(0x2014);
}

double centreY(const QRectF& r) { return r.y() + r.height() / 2; }

double lineTolerance(double heightA, double heightB) { return std::max(0.9 * std::max(heightA, heightB), 2.0); }

double horizontalGap(const QRectF& a, const QRectF& b) {
  if (b.x() > a.x() + a.width()) return b.x() - (a.x() + a.width());
  if (a.x() > b.x() + b.width()) return a.x() - (b.x() + b.width());
  return 0.0;
}

// The nearest real text block on the separator's line, or -1.
int separatorNeighbour(const std::vector<TextBlock>& blocks, size_t separator) {
  const QRectF& a = blocks[separator].rect;
  int best = -1;
  double bestScore = std::numeric_limits<double>::infinity();
  for (size_t j = 0; j < blocks.size(); ++j) {
    const TextBlock& b = blocks[j];
    // Boxes of turned blocks are their own unturned frames, which do not
    // add up with another block's: a turned leader is only dropped.
    if (j == separator || b.isImage || b.text.trimmed().isEmpty() || isDecorativeNativeSeparator(b) ||
        !nonEmpty(b.rect) || std::abs(b.rotation) >= 0.1 || std::abs(blocks[separator].rotation) >= 0.1)
      continue;
    const double dy = std::abs(centreY(b.rect) - centreY(a));
    if (dy > lineTolerance(a.height(), b.rect.height())) continue;
    const double score = dy + 0.02 * horizontalGap(a, b.rect);
    if (score < bestScore) {
      bestScore = score;
      best = int(j);
    }
  }
  return best;
}

void foldSeparatorInto(TextBlock& target, const QRectF& separator) {
  target.rect = target.rect.united(separator);
  target.originalRect = nonEmpty(target.originalRect) ? target.originalRect.united(separator) : target.rect;
  TextBlock::Line* nearest = nullptr;
  double nearestDy = std::numeric_limits<double>::infinity();
  for (TextBlock::Line& line : target.lines) {
    if (!nonEmpty(line.rect)) continue;
    const double dy = std::abs(centreY(line.rect) - centreY(separator));
    if (dy <= lineTolerance(separator.height(), line.rect.height()) && dy < nearestDy) {
      nearestDy = dy;
      nearest = &line;
    }
  }
  if (nearest) nearest->rect = nearest->rect.united(separator).normalized();
}

void cleanKeptBlock(TextBlock& block) {
  block.isTable = false;
  block.isImage = false;
  if (const QString s = stripNativeDecorativePadding(block.text); !s.isEmpty()) block.text = s;
  if (!block.lines.empty()) {
    QRectF united;
    bool any = false;
    for (TextBlock::Line& line : block.lines) {
      if (const QString s = stripNativeDecorativePadding(line.text); !s.isEmpty()) line.text = s;
      const double size = line.fontSize > 0 ? line.fontSize : block.fontSize;
      line.rect = expandedNativeTextRect(line.rect, size);
      if (nonEmpty(line.rect)) {
        united = any ? united.united(line.rect) : line.rect;
        any = true;
      }
    }
    if (any) block.rect = united;
  } else {
    block.rect = expandedNativeTextRect(block.rect, block.fontSize);
  }
  block.originalRect =
      nonEmpty(block.originalRect) ? expandedNativeTextRect(block.originalRect, block.fontSize) : block.rect;
}

bool isInkSpecialChar(QChar c) {
  static const QString special = QStringLiteral("^\u00B0<>/\\\"'`~");
  return special.contains(c);
}

bool inkImageCovers(const QRectF& rect, const std::vector<TextBlock>& imageBlocks) {
  const double area = std::max(rect.width() * rect.height(), 1.0);
  for (const TextBlock& image : imageBlocks) {
    if (!image.isImage || !image.inkLayer || !nonEmpty(image.originalRect)) continue;
    const QRectF widened = image.originalRect.adjusted(-2, -2, 2, 2);
    if (widened.contains(rect.center())) return true;
    const QRectF inside = rect.intersected(widened);
    if (nonEmpty(inside) && inside.width() * inside.height() / area > 0.18) return true;
  }
  return false;
}

}  // namespace

bool isDecorativeNativeSeparator(const TextBlock& block) {
  const QString t = block.text.simplified();
  return t.size() >= 3 && std::all_of(t.begin(), t.end(), isPaddingChar);
}

QString stripNativeDecorativePadding(const QString& text) {
  const qsizetype n = text.size();
  if (n < 3) return text.trimmed();
  qsizetype leading = 0;
  while (leading < n && isPaddingChar(text[leading])) ++leading;
  if (leading == n) return QString();
  qsizetype lastReal = n - 1;
  while (isPaddingChar(text[lastReal])) --lastReal;
  const qsizetype trailing = n - 1 - lastReal;
  const qsizetype start = leading >= 3 ? leading : 0;
  const qsizetype end = trailing >= 3 ? lastReal : n - 1;
  return text.mid(start, end - start + 1).trimmed();
}

QRectF expandedNativeTextRect(const QRectF& rect, double fontSize) {
  if (!nonEmpty(rect)) return rect;
  const double minH = std::max(1.18 * fontSize, 8.0);
  const double newH = std::max(minH, rect.height());
  const double half = (newH - rect.height()) / 2;
  return QRectF(rect.x() - 0.75, rect.y() - half, rect.width() + 1.5, newH).normalized();
}

bool looksLikeInkLayerTextArtifact(const TextBlock& block, const std::vector<TextBlock>& imageBlocks) {
  QString s = block.text.simplified();
  s.remove(QLatin1Char(' '));
  if (s.isEmpty() || !nonEmpty(block.rect)) return false;
  if (!inkImageCovers(block.rect, imageBlocks)) return false;

  int latin = 0;
  int letters = 0;
  int digits = 0;
  int symbols = 0;
  bool special = false;
  for (const QChar c : s) {
    const ushort u = c.unicode();
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z')) {
      ++latin;
      ++letters;
    } else if (u > 0x7F && c.isLetter()) {
      ++letters;
    } else if ((u >= '0' && u <= '9') || (u > 0x7F && c.category() == QChar::Number_DecimalDigit)) {
      ++digits;
    } else {
      ++symbols;
      special = special || isInkSpecialChar(c);
    }
  }
  const double total = std::max<double>(s.size(), 1.0);
  const bool symbolHeavy = symbols / total > 0.35 && letters / total < 0.45;
  if (latin > 0 || special) return true;
  if (letters > 0 && digits > 0) return total <= 6 || symbolHeavy;
  if (total > 3) return symbolHeavy;
  return letters == 0 && symbols >= 1;
}

bool isInsertedImageObject(const TextBlock& block) {
  return block.isImage && !block.image.isNull() &&
         (block.originalRect.width() <= 0 || block.originalRect.height() <= 0);
}

bool blockIntersectsTopOriginRect(const TextBlock& block, const QRectF& topOriginRect, double pageHeight) {
  const QRectF& r = block.rect;
  const QRectF flipped = QRectF(r.x(), pageHeight - r.y() - r.height(), r.width(), r.height()).normalized();
  return flipped.adjusted(-0.5, -0.5, 0.5, 0.5).intersects(topOriginRect.adjusted(-0.5, -0.5, 0.5, 0.5));
}

std::vector<TextBlock> cleanNativeTextBlocks(std::vector<TextBlock> blocks, const std::vector<TextBlock>& images) {
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (!isDecorativeNativeSeparator(blocks[i]) || !nonEmpty(blocks[i].rect)) continue;
    const int neighbour = separatorNeighbour(blocks, i);
    if (neighbour >= 0) foldSeparatorInto(blocks[size_t(neighbour)], blocks[i].rect);
  }

  std::vector<TextBlock> kept;
  kept.reserve(blocks.size());
  for (TextBlock& block : blocks) {
    if (block.isImage || block.text.trimmed().isEmpty() || isDecorativeNativeSeparator(block)) continue;
    cleanKeptBlock(block);
    kept.push_back(std::move(block));
  }
  if (!images.empty())
    std::erase_if(kept, [&](const TextBlock& block) { return looksLikeInkLayerTextArtifact(block, images); });
  return kept;
}

bool isUsableNativeTextLayer(const std::vector<TextBlock>& kept, QSizeF pageSize, bool formPage) {
  if (formPage && !kept.empty()) return true;
  qsizetype chars = 0;
  double area = 0;
  for (const TextBlock& block : kept) {
    chars += block.text.trimmed().size();
    area += std::max(block.rect.width(), 0.0) * std::max(block.rect.height(), 0.0);
  }
  return chars > 11 || area / std::max(pageSize.width() * pageSize.height(), 1.0) >= 0.01;
}
