// The page's own text as blocks: characters are read with box, font and
// colour, cut into physical lines, split into runs at wide gaps and wrapped
// one run per block. Boxes are turned into the shown page's space first, so
// lines of a turned page are cut as the reader sees them.
#include "PdfDocument.h"

#include "DocumentLock.h"
#include "InkColour.h"
#include "PageSpace.h"
#include "PdfBitmapHelpers.h"
#include "PdfiumHandles.h"

#include <QByteArrayView>
#include <QHash>
#include <QList>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// The ink colour of a line comes from this rendering, in pixels per point.
constexpr double kInkScale = 2.5;

struct CharInfo {
  QString text;
  QRectF rect;
  QString fontName;
  QColor color = Qt::black;
  double fontSize = 10.0;
  int weight = 400;
  bool bold = false;
  bool italic = false;
  bool transparent = false;
};

// One character as drawn: a ligature's parts share one box and travel
// together, and a spacing accent set over a letter (the way TeX builds
// accented letters) is composed with it, so neither breaks a word or a line.
struct Glyph {
  int index = 0;  // pdfium character index, for the style
  QString text;
  QRectF rect;  // shown page
  bool lineFeed = false;
};

char16_t combiningFormOf(char16_t accent) {
  switch (accent) {
    case 0x0060: return 0x0300;
    case 0x00B4: return 0x0301;
    case 0x02C6: return 0x0302;
    case 0x02DC: return 0x0303;
    case 0x00AF: return 0x0304;
    case 0x02D8: return 0x0306;
    case 0x02D9: return 0x0307;
    case 0x00A8: return 0x0308;
    case 0x02DA: return 0x030A;
    case 0x02DD: return 0x030B;
    case 0x02C7: return 0x030C;
    case 0x00B8: return 0x0327;
    case 0x02DB: return 0x0328;
    default: return 0;
  }
}

// The accent's centre lies over the letter and above the letter's middle.
bool accentSitsOn(const Glyph& accent, const Glyph& letter) {
  if (accent.text.size() != 1 || letter.text.isEmpty() || !letter.text.at(0).isLetter()) return false;
  if (!combiningFormOf(accent.text.at(0).unicode())) return false;
  const QPointF c = accent.rect.center();
  return c.x() >= letter.rect.left() - 0.5 && c.x() <= letter.rect.right() + 0.5 &&
         (c.y() > letter.rect.center().y()) != (accent.text.at(0).unicode() == 0x00B8 ||
                                                accent.text.at(0).unicode() == 0x02DB);
}

void composeAccent(Glyph& letter, const Glyph& accent) {
  letter.text = (letter.text + QChar(combiningFormOf(accent.text.at(0).unicode())))
                    .normalized(QString::NormalizationForm_C);
}

bool sameBox(const QRectF& a, const QRectF& b) {
  return a.width() > 0.01 && std::abs(a.x() - b.x()) < 0.01 && std::abs(a.width() - b.width()) < 0.01 &&
         std::abs(a.y() - b.y()) < 0.01;
}

std::vector<Glyph> readGlyphs(FPDF_TEXTPAGE textPage, const PageSpace& space) {
  std::vector<Glyph> glyphs;
  const int count = FPDFText_CountChars(textPage);
  glyphs.reserve(size_t(std::max(count, 0)));
  for (int i = 0; i < count; ++i) {
    const unsigned int u = FPDFText_GetUnicode(textPage, i);
    if (u == 13) continue;
    if (u == 10) {
      Glyph feed;
      feed.lineFeed = true;
      glyphs.push_back(feed);
      continue;
    }
    double left = 0, right = 0, bottom = 0, top = 0;
    if (!FPDFText_GetCharBox(textPage, i, &left, &right, &bottom, &top)) continue;
    Glyph g;
    g.index = i;
    if (u != 0 && u <= 0x10FFFF) {
      const char32_t code = char32_t(u);
      g.text = QString::fromUcs4(&code, 1);
    }
    g.rect = space.toShown(
        QRectF(std::min(left, right), std::min(bottom, top), std::abs(right - left), std::abs(top - bottom)));

    Glyph* previous = glyphs.empty() || glyphs.back().lineFeed ? nullptr : &glyphs.back();
    if (previous && !g.text.isEmpty() && sameBox(previous->rect, g.rect)) {
      previous->text += g.text;  // the next part of a ligature
    } else if (previous && accentSitsOn(*previous, g)) {
      composeAccent(g, *previous);
      glyphs.back() = g;
    } else if (previous && accentSitsOn(g, *previous)) {
      composeAccent(*previous, g);
    } else {
      glyphs.push_back(std::move(g));
    }
  }
  return glyphs;
}

