#include "EditedTextPreview.h"

#include "BlockTextRenderer.h"
#include "EditedTextDocument.h"
#include "PdfFontMapping.h"
#include "core/BlockRichTextLayout.h"
#include "core/EditedLineFit.h"
#include "core/PdfDocument.h"
#include "core/ShapedText.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace {

// The faces a line the preferred face cannot draw alone is written in, for
// the preview to draw it in them; empty for a line that face draws. Kept
// for the lines last asked about, as the preview paints them again and again.
QStringList writtenFaces(const QString& text, bool bold, bool italic) {
  static QHash<QString, QStringList> known;
  const QString key = QString::number(int(bold) * 2 + int(italic)) + text;
  if (const auto it = known.constFind(key); it != known.cend()) return *it;
  const ShapedLine shaped = shapeLine(text, PdfDocument::preferredFaceFile(QString(), bold, italic), bold, italic);
  if (known.size() > 512) known.clear();
  return known[key] = shaped.plain || !shaped.writable() ? QStringList() : shaped.families();
}

// The faces the writer sets words typed into a line of the page in: the
// installed face closest to the line's font, then what draws the rest.
QStringList typedFaces(const TextBlock::Line& line, const QString& typed, bool bold, bool italic) {
  static QHash<QString, QStringList> known;
  const QString key = QString::number(int(bold) * 2 + int(italic)) + line.fontFamily + QChar(0) + typed;
  if (const auto it = known.constFind(key); it != known.cend()) return *it;
  const QString name = line.fontFamily.toLower();
  const bool serif = !name.contains(QLatin1String("sans")) &&
                     (name.contains(QLatin1String("serif")) || name.contains(QLatin1String("times")) ||
                      name.contains(QLatin1String("roman")) || name.contains(QLatin1String("georgia")));
  const bool fixed = name.contains(QLatin1String("mono")) || name.contains(QLatin1String("courier"));
  const ShapedLine shaped =
      shapeLine(typed, closestInstalledFace(line.fontFamily, bold, italic, serif, fixed, typed), bold, italic);
  if (known.size() > 512) known.clear();
  return known[key] = shaped.writable() ? shaped.families() : QStringList();
}

QFont previewLineFont(const TextBlock& block, int index, const TextBlock::Line& line, double zoom,
                      const QString& text, BlockTextRenderer* fonts, int blockIndex) {
  QFont font = fonts && blockIndex >= 0 && index < static_cast<int>(block.lines.size())
                   ? fonts->lineFont(blockIndex, index, block, zoom, text, true, 1.0)
                   : lineRenderFont(line, block, zoom, text, true, 1.0);
  const bool bold = line.fontFamily.isEmpty() ? block.bold : line.bold;
  if (const QStringList faces = writtenFaces(text, bold, font.italic()); !faces.isEmpty()) font.setFamilies(faces);
  return font;
}

