#include "BlockTextRenderer.h"

#include "PdfFontMapping.h"
#include "core/EditedLineFit.h"
#include "core/FontNameItalic.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kMaxFitPixels = 120;
// A size cache that grows past this is dropped whole: the overlay of one
// page never holds that many lines, so only a leak would reach it.
constexpr std::size_t kMaxCacheEntries = 20000;

int nearest(double x) { return static_cast<int>(std::lround(x)); }

bool visibleColor(const QColor& color) { return color.isValid() && color.alpha() > 8; }

bool isBlank(QChar c) {
  const char16_t u = c.unicode();
  return (u >= 9 && u <= 13) || u == 32 || u == 0x85 || u == 0xA0 || c.isSpace();
}

void setAbsoluteLetterSpacing(QFont& font, double value) {
  if (std::abs(value) >= 0.05) font.setLetterSpacing(QFont::AbsoluteSpacing, value);
}

// Native PDF text is drawn at the size the page draws it (its font size
// times the text matrix scale), so that an edited line keeps it. Where that
// size cannot be what the line's box shows (a broken or unusual font
// matrix), a scored search over pixel sizes fits the sample's ink box to the
// line box, punishing overshoot harder than undershoot.
void fitNativeLine(QFont& font, const TextBlock::Line& line, double zoom, const QString& fallbackText) {
  QString sample = line.text.trimmed();
  if (sample.isEmpty()) sample = representativeTextSample(line);
  const double targetH = std::max(line.rect.height() * zoom, 2.0);
  const double targetW = std::max(line.rect.width() * zoom, 2.0);
  const double drawnPx = line.fontSize * zoom;
  int bestPx = 4;
  if (drawnPx >= 0.6 * targetH && drawnPx <= 3.0 * targetH) {
    bestPx = std::max(nearest(drawnPx), 4);
  } else {
    const int maxPx = std::max(nearest(line.fontSize * zoom * 1.12), 6);
    double bestScore = 1e18;
    for (int px = 4; px <= maxPx; ++px) {
      font.setPixelSize(px);
      const QFontMetricsF metrics(font);
      const QRectF box = metrics.tightBoundingRect(sample);
      const double w = std::max(box.width(), 1.0);
      const double h = std::max(box.height(), 1.0);
      const double a = std::max(metrics.horizontalAdvance(sample), 1.0);
      const double score = 1.35 * std::abs(h - targetH) / targetH +
                           std::min(std::abs(w - targetW) / targetW, std::abs(a - targetW) / targetW) +
                           2.5 * std::max(0.0, h - 1.04 * targetH) / targetH +
                           2.0 * std::max(0.0, w - 1.03 * targetW) / targetW;
      if (score < bestScore) {
        bestScore = score;
        bestPx = px;
      }
    }
  }
  font.setPixelSize(bestPx);

  QString t = line.text.trimmed();
  if (t.isEmpty()) t = fallbackText.trimmed();
  const qsizetype n = t.size() - 1;
  if (n > 0) {
    const double advance = std::max(QFontMetricsF(font).horizontalAdvance(t), 1.0);
    const double per = (std::max(zoom * line.rect.width(), 2.0) - advance) / static_cast<double>(n);
    const double limit = std::max(0.08 * bestPx, 0.35);
    setAbsoluteLetterSpacing(font, std::clamp(per, -limit, limit));
  }
}

}  // namespace

void applyBlockRotation(QPainter& p, const QRectF& rect, double degrees) {
  if (std::abs(degrees) < 0.1) return;
  const QPointF centre = rect.center();
  p.translate(centre);
  p.rotate(degrees);
  p.translate(-centre);
}

QColor lineTextColor(const TextBlock::Line& line, const TextBlock& block) {
  if (visibleColor(line.color)) return line.color;
  if (visibleColor(block.color)) return block.color;
  return Qt::black;
}

// TeX's names count too: text set in CMTI10 is italic on screen and in the file.
bool fontNameLooksItalic(const QString& name) { return fontNameSaysItalic(name); }

bool isInvisibleTextBlock(const TextBlock& block) {
  if (block.isImage) return false;
  if (block.transparentText) return true;
  return !block.lines.empty() && std::all_of(block.lines.cbegin(), block.lines.cend(),
                                             [](const TextBlock::Line& line) { return line.transparentText; });
}

bool isNativePdfLine(const TextBlock::Line& line) {
  return !line.transparentText && !line.fontFamily.trimmed().isEmpty() && line.fontSize > 1.0f &&
         !line.spans.empty();
}