bool charHasVisibleInk(const CharInfo& c) {
  return !c.text.trimmed().isEmpty() && c.rect.width() > 0.01 && c.rect.height() > 0.01;
}

double centreY(const QRectF& r) { return r.y() + 0.5 * r.height(); }

// Drops the subset tag ("ABCDEF+") and turns hyphens into blanks.
QString cleanFontName(QString name) {
  const int plus = int(name.indexOf(QLatin1Char('+')));
  if (plus >= 0 && plus < name.size() - 1) name = name.mid(plus + 1);
  name.replace(QLatin1Char('-'), QLatin1Char(' '));
  name = name.trimmed();
  return name.isEmpty() ? QStringLiteral("Times New Roman") : name;
}

bool nameContainsAny(const QString& name, std::initializer_list<const char*> words) {
  return std::any_of(words.begin(), words.end(),
                     [&](const char* w) { return name.contains(QLatin1String(w), Qt::CaseInsensitive); });
}

// What a raw font name says, worked out once per name and call: a page has a
// handful of fonts but thousands of characters.
struct FontNameStyle {
  QString name;  // cleaned
  bool boldByName = false;
  bool italic = false;
};

class FontNameStyles {
public:
  const FontNameStyle& forCharacter(FPDF_TEXTPAGE textPage, int index) {
    const unsigned long length = FPDFText_GetFontInfo(textPage, index, nullptr, 0, nullptr);
    QByteArrayView raw;
    if (length > 0) {
      if (buffer.size() < qsizetype(length) + 1) buffer.resize(qsizetype(length) + 1);
      buffer.fill('\0');
      FPDFText_GetFontInfo(textPage, index, buffer.data(), length, nullptr);
      raw = QByteArrayView(buffer.constData());  // up to the first NUL
    }
    if (last && raw == QByteArrayView(lastRaw)) return *last;
    lastRaw = raw.toByteArray();
    auto it = styles.find(lastRaw);
    if (it == styles.end()) {
      FontNameStyle style;
      style.name = cleanFontName(QString::fromUtf8(lastRaw));
      style.boldByName = nameContainsAny(style.name, {"Bold", "Black", "Heavy"});
      style.italic = nameContainsAny(style.name, {"Italic", "Oblique", "Slanted", "Inclined"});
      it = styles.insert(lastRaw, style);
    }
    last = &it.value();
    return *last;
  }

private:
  QHash<QByteArray, FontNameStyle> styles;
  QByteArray buffer;
  QByteArray lastRaw;
  const FontNameStyle* last = nullptr;  // set after the latest insertion, so never moved since
};

void readCharStyle(FPDF_TEXTPAGE textPage, int index, CharInfo& c, FontNameStyles& fonts) {
  const double size = FPDFText_GetFontSize(textPage, index);
  c.fontSize = size > 0 ? size : std::max(c.rect.height(), 6.0);

  const FontNameStyle& font = fonts.forCharacter(textPage, index);
  c.fontName = font.name;

  c.weight = FPDFText_GetFontWeight(textPage, index);
  c.bold = c.weight > 599 || font.boldByName;
  c.italic = font.italic;

  unsigned int r = 0, g = 0, b = 0, a = 255;
  if (FPDFText_GetFillColor(textPage, index, &r, &g, &b, &a)) {
    if (r <= 255 && g <= 255 && b <= 255 && a <= 255) {
      c.color = QColor(int(r), int(g), int(b), int(a));
      c.transparent = a <= 8;
    } else {
      c.color = QColor();
    }
  }
  // Render mode 3 is how recognised text layers are usually hidden; it is as
  // invisible as a transparent fill.
  if (FPDF_PAGEOBJECT object = FPDFText_GetTextObject(textPage, index))
    c.transparent = c.transparent || FPDFTextObj_GetTextRenderMode(object) == FPDF_TEXTRENDERMODE_INVISIBLE;
}