// The layout the page is written from, painted at the zoom.
void drawRichLayoutPreview(QPainter& painter, const TextBlock& block, const QRectF& rect, double zoom,
                           const QRectF& column) {
  BlockRichTextLayout layout(block, column);
  const double sx = zoom * layout.narrowing();
  painter.save();
  painter.translate(rect.topLeft() + QPointF(layout.offset() * zoom, layout.drop() * zoom));
  painter.scale(sx, zoom);
  // A kept line's descenders may hang below its box, and a wrapped line may
  // reach into the slack of its layout width or bear its last glyph's ink
  // past its advance: the laid-out lines are drawn whole, as the page gets them.
  layout.document().drawContents(&painter);
  painter.restore();
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

// Where a line drawn from (0, 0) goes into its line box the way the page
// will get it: the ink (font pixels about the pen, empty when there is
// none), not the font's ascent, starts at the line's corner `origin`, and the
// glyphs' advance is fitted to the box they spanned. Pen x maps to
// x + scale * pen x.
struct LinePlacement {
  double x = 0;
  double y = 0;
  double scale = 1.0;
};

LinePlacement editedLinePlacement(const TextBlock& block, int index, const TextBlock::Line& line, QPointF origin,
                                  const QRectF& ink, double advance, double zoom, const QRectF& column) {
  if (ink.width() > 0 && ink.height() > 0) origin -= ink.topLeft();
  const double inkLeft = ink.width() > 0 ? ink.left() : 0.0;
  const QRectF box = writtenLineBox(block, line);
  const EditedLineFit fit = fitEditedLine(block, index, origin.x() + inkLeft + (box.left() - line.rect.left()) * zoom,
                                          std::max(box.width() * zoom, 1.0), advance, column, zoom);
  return {fit.x - inkLeft * fit.scale, origin.y(), fit.scale};
}

void placeEditedLine(QPainter& painter, const TextBlock& block, int index, const TextBlock::Line& line,
                     QPointF origin, const QRectF& ink, double advance, double zoom, const QRectF& column) {
  const LinePlacement place = editedLinePlacement(block, index, line, origin, ink, advance, zoom, column);
  painter.translate(place.x, place.y);
  painter.scale(place.scale, 1.0);
}

// A native line's style runs, each in its own face, weight, size and colour.
struct NativeRun {
  QString text;
  QFont font;
  QColor colour;
  double advance;
};

struct NativeRuns {
  std::vector<NativeRun> runs;
  double advance = 0;
  QRectF ink;
};

// The runs of a one-line native block whose text was not changed; empty
// when the line is not such a line.
NativeRuns nativeRunsOf(const TextBlock& block, const QString& text, double zoom, const QFont& lineFont) {
  NativeRuns laid;
  if (block.lines.size() != 1) return laid;
  const TextBlock::Line& line = block.lines.front();
  if (!lineHasNativeRichSpans(line)) return laid;
  // Only runs that spell the text shown: where its words were replaced (in
  // the block or in the line), the runs would draw the old ones.
  QString spelled;
  for (const TextBlock::Line::Span& span : line.spans) spelled += span.text;
  if (spelled != text) return laid;
  for (const TextBlock::Line::Span& span : line.spans) {
    if (span.text.isEmpty()) continue;
    QFont font = nativeSpanFont(lineFont, span);
    if (span.fontSize > 1.0f) font.setPixelSize(std::max(4, static_cast<int>(std::lround(span.fontSize * zoom))));
    const QFontMetricsF metrics(font);
    const QRectF box = metrics.tightBoundingRect(span.text).translated(laid.advance, 0);
    if (box.width() > 0 && box.height() > 0) laid.ink = laid.ink.isNull() ? box : laid.ink.united(box);
    laid.runs.push_back({span.text, font, nativeSpanColour(span, lineTextColor(line, block)),
                         metrics.horizontalAdvance(span.text)});
    laid.advance += laid.runs.back().advance;
  }
  if (laid.ink.isNull()) laid.runs.clear();
  return laid;
}

// A native line drawn run by run, set into the line box the way the page
// will get it. False when the line is not such a line or its text was changed.
bool drawNativeRunsPreview(QPainter& painter, const TextBlock& block, const QString& text, const QPointF& origin,
                           double zoom, const QFont& lineFont, const QRectF& column) {
  const NativeRuns laid = nativeRunsOf(block, text, zoom, lineFont);
  if (laid.runs.empty()) return false;
  painter.save();
  placeEditedLine(painter, block, 0, block.lines.front(), origin, laid.ink, laid.advance, zoom, column);
  double x = 0;
  for (const NativeRun& run : laid.runs) {
    painter.setFont(run.font);
    painter.setPen(run.colour);
    painter.drawText(QPointF(x, 0), run.text);
    x += run.advance;
  }
  painter.restore();
  return true;
}

}  // namespace

namespace {

std::vector<double> pageGlyphStops(const QString& text, const std::vector<TextBlock::Line::Word>& words,
                                   const QFont& font, bool rightToLeft);

// A line the user typed into whose other characters the page keeps: those
// before and after the typed ones stand as the page draws them, the typed
// ones in the face they are written in, the whole set as the writer sets it.
struct KeptGlyphLine {
  int before = 0, after = 0;  // characters kept at the line's start and end
  QRectF start, end;          // where the page draws them, in points
  // Viewport x each piece is drawn from, the line's narrowing and baseline.
  double startX = 0, typedX = 0, endX = 0, scale = 1.0, baseline = 0;
  QFont font;
  QString typed;
  std::vector<double> stops;  // viewport x per column of the new text
};

std::vector<qsizetype> wordStarts(const QString& text, const std::vector<TextBlock::Line::Word>& words);

// Right-to-left letters that take no other form beside their neighbours
// (Hebrew, not Arabic), no marks, no digits or left-to-right words: the
// characters stand in reading order from right to left, one after another.
bool readsPlainlyRightToLeft(const QString& text) {
  return std::all_of(text.begin(), text.end(), [](QChar c) {
    switch (c.direction()) {
    case QChar::DirR: case QChar::DirWS: case QChar::DirON: case QChar::DirCS: case QChar::DirB: case QChar::DirS:
      return true;
    default:
      return false;
    }
  });
}

// How many characters of line `index` stay as the page draws them at its
// start and end once it reads `text`; nothing where the page's pixels cannot
// stand for them (the block moved or turned, a line added or taken away, no
// word boxes, right to left other than plainly, hidden text, nothing kept).
std::optional<std::pair<qsizetype, qsizetype>> keptEnds(const TextBlock& block, int index, const QString& text) {
  if (index < 0 || index >= static_cast<int>(block.lines.size()) ||
      std::abs(block.rotation) >= 0.1 || std::abs(block.originalRotation) >= 0.1 ||
      displayLines(block).size() != static_cast<qsizetype>(block.lines.size()))
    return std::nullopt;
  const QRectF& was = block.originalRect;
  if (!(was.width() > 0) || std::abs(block.rect.left() - was.left()) > 0.5 ||
      std::abs(block.rect.y() + block.rect.height() - was.y() - was.height()) > 0.5)
    return std::nullopt;
  const TextBlock::Line& line = block.lines[static_cast<std::size_t>(index)];
  const QString& old = line.text;
  if (line.transparentText || !lineBaseline(line) || wordStarts(old, line.words).empty()) return std::nullopt;
  if ((old.isRightToLeft() || text.isRightToLeft()) &&
      !(readsPlainlyRightToLeft(old) && readsPlainlyRightToLeft(text) && line.unreadAfter <= 0))
    return std::nullopt;
  // Kept characters end where a character begins in both texts, not inside a cluster.
  const auto boundary = [](const QString& s, qsizetype at) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
    finder.setPosition(at);
    return finder.isAtBoundary();
  };
  qsizetype before = 0;
  while (before < old.size() && before < text.size() && old.at(before) == text.at(before)) ++before;
  while (before > 0 && !(boundary(old, before) && boundary(text, before))) --before;
  qsizetype after = 0;
  while (after < old.size() - before && after < text.size() - before &&
         old.at(old.size() - 1 - after) == text.at(text.size() - 1 - after))
    ++after;
  while (after > 0 && !(boundary(old, old.size() - after) && boundary(text, text.size() - after))) --after;
  if (before + after == 0) return std::nullopt;
  return std::make_pair(before, after);
}