bool effectiveLineItalic(const TextBlock::Line& line, const TextBlock& block) {
  const QString family = line.fontFamily.trimmed();
  if (family.isEmpty()) return block.italic;
  // Extraction flags a native line italic from weak evidence; the font name
  // is the reliable witness.
  if (line.italic && !line.transparentText && isNativePdfLine(line)) return fontNameLooksItalic(family);
  return line.italic;
}

bool blockHasRichTextPreview(const TextBlock& block) {
  return block.textEdited && !block.richTextHtml.trimmed().isEmpty();
}

QString representativeTextSample(const TextBlock::Line& line) {
  const QString text = line.text.trimmed();
  if (text.isEmpty()) return kFallbackSampleText;
  return text.left(80);
}

bool lineHasNativeRichSpans(const TextBlock::Line& line) {
  if (line.transparentText || line.spans.empty()) return false;
  if (line.spans.size() >= 2) return true;
  const TextBlock::Line::Span& span = line.spans.front();
  if (span.superscript || span.subscript) return true;
  if (span.color.isValid() && line.color.isValid() && span.color != line.color) return true;
  const QString spanFamily = span.fontFamily.trimmed();
  const QString lineFamily = line.fontFamily.trimmed();
  if (!spanFamily.isEmpty() && !lineFamily.isEmpty() && mapPdfFont(line.fontFamily) != mapPdfFont(span.fontFamily))
    return true;
  if (span.fontSize > 0 && line.fontSize > 0 && std::abs(span.fontSize - line.fontSize) > 0.15f) return true;
  if (span.bold != line.bold) return true;
  const bool spanItalic = isNativePdfLine(line) ? (span.italic && fontNameLooksItalic(span.fontFamily)) : span.italic;
  return spanItalic != effectiveLineItalic(line, TextBlock());
}

QFont nativeSpanFont(QFont lineFont, const TextBlock::Line::Span& span) {
  if (!span.fontFamily.trimmed().isEmpty()) lineFont.setFamily(mapPdfFont(span.fontFamily));
  lineFont.setWeight(span.bold ? QFont::Bold : QFont::Normal);
  lineFont.setItalic(span.italic && fontNameLooksItalic(span.fontFamily));
  return lineFont;
}

QColor nativeSpanColour(const TextBlock::Line::Span& span, const QColor& lineColour) {
  return span.color.isValid() && span.color.alpha() > 8 ? span.color : lineColour;
}

double medianOcrLineHeightPt(const TextBlock& block) {
  std::vector<double> heights;
  heights.reserve(block.lines.size());
  for (const TextBlock::Line& line : block.lines) {
    if (line.rect.height() > 1.0) heights.push_back(line.rect.height());
  }
  if (heights.empty()) return std::max(block.fontSize / 0.72, 6.0);
  std::sort(heights.begin(), heights.end());
  return heights[heights.size() / 2];
}

int fittedFontPixelSize(QFont font, const QString& text, double targetHeight, int minPx, int maxPx) {
  if (targetHeight <= 1.0) return std::max(minPx, std::min(font.pixelSize(), maxPx));
  int best = minPx;
  double bestDiff = 1e9;
  for (int px = minPx; px <= maxPx; ++px) {
    font.setPixelSize(px);
    const double h = QFontMetricsF(font).tightBoundingRect(text).height();
    const double diff = std::abs(h - targetHeight);
    if (diff < bestDiff) {
      bestDiff = diff;
      best = px;
    }
  }
  return best;
}

void applyScannedOcrSpacing(QFont& font, const TextBlock::Line& line, double zoom, const QString& fallbackText) {
  QString t = line.text.trimmed();
  if (t.isEmpty()) t = fallbackText.trimmed();
  if (t.size() < 2) return;
  const double target = std::max(zoom * line.rect.width(), 2.0);
  const double advance = std::max(QFontMetricsF(font).horizontalAdvance(t), 1.0);
  const double diff = target - advance;
  const double px = font.pixelSize();
  if (std::abs(diff) < std::max(0.08 * px, 0.75)) return;
  const auto spaces = std::count_if(t.cbegin(), t.cend(), isBlank);
  // A short label in a wide box is not stretched across it.
  if (line.words.size() <= 3 && spaces <= 1 && t.size() <= 32 && diff > std::max(0.18 * px, 1.0)) return;
  if (spaces >= 1 && diff > 0) {
    font.setWordSpacing(std::min(diff / static_cast<double>(spaces), std::max(2.6 * px, 2.0)));
    return;
  }
  const double per = diff / static_cast<double>(std::max<qsizetype>(t.size() - 1, 1));
  setAbsoluteLetterSpacing(font, std::max(std::min(std::max(0.22 * px, 0.25), per), -0.08 * px));
}