CharInfo styleReferenceForChar(const QList<CharInfo>& chars, int i) {
  if (chars.isEmpty()) return {};
  i = std::clamp(i, 0, int(chars.size()) - 1);
  if (charHasVisibleInk(chars.at(i))) return chars.at(i);
  for (int j = i + 1; j < chars.size(); ++j)
    if (charHasVisibleInk(chars.at(j))) return chars.at(j);
  for (int j = i - 1; j >= 0; --j)
    if (charHasVisibleInk(chars.at(j))) return chars.at(j);
  return chars.at(i);
}

double medianOf(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Cuts one physical line into runs where the text jumps back left on the same
// baseline (a second column) or leaves a wide gap to the right.
QList<QList<CharInfo>> splitNativePdfLineChars(const QList<CharInfo>& chars) {
  std::vector<double> heights;
  std::vector<double> widths;
  for (const CharInfo& c : chars) {
    if (!charHasVisibleInk(c)) continue;
    heights.push_back(std::max(c.rect.height(), 1.0));
    widths.push_back(std::max(c.rect.width(), 0.1));
  }
  if (heights.size() < 2) return {chars};

  const double medianHeight = medianOf(heights);
  const double medianWidth = medianOf(widths);
  const double backGap = std::max(2.0 * medianWidth, 4.0);
  const double wideGap = std::max({4.5 * medianWidth, 1.1 * medianHeight, 8.0});

  QList<QList<CharInfo>> runs;
  auto emitRun = [&](int start, int end) {
    while (start < end && chars.at(start).text.trimmed().isEmpty()) ++start;
    while (end > start && chars.at(end - 1).text.trimmed().isEmpty()) --end;
    if (start >= end) return;
    const QList<CharInfo> run = chars.mid(start, end - start);
    if (std::any_of(run.begin(), run.end(), charHasVisibleInk)) runs.append(run);
  };

  int runStart = 0;
  int previous = -1;  // last visible character of the current run
  for (int i = 0; i < chars.size(); ++i) {
    const CharInfo& c = chars.at(i);
    if (!charHasVisibleInk(c)) continue;
    if (previous >= 0) {
      const QRectF& p = chars.at(previous).rect;
      const bool jumpsBack = p.right() > c.rect.x() + backGap &&
                             std::abs(centreY(c.rect) - centreY(p)) <= 0.55 * medianHeight;
      const bool wideGapRight = c.rect.x() - p.right() > wideGap;
      if (jumpsBack || wideGapRight) {
        emitRun(runStart, i);
        runStart = i;
        previous = -1;
      }
    }
    previous = i;
  }
  emitRun(runStart, int(chars.size()));
  if (runs.isEmpty()) runs.append(chars);
  return runs;
}

// The colour of the ink actually drawn inside a box of the page rendering:
// coloured pixels win over dark ones, each weighted by how strongly inked it is.
std::optional<QColor> inkColourIn(const QImage& page, const QSizeF& pageSize, const QRectF& box) {
  if (page.isNull() || box.width() <= 0 || box.height() <= 0) return std::nullopt;
  const double pad = std::max(1.25 / kInkScale, 0.35);
  const QRectF area = box.adjusted(-pad, -pad, pad, pad).intersected(QRectF(QPointF(0, 0), pageSize));
  if (area.width() <= 0 || area.height() <= 0) return std::nullopt;
  const QRect pixels = QRect(int(std::floor(area.x() * kInkScale)),
                             int(std::floor((pageSize.height() - (area.y() + area.height())) * kInkScale)),
                             int(std::ceil(area.width() * kInkScale)), int(std::ceil(area.height() * kInkScale)));
  return inkColourOfPixels(page, pixels);
}

// The page rendered for ink colours, in pixels kept per thread: at scale 2.5 a
// page is about 12 MB, and allocating and faulting it in on every call costs
// as much as filling it. Pixels grown for an unusually large page are let go
// when the call ends.
class InkRendering {
public:
  explicit InkRendering(FPDF_PAGE page) : image(renderLoadedPageIntoBuffer(page, kInkScale, pixels())) {}
  ~InkRendering() {
    if (pixels().size() > kKeptPixels) pixels() = {};
  }
  InkRendering(const InkRendering&) = delete;
  InkRendering& operator=(const InkRendering&) = delete;

  const QImage image;

private:
  static constexpr size_t kKeptPixels = 8'000'000;  // 32 MB: an A3 page at scale 2.5
  static std::vector<quint32>& pixels() {
    thread_local std::vector<quint32> kept;
    return kept;
  }
};

bool sameStyle(const CharInfo& a, const CharInfo& b) {
  return a.fontName == b.fontName && std::abs(a.fontSize - b.fontSize) < 0.15 && a.color == b.color &&
         a.bold == b.bold && a.italic == b.italic;
}

TextBlock::Line::Span spanFor(const CharInfo& reference) {
  TextBlock::Line::Span span;
  span.fontSize = float(reference.fontSize);
  span.fontFamily = reference.fontName;
  span.color = reference.color.isValid() ? reference.color : QColor(Qt::black);
  span.bold = reference.bold;
  span.italic = reference.italic;
  return span;
}

bool nearlyInvisible(const QColor& c) { return c.isValid() && c.alpha() <= 8; }

std::optional<TextBlock::Line> lineFromChars(const QList<CharInfo>& chars, const QImage& page,
                                             const QSizeF& pageSize) {
  TextBlock::Line line;
  for (const CharInfo& c : chars) {
    line.text += c.text;
    line.rect = line.rect.isNull() ? c.rect : line.rect.united(c.rect);
  }
  line.rect = line.rect.normalized();
  if (line.text.trimmed().isEmpty()) return std::nullopt;

  const CharInfo first = styleReferenceForChar(chars, 0);
  line.fontFamily = first.fontName;
  line.fontSize = float(first.fontSize);
  line.bold = first.bold;
  line.italic = first.italic;
  line.color = first.color.isValid() ? first.color : QColor(Qt::black);
  line.transparentText = std::any_of(chars.begin(), chars.end(), [](const CharInfo& c) { return c.transparent; });

  CharInfo spanReference = first;
  TextBlock::Line::Span span = spanFor(first);
  for (int j = 0; j < chars.size(); ++j) {
    const CharInfo reference = styleReferenceForChar(chars, j);
    if (!sameStyle(reference, spanReference)) {
      if (!span.text.isEmpty()) line.spans.push_back(std::move(span));
      spanReference = reference;
      span = spanFor(reference);
    }
    span.text += chars.at(j).text;
  }
  if (!span.text.isEmpty()) line.spans.push_back(std::move(span));

  TextBlock::Line::Word word;
  auto emitWord = [&] {
    if (!word.text.isEmpty()) line.words.push_back(std::move(word));
    word = {};
  };
  for (const CharInfo& c : chars) {
    if (c.text.trimmed().isEmpty()) {
      emitWord();
      continue;
    }
    word.text += c.text;
    word.rect = word.rect.isNull() ? c.rect : word.rect.united(c.rect);
  }
  emitWord();

  if (const std::optional<QColor> ink = inkColourIn(page, pageSize, line.rect)) {
    line.color = *ink;
    for (auto& s : line.spans) s.color = *ink;
  } else {
    // Invisible text with nothing drawn under it: show it black rather than not at all.
    if (nearlyInvisible(line.color)) line.color = Qt::black;
    for (auto& s : line.spans)
      if (nearlyInvisible(s.color)) s.color = Qt::black;
  }
  return line;
}

bool readsBefore(const TextBlock::Line& a, const TextBlock::Line& b) {
  const double ca = centreY(a.rect);
  const double cb = centreY(b.rect);
  if (std::abs(ca - cb) > 2.0) return ca > cb;
  return a.rect.x() < b.rect.x();
}

// Insertion sort: the order above is not transitive, which std::sort must
// never be given; this stays in bounds and keeps equal lines in page order.
void sortIntoReadingOrder(std::vector<TextBlock::Line>& lines) {
  for (size_t i = 1; i < lines.size(); ++i) {
    size_t j = i;
    while (j > 0 && readsBefore(lines[i], lines[j - 1])) --j;
    if (j != i) std::rotate(lines.begin() + qsizetype(j), lines.begin() + qsizetype(i), lines.begin() + qsizetype(i) + 1);
  }
}

}  // namespace