std::optional<KeptGlyphLine> keptGlyphLine(const TextBlock& block, int index, const QString& text,
                                           const QRectF& rect, double zoom, const QRectF& column) {
  const auto ends = keptEnds(block, index, text);
  if (!ends) return std::nullopt;
  const auto [before, after] = *ends;
  const TextBlock::Line& line = block.lines[static_cast<std::size_t>(index)];
  const QString& old = line.text;
  const bool rtl = old.isRightToLeft() || text.isRightToLeft();
  const std::vector<double> stops =
      pageGlyphStops(old, line.words, lineRenderFont(line, block, zoom, old, true, 1.0), rtl);
  if (stops.empty()) return std::nullopt;

  KeptGlyphLine kept;
  kept.before = int(before);
  kept.after = int(after);
  kept.typed = text.mid(before, text.size() - before - after);
  // At the size the page draws the line, in the faces the writer sets typed words in.
  const bool italic = effectiveLineItalic(line, block);
  kept.font = QFont(mapPdfFont(line.fontFamily));
  if (const QStringList faces = typedFaces(line, kept.typed, line.bold, italic); !faces.isEmpty())
    kept.font.setFamilies(faces);
  kept.font.setBold(line.bold);
  kept.font.setItalic(italic);
  kept.font.setPixelSize(std::max(1, int(std::lround((line.fontSize > 1.0f ? line.fontSize : line.rect.height()) * zoom))));
  const QFontMetricsF metrics(kept.font);
  // Reading order runs along `sign`; `first` and `last` are where it starts and ends.
  const double sign = rtl ? -1 : 1;
  const double first = stops.front(), last = stops.back();
  // Glyphs read as nothing that end the line stay at its end, as the writer
  // sets them: words added there go after them, words retyped before them.
  const double drawnEnd = last + std::max(0.0f, line.unreadAfter);
  const double cutStart = before == old.size() ? drawnEnd : stops[std::size_t(before)];
  const double cutEnd = stops[std::size_t(old.size() - after)];
  const double endEdge = before == old.size() ? last : drawnEnd;
  const double startWidth = sign * (cutStart - first) * zoom;
  const double typedWidth = metrics.horizontalAdvance(kept.typed);
  const double endWidth = sign * (endEdge - cutEnd) * zoom;
  const double left = std::min(first, drawnEnd);
  const EditedLineFit fit =
      fitEditedLine(block, index, rect.x() + (left - block.rect.x()) * zoom,
                    std::max(std::abs(drawnEnd - first) * zoom, 1.0), startWidth + typedWidth + endWidth, column, zoom);
  kept.scale = fit.scale;
  const double blockTop = block.rect.y() + block.rect.height();
  kept.baseline = rect.y() + (blockTop - *lineBaseline(line)) * zoom;
  // The page's ink of kept glyphs may lean a little past where they advance.
  const double pad = 0.2 * line.rect.height();
  const double bottom = line.rect.y() - pad, height = line.rect.height() + 2 * pad;
  // Left to right on the screen: the kept start, the typed words, the kept
  // end; right to left the other way about. Each piece reaches past its
  // outer glyphs, never into the typed words.
  const double toScreen = zoom * fit.scale;
  kept.typedX = fit.x + (rtl ? endWidth : startWidth) * fit.scale;
  // Screen x of a point of the page in the kept start, and in the kept end.
  const double startOrigin = rtl ? fit.x + (endWidth + typedWidth) * fit.scale - cutStart * toScreen
                                 : fit.x - first * toScreen;
  const double endOrigin = rtl ? fit.x - endEdge * toScreen
                               : fit.x + (startWidth + typedWidth) * fit.scale - cutEnd * toScreen;
  if (before > 0)
    kept.start = rtl ? QRectF(cutStart, bottom, first - cutStart + pad, height)
                     : QRectF(first - pad, bottom, cutStart - first + pad, height);
  if (sign * (endEdge - cutEnd) > 0)
    kept.end = rtl ? QRectF(endEdge - pad, bottom, cutEnd - endEdge + pad, height)
                   : QRectF(cutEnd, bottom, endEdge - cutEnd + pad, height);
  kept.startX = startOrigin + kept.start.left() * toScreen;
  kept.endX = endOrigin + kept.end.left() * toScreen;
  for (qsizetype k = 0; k <= before; ++k) kept.stops.push_back(startOrigin + stops[std::size_t(k)] * toScreen);
  for (qsizetype k = 1; k <= kept.typed.size(); ++k) {
    const double advance = metrics.horizontalAdvance(kept.typed.left(k));
    kept.stops.push_back(kept.typedX + (rtl ? typedWidth - advance : advance) * fit.scale);
  }
  for (qsizetype k = old.size() - after + 1; k <= old.size(); ++k)
    kept.stops.push_back(endOrigin + stops[std::size_t(k)] * toScreen);
  return kept;
}