QFont lineRenderFont(const TextBlock::Line& line, const TextBlock& block, double zoom, const QString& fallbackText,
                     bool scannedSpacing, double sizeScale) {
  QString family = QStringLiteral("Times New Roman");
  if (!line.fontFamily.isEmpty())
    family = mapPdfFont(line.fontFamily);
  else if (!block.fontFamily.isEmpty())
    family = mapPdfFont(block.fontFamily);
  QFont font(family);
  const bool bold = line.fontFamily.isEmpty() ? block.bold : line.bold;
  font.setWeight(bold ? QFont::Bold : QFont::Normal);
  font.setItalic(effectiveLineItalic(line, block));
  const bool native = isNativePdfLine(line) && !line.transparentText;
  // Thin italic faces at small sizes read lighter on screen than in print.
  // Not in the face edits are written in: it has no weight between book and
  // bold, so 600 would be drawn bold where the page gets the book weight.
  if (native && !bold && font.italic() && line.fontSize <= 10.5f && family != kWrittenTextFamily)
    font.setWeight(QFont::DemiBold);

  if (native) {
    fitNativeLine(font, line, zoom, fallbackText);
    return font;
  }
  if ((line.transparentText || block.transparentText || line.spans.empty()) && block.fontSize > 1.0f) {
    const double points = std::max(medianOcrLineHeightPt(block) * 0.98, static_cast<double>(block.fontSize));
    font.setPixelSize(std::clamp(nearest(points * zoom * sizeScale), 4, 240));
    if (scannedSpacing) applyScannedOcrSpacing(font, line, zoom, fallbackText);
    return font;
  }
  const double lineH = std::max(line.rect.height(), 2.0);
  const double base = line.fontSize > 1.0f ? static_cast<double>(line.fontSize) : lineH;
  const double fitPt = std::clamp(base, 0.45 * lineH, 1.7 * lineH);
  int size = fittedFontPixelSize(font, representativeTextSample(line), std::max(zoom * fitPt * 0.96, 2.0), 4,
                                 kMaxFitPixels);
  const int cap = std::max(nearest(std::max(fitPt * 1.12, lineH * 1.45) * zoom), 4);
  size = std::min(size, cap);
  if (std::abs(sizeScale - 1.0) > 0.01) {
    const int limit = std::max(nearest(1.18 * lineH * zoom), cap + 1);
    size = std::clamp(nearest(size * sizeScale), 4, limit);
  }
  font.setPixelSize(size);
  if (scannedSpacing) applyScannedOcrSpacing(font, line, zoom, fallbackText);
  return font;
}

QFont BlockTextRenderer::lineFont(int blockIndex, int lineIndex, const TextBlock& block, double zoom,
                                  const QString& fallbackText, bool scannedSpacing, double sizeScale) {
  if (lineIndex < 0 || lineIndex >= static_cast<int>(block.lines.size())) return QFont();
  const TextBlock::Line& line = block.lines[static_cast<std::size_t>(lineIndex)];
  if (!cachingEnabled) {
    ++fits;
    return lineRenderFont(line, block, zoom, fallbackText, scannedSpacing, sizeScale);
  }
  Inputs inputs{line.text,
                line.rect,
                line.fontSize,
                line.fontFamily,
                line.bold,
                line.italic,
                line.transparentText,
                !line.spans.empty(),
                block.fontFamily,
                block.fontSize,
                block.bold,
                block.italic,
                block.transparentText,
                medianOcrLineHeightPt(block),
                zoom,
                fallbackText};
  const Key key{blockIndex, lineIndex, scannedSpacing, sizeScale};
  auto it = entries.find(key);
  if (it != entries.end() && it->second.inputs == inputs) return it->second.font;
  ++fits;
  QFont font = lineRenderFont(line, block, zoom, fallbackText, scannedSpacing, sizeScale);
  if (it != entries.end()) {
    it->second = Entry{std::move(inputs), font};
  } else {
    if (entries.size() >= kMaxCacheEntries) entries.clear();
    entries.emplace(key, Entry{std::move(inputs), font});
  }
  return font;
}

void BlockTextRenderer::clear() { entries.clear(); }

void BlockTextRenderer::setCachingEnabled(bool enabled) {
  cachingEnabled = enabled;
  if (!enabled) entries.clear();
}