std::vector<TextBlock> PdfDocument::extractText(int page) const {
  DocumentLock lock(mutex);
  if (!doc || page < 0) return {};
  pdfium::Page loaded(FPDF_LoadPage(doc, page));
  if (!loaded) return {};
  pdfium::TextPage textPage(FPDFText_LoadPage(loaded.get()));
  if (!textPage) return {};

  const PageSpace space = PageSpace::ofPage(loaded.get());
  const QSizeF pageSize = space.shownSize();
  const InkRendering ink(loaded.get());
  const QImage& rendering = ink.image;
  FontNameStyles fonts;

  std::vector<TextBlock::Line> lines;
  QList<CharInfo> current;
  double lineCenterY = 0;
  double lineMaxHeight = 0;
  double lineRight = -1e9;
  auto finishLine = [&] {
    if (current.isEmpty()) return;
    for (const QList<CharInfo>& run : splitNativePdfLineChars(current))
      if (std::optional<TextBlock::Line> line = lineFromChars(run, rendering, pageSize))
        lines.push_back(std::move(*line));
    current.clear();
    lineCenterY = 0;
    lineMaxHeight = 0;
    lineRight = -1e9;
  };

  for (const Glyph& glyph : readGlyphs(textPage.get(), space)) {
    if (glyph.lineFeed) {
      finishLine();
      continue;
    }
    CharInfo c;
    c.text = glyph.text;
    c.rect = glyph.rect;
    const double clampedHeight = std::max(c.rect.height(), 1.0);
    const double cy = centreY(c.rect);
    const bool visible = charHasVisibleInk(c);

    if (visible && !current.isEmpty() &&
        (std::abs(cy - lineCenterY) > 0.65 * std::max(clampedHeight, lineMaxHeight) ||
         (lineRight > c.rect.x() + 2.0 && std::abs(cy - lineCenterY) > 1.0)))
      finishLine();

    readCharStyle(textPage.get(), glyph.index, c, fonts);

    if (current.isEmpty()) {
      lineCenterY = cy;
      lineMaxHeight = clampedHeight;
      if (visible) lineRight = c.rect.right();
    } else if (visible) {
      lineCenterY = 0.82 * lineCenterY + 0.18 * cy;
      lineMaxHeight = std::max(clampedHeight, lineMaxHeight);
      lineRight = c.rect.right();
    }
    current.append(std::move(c));
  }
  finishLine();

  sortIntoReadingOrder(lines);
  std::vector<TextBlock> blocks;
  blocks.reserve(lines.size());
  for (TextBlock::Line& line : lines) {
    TextBlock block;
    block.text = line.text;
    block.rect = line.rect;
    block.originalRect = line.rect;
    block.page = page;
    block.fontFamily = line.fontFamily;
    block.fontSize = line.fontSize;
    block.color = line.color;
    block.bold = line.bold;
    block.italic = line.italic;
    block.transparentText = line.transparentText;
    block.lines.push_back(std::move(line));
    blocks.push_back(std::move(block));
  }
  return blocks;
}