// Whether the block's lines are drawn one by one, what the user did not
// type as the page's pixels: plain text, or rich text the user restyled
// nothing of, each of its lines kept or typed into.
bool drawnAsKeptLines(const TextBlock& block) {
  if (block.lines.empty()) return false;
  if (blockHasRichTextPreview(block)) {
    if (richTextWraps(block)) return false;
    // One paint asks many times about the same text.
    static QString lastHtml;
    static bool lastUniform = false;
    if (block.richTextHtml != lastHtml) {
      QTextDocument document;
      document.setHtml(block.richTextHtml);
      std::optional<QTextCharFormat> first;
      lastUniform = true;
      for (QTextBlock paragraph = document.begin(); paragraph.isValid() && lastUniform; paragraph = paragraph.next())
        for (auto it = paragraph.begin(); !it.atEnd() && lastUniform; ++it) {
          if (!first) first = it.fragment().charFormat();
          lastUniform = it.fragment().charFormat() == *first;
        }
      lastUniform = lastUniform && first && first->font().bold() == block.lines.front().bold &&
                    first->font().italic() == block.lines.front().italic;
      lastHtml = block.richTextHtml;
    }
    if (!lastUniform) return false;
  }
  const QStringList lines = displayLines(block);
  if (lines.size() != static_cast<qsizetype>(block.lines.size())) return false;
  for (int i = 0; i < static_cast<int>(lines.size()); ++i)
    if (!lines.at(i).isEmpty() && !keptEnds(block, i, lines.at(i))) return false;
  return true;
}

// The kept characters as the page's pixels, the typed ones in their face.
void drawKeptGlyphLine(QPainter& painter, const KeptGlyphLine& kept, const TextBlock& block, const QRectF& rect,
                       double zoom, const QColor& colour, const PagePixels& pagePixels) {
  const double blockTop = block.rect.y() + block.rect.height();
  const auto target = [&](const QRectF& source, double left) {
    return QRectF(left, rect.y() + (blockTop - source.y() - source.height()) * zoom, source.width() * zoom * kept.scale,
                  source.height() * zoom);
  };
  if (!kept.start.isEmpty()) pagePixels(painter, kept.start, target(kept.start, kept.startX));
  if (!kept.end.isEmpty()) pagePixels(painter, kept.end, target(kept.end, kept.endX));
  if (kept.typed.isEmpty()) return;
  painter.save();
  painter.setPen(colour);
  painter.setFont(kept.font);
  painter.translate(kept.typedX, kept.baseline);
  painter.scale(kept.scale, 1.0);
  painter.drawText(QPointF(0, 0), kept.typed);
  painter.restore();
}

}  // namespace

void drawRichPreview(QPainter& painter, const TextBlock& block, const QRectF& rect, double zoom) {
  drawRichLayoutPreview(painter, block, rect, zoom, QRectF());
}

QPointF lineScreenOrigin(const TextBlock& block, const TextBlock::Line& line, const QRectF& rect, double zoom) {
  const double blockTop = block.rect.y() + block.rect.height();
  const double lineTop = line.rect.y() + line.rect.height();
  return QPointF((line.rect.x() - block.rect.x()) * zoom + rect.x(), (blockTop - lineTop) * zoom + rect.y());
}

void drawEditedTextPreview(QPainter& painter, const TextBlock& block, const QRectF& rect, double zoom,
                           BlockTextRenderer* fonts, int blockIndex, const QRectF& column,
                           const PagePixels& pagePixels) {
  if (blockHasRichTextPreview(block) && !(pagePixels && drawnAsKeptLines(block))) {
    drawRichLayoutPreview(painter, block, rect, zoom, column);
    return;
  }
  if (block.lines.empty()) {
    drawSingleStylePreview(painter, block, rect, zoom);
    return;
  }
  const QStringList display = displayLines(block);
  const int n = std::max(static_cast<int>(block.lines.size()), static_cast<int>(display.size()));
  for (int i = 0; i < n; ++i) {
    const TextBlock::Line line = visualLineForIndex(block, i);
    const QString text = i < display.size() ? display.at(i) : line.text;
    if (text.isEmpty()) continue;
    if (pagePixels)
      if (const std::optional<KeptGlyphLine> kept = keptGlyphLine(block, i, text, rect, zoom, column)) {
        drawKeptGlyphLine(painter, *kept, block, rect, zoom, lineTextColor(line, block), pagePixels);
        continue;
      }
    const QFont font = previewLineFont(block, i, line, zoom, text, fonts, blockIndex);
    if (i == 0 && drawNativeRunsPreview(painter, block, text, lineScreenOrigin(block, line, rect, zoom), zoom, font,
                                        column))
      continue;
    painter.setPen(lineTextColor(line, block));
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    painter.save();
    placeEditedLine(painter, block, i, line, lineScreenOrigin(block, line, rect, zoom), metrics.tightBoundingRect(text),
                    metrics.horizontalAdvance(text), zoom, column);
    painter.drawText(QPointF(0, 0), text);
    painter.restore();
  }
}

namespace {

// Where each word of a line starts in text, found in order; empty when one
// is missing or has no box.
std::vector<qsizetype> wordStarts(const QString& text, const std::vector<TextBlock::Line::Word>& words) {
  std::vector<qsizetype> starts;
  qsizetype from = 0;
  for (const TextBlock::Line::Word& word : words) {
    const qsizetype at = word.text.isEmpty() ? -1 : text.indexOf(word.text, from);
    if (at < 0 || !(word.rect.width() > 0)) return {};
    starts.push_back(at);
    from = at + word.text.size();
  }
  return starts;
}

// The insertion points of a line's text where the page draws it, in points:
// a word's glyphs spread over its box as the font advances them (from its
// right edge for right-to-left text), the characters between two words over
// the gap. Empty without words.
std::vector<double> pageGlyphStops(const QString& text, const std::vector<TextBlock::Line::Word>& words,
                                   const QFont& font, bool rightToLeft) {
  const std::vector<qsizetype> starts = wordStarts(text, words);
  if (starts.empty()) return {};
  const QFontMetricsF metrics(font);
  std::vector<double> stops(static_cast<std::size_t>(text.size()) + 1, std::nan(""));
  for (std::size_t w = 0; w < words.size(); ++w) {
    const QString& word = words[w].text;
    const QRectF& box = words[w].rect;
    const double total = metrics.horizontalAdvance(word);
    for (qsizetype k = 0; k <= word.size(); ++k) {
      const double share = total > 0 ? metrics.horizontalAdvance(word.left(k)) / total : double(k) / word.size();
      stops[static_cast<std::size_t>(starts[w] + k)] = rightToLeft ? box.right() - share * box.width()
                                                                    : box.left() + share * box.width();
    }
  }
  std::size_t known = stops.size();
  for (std::size_t i = 0; i < stops.size(); ++i) {
    if (std::isnan(stops[i])) continue;
    if (known == stops.size()) {
      std::fill(stops.begin(), stops.begin() + static_cast<std::ptrdiff_t>(i), stops[i]);
    } else {
      for (std::size_t j = known + 1; j < i; ++j)
        stops[j] = stops[known] + (stops[i] - stops[known]) * double(j - known) / double(i - known);
    }
    known = i;
  }
  std::fill(stops.begin() + static_cast<std::ptrdiff_t>(known) + 1, stops.end(), stops[known]);
  return stops;
}

// Where a line of the line-by-line preview starts, and the screen x of a
// column in it, laid out the way the preview draws the line.
struct PreviewLineGeometry {
  QPointF origin;
  double height = 0;
  double x0 = 0;
  double scale = 1.0;  // the line is set into its box as the preview draws it
  QFont font;
  QString text;
  std::vector<double> stops;  // screen x per column where the page's own glyphs stand

  double columnX(int column) const {
    column = std::clamp(column, 0, static_cast<int>(text.size()));
    if (!stops.empty()) return stops[std::min(static_cast<std::size_t>(column), stops.size() - 1)];
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine laid = layout.createLine();
    if (laid.isValid()) laid.setLineWidth(100000);
    layout.endLayout();
    // Right-to-left text stands at the far end of the wide line; the preview
    // draws it from its left end.
    const double x = laid.isValid() ? laid.cursorToX(column) - laid.naturalTextRect().left()
                                    : QFontMetricsF(font).horizontalAdvance(text.left(column));
    return x0 + x * scale;
  }

  // From the line's leftmost insertion point to its rightmost.
  std::pair<double, double> span() const {
    if (!stops.empty()) {
      const auto [least, most] = std::minmax_element(stops.begin(), stops.end());
      return {*least, *most};
    }
    return {x0, x0 + QFontMetricsF(font).horizontalAdvance(text) * scale};
  }
};

PreviewLineGeometry previewLineGeometry(const TextBlock& block, const QStringList& pieces, int lineIndex,
                                        const QRectF& rect, double zoom, const QRectF& textColumn,
                                        bool pageGlyphs = false) {
  PreviewLineGeometry g;
  const TextBlock::Line line = visualLineForIndex(block, lineIndex);
  g.text = lineIndex < pieces.size() ? pieces.at(lineIndex) : line.text;
  g.origin = lineScreenOrigin(block, line, rect, zoom);
  g.height = std::max(line.rect.height() * zoom, 2.0);
  g.font = lineRenderFont(line, block, zoom, g.text, true, 1.0);
  if (const std::optional<KeptGlyphLine> kept = keptGlyphLine(block, lineIndex, g.text, rect, zoom, textColumn)) {
    g.stops = kept->stops;
    return g;
  }
  if (pageGlyphs && lineIndex < static_cast<int>(block.lines.size())) {
    g.stops = pageGlyphStops(g.text, line.words, g.font, g.text.isRightToLeft());
    for (double& x : g.stops) x = (x - block.rect.x()) * zoom + rect.x();
    if (!g.stops.empty()) {
      // As high as the words the page drew, not the box kept for the pointer,
      // which a line holding one large run makes reach into the next line.
      QRectF words;
      for (const TextBlock::Line::Word& word : line.words) words |= word.rect;
      const double blockTop = block.rect.y() + block.rect.height();
      if (words.height() > 0 && words.height() < line.rect.height()) {
        g.origin.setY((blockTop - (words.y() + words.height())) * zoom + rect.y());
        g.height = std::max(words.height() * zoom, 2.0);
      }
      return g;
    }
  }
  if (lineIndex == 0) {
    // A line of runs is drawn run by run: its columns are where they are drawn.
    const NativeRuns laid = nativeRunsOf(block, g.text, zoom, g.font);
    if (!laid.runs.empty()) {
      const LinePlacement place =
          editedLinePlacement(block, 0, line, g.origin, laid.ink, laid.advance, zoom, textColumn);
      double pen = 0;
      for (const NativeRun& run : laid.runs) {
        const QFontMetricsF metrics(run.font);
        for (qsizetype k = g.stops.empty() ? 0 : 1; k <= run.text.size(); ++k)
          g.stops.push_back(place.x + place.scale * (pen + metrics.horizontalAdvance(run.text.left(k))));
        pen += run.advance;
      }
      if (g.stops.size() == static_cast<std::size_t>(g.text.size()) + 1) return g;
      g.stops.clear();
    }
  }
  const QFontMetricsF metrics(g.font);
  const QRectF ink = metrics.tightBoundingRect(g.text.isEmpty() ? QStringLiteral("M") : g.text);
  const EditedLineFit fit = g.text.isEmpty() ? EditedLineFit{g.origin.x(), 1.0}
                                             : fitEditedLine(block, lineIndex, g.origin.x(),
                                                             std::max(line.rect.width() * zoom, 1.0),
                                                             metrics.horizontalAdvance(g.text), textColumn, zoom);
  g.scale = fit.scale;
  g.x0 = fit.x - ink.left() * fit.scale;
  return g;
}

}  // namespace

namespace {

// The rich text laid out as drawRichLayoutPreview paints it, and the map from
// its points to viewport pixels.
struct RichPreviewPlace {
  QPointF origin;
  double sx = 1.0;
  double sy = 1.0;
};

RichPreviewPlace richPreviewPlace(const BlockRichTextLayout& layout, const QRectF& rect, double zoom) {
  return {rect.topLeft() + QPointF(layout.offset() * zoom, layout.drop() * zoom), zoom * layout.narrowing(), zoom};
}

// The selection of a rich block, on the layout the preview draws and where
// it draws it: each line's share of the selection, as tall as the line.
QList<QRectF> richSelectionRects(const TextBlock& block, const QRectF& rect, double zoom, const QRectF& column,
                                 int from, int to) {
  QList<QRectF> rects;
  BlockRichTextLayout layout(block, column);
  QTextDocument& document = layout.document();
  const RichPreviewPlace place = richPreviewPlace(layout, rect, zoom);
  for (QTextBlock paragraph = document.findBlock(from); paragraph.isValid() && paragraph.position() < to;
       paragraph = paragraph.next()) {
    const QTextLayout* laid = paragraph.layout();
    if (!laid) continue;
    const QPointF corner = document.documentLayout()->blockBoundingRect(paragraph).topLeft();
    for (int l = 0; l < laid->lineCount(); ++l) {
      const QTextLine line = laid->lineAt(l);
      const int lineStart = paragraph.position() + line.textStart();
      const int a = std::max(from, lineStart);
      const int b = std::min(to, lineStart + line.textLength());
      if (a >= b) continue;
      const auto [left, right] = laidOutSpan(line, a - paragraph.position(), b - paragraph.position());
      const double x1 = place.origin.x() + place.sx * (corner.x() + left);
      const double x2 = place.origin.x() + place.sx * (corner.x() + right);
      rects.append(QRectF(x1, place.origin.y() + place.sy * (corner.y() + line.y()), x2 - x1,
                          place.sy * line.height()));
    }
  }
  return rects;
}

}  // namespace

bool pageGlyphsShowBlock(const TextBlock& block, const QString& plainText) {
  if (block.isImage || block.lines.empty() || block.textEdited) return false;
  if (std::abs(block.rotation) >= 0.1 || std::abs(block.rotation - block.originalRotation) > 0.1) return false;
  const QRectF& was = block.originalRect;
  const QRectF& now = block.rect;
  if (!(was.width() > 0) || !(was.height() > 0) || std::abs(now.left() - was.left()) > 0.5 ||
      std::abs(now.top() - was.top()) > 0.5 || std::abs(now.right() - was.right()) > 0.5 ||
      std::abs(now.bottom() - was.bottom()) > 0.5)
    return false;
  const QStringList pieces = plainText.split(QLatin1Char('\n'));
  if (pieces.size() != static_cast<qsizetype>(block.lines.size())) return false;
  for (std::size_t i = 0; i < block.lines.size(); ++i) {
    const QString& piece = pieces.at(static_cast<qsizetype>(i));
    const TextBlock::Line& line = block.lines[i];
    if (piece.simplified() != line.text.simplified()) return false;
    if (!piece.trimmed().isEmpty() && wordStarts(piece, line.words).empty()) return false;
  }
  return true;
}

QRectF previewCaretRect(const QString& plainText, const TextBlock& block, int position, const QRectF& rect,
                        double zoom, const QRectF& textColumn) {
  if (blockHasRichTextPreview(block) && !drawnAsKeptLines(block)) {
    BlockRichTextLayout layout(block, textColumn);
    QTextDocument& document = layout.document();
    const int pos = std::clamp(position, 0, std::max(document.characterCount() - 1, 0));
    const QTextBlock paragraph = document.findBlock(pos);
    const QTextLayout* laid = paragraph.isValid() ? paragraph.layout() : nullptr;
    if (!laid || laid->lineCount() == 0) return QRectF();
    const int inParagraph = pos - paragraph.position();
    const QTextLine line = laid->lineForTextPosition(inParagraph).isValid()
                               ? laid->lineForTextPosition(inParagraph)
                               : laid->lineAt(laid->lineCount() - 1);
    const QPointF corner = document.documentLayout()->blockBoundingRect(paragraph).topLeft();
    const RichPreviewPlace place = richPreviewPlace(layout, rect, zoom);
    const double x = place.origin.x() + place.sx * (corner.x() + line.cursorToX(inParagraph));
    // As tall as the run the caret stands in, on the line's baseline: a line
    // holding one large run is taller than the text typed beside it.
    QTextCursor at(&document);
    at.setPosition(pos);
    const QFontMetricsF run(at.charFormat().font(), layout.paintDevice());
    const double ascent = std::min(run.ascent(), line.ascent());
    const double height = std::min(ascent + run.descent(), line.height());
    const double top = place.origin.y() + place.sy * (corner.y() + line.y() + line.ascent() - ascent);
    return QRectF(x, top, 0, std::max(place.sy * height, 2.0));
  }
  if (block.lines.empty()) return QRectF();
  const int pos = std::clamp(position, 0, static_cast<int>(plainText.size()));
  const QString before = plainText.left(pos);
  const int lineIndex = static_cast<int>(before.count(QLatin1Char('\n')));
  const int lineStart = static_cast<int>(before.lastIndexOf(QLatin1Char('\n'))) + 1;
  const QStringList pieces = plainText.split(QLatin1Char('\n'));
  if (lineIndex >= std::max(static_cast<int>(block.lines.size()), static_cast<int>(pieces.size()))) return QRectF();
  const PreviewLineGeometry g =
      previewLineGeometry(block, pieces, lineIndex, rect, zoom, textColumn, pageGlyphsShowBlock(block, plainText));
  return QRectF(g.columnX(pos - lineStart), g.origin.y(), 0, g.height);
}

QRectF previewLinesRect(const QString& plainText, const TextBlock& block, const QRectF& rect, double zoom,
                        const QRectF& textColumn) {
  if ((blockHasRichTextPreview(block) && !drawnAsKeptLines(block)) || block.lines.empty()) return rect;
  const QStringList pieces = plainText.split(QLatin1Char('\n'));
  const bool pageGlyphs = pageGlyphsShowBlock(block, plainText);
  QRectF lines = rect;
  for (int i = 0; i < std::max(static_cast<int>(block.lines.size()), static_cast<int>(pieces.size())); ++i) {
    const PreviewLineGeometry g = previewLineGeometry(block, pieces, i, rect, zoom, textColumn, pageGlyphs);
    const auto [left, right] = g.span();
    lines |= QRectF(QPointF(left, g.origin.y()), QPointF(right, g.origin.y() + g.height));
  }
  return lines;
}

int previewPositionAt(const QString& plainText, const TextBlock& block, const QPointF& point, const QRectF& rect,
                      double zoom, const QRectF& textColumn) {
  if (blockHasRichTextPreview(block) && !drawnAsKeptLines(block)) {
    BlockRichTextLayout layout(block, textColumn);
    const RichPreviewPlace place = richPreviewPlace(layout, rect, zoom);
    const QPointF local((point.x() - place.origin.x()) / place.sx, (point.y() - place.origin.y()) / place.sy);
    return layout.document().documentLayout()->hitTest(local, Qt::FuzzyHit);
  }
  if (block.lines.empty()) return -1;
  const QStringList pieces = plainText.split(QLatin1Char('\n'));
  const int count = static_cast<int>(pieces.size());
  const bool pageGlyphs = pageGlyphsShowBlock(block, plainText);
  // The line whose box is nearest the point's height.
  int best = 0;
  double bestDistance = 1e300;
  for (int i = 0; i < count; ++i) {
    const PreviewLineGeometry g = previewLineGeometry(block, pieces, i, rect, zoom, textColumn, pageGlyphs);
    const double top = g.origin.y(), bottom = top + g.height;
    const double distance = point.y() < top ? top - point.y() : (point.y() > bottom ? point.y() - bottom : 0.0);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
    }
  }
  const PreviewLineGeometry g = previewLineGeometry(block, pieces, best, rect, zoom, textColumn, pageGlyphs);
  int column = 0;
  double nearest = 1e300;
  for (int c = 0; c <= static_cast<int>(g.text.size()); ++c) {
    const double d = std::abs(g.columnX(c) - point.x());
    if (d < nearest) {
      nearest = d;
      column = c;
    }
  }
  int start = 0;
  for (int i = 0; i < best; ++i) start += static_cast<int>(pieces.at(i).size()) + 1;
  return start + column;
}

void drawPreviewEditorCaret(QPainter& painter, QTextEdit* editor, const TextBlock& block, const QRectF& rect,
                            double zoom, const QRectF& textColumn) {
  if (!editor || !editor->hasFocus() || editor->textCursor().hasSelection()) return;
  const QRectF caret =
      previewCaretRect(editor->toPlainText(), block, editor->textCursor().position(), rect, zoom, textColumn);
  if (caret.height() <= 0) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(QColor(15, 23, 42), std::max(zoom * 0.45, 1.0), Qt::SolidLine));
  painter.drawLine(QPointF(caret.x(), caret.top() - 1), QPointF(caret.x(), caret.bottom() + 1));
  painter.restore();
}

void drawPreviewEditorSelection(QPainter& painter, QTextEdit* editor, const TextBlock& block, const QRectF& rect,
                                double zoom, const QRectF& textColumn) {
  if (!editor || !editor->textCursor().hasSelection()) return;
  const int from = editor->textCursor().selectionStart();
  const int to = editor->textCursor().selectionEnd();
  QList<QRectF> rects;
  if (blockHasRichTextPreview(block) && !drawnAsKeptLines(block)) {
    rects = richSelectionRects(block, rect, zoom, textColumn, from, to);
  } else if (!block.lines.empty()) {
    const QStringList pieces = editor->toPlainText().split(QLatin1Char('\n'));
    const int count = std::max(static_cast<int>(block.lines.size()), static_cast<int>(pieces.size()));
    const bool pageGlyphs = pageGlyphsShowBlock(block, editor->toPlainText());
    int lineStart = 0;
    for (int i = 0; i < static_cast<int>(pieces.size()) && i < count; ++i) {
      const int lineEnd = lineStart + static_cast<int>(pieces.at(i).size());
      const int a = std::max(from, lineStart);
      const int b = std::min(to, lineEnd);
      if (a < b || (a == b && from < lineStart && to > lineEnd)) {
        const PreviewLineGeometry g = previewLineGeometry(block, pieces, i, rect, zoom, textColumn, pageGlyphs);
        const double x1 = g.columnX(a - lineStart);
        const double x2 = g.columnX(b - lineStart);
        rects.append(QRectF(std::min(x1, x2), g.origin.y(), std::max(std::abs(x2 - x1), 2.0), g.height));
      }
      lineStart = lineEnd + 1;
    }
  }
  painter.save();
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0, 120, 215, 80));
  for (const QRectF& r : rects) painter.drawRect(r);
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
