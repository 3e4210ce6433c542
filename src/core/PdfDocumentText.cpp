// The page's own text as blocks: characters are read with box, font and
// colour, cut into physical lines, split into runs at wide gaps and wrapped
// one run per block. Boxes are turned into the shown page's space first and
// then into the reading frame of their text's own direction, so that lines
// of a turned page, or text drawn turned, are cut along the text; such a
// block keeps its unturned box and shows it with the turn it was drawn with.
// A column of vertical writing is cut as text running down the page and
// keeps the upright box of its column.
#include "PdfDocument.h"
#include "PageChars.h"
#include "LineRoom.h"
#include "EditedLineFit.h"

#include "DocumentLock.h"
#include "PageLoadGuard.h"
#include "InkColour.h"
#include "LineGlyphCut.h"
#include "PageCharStyle.h"
#include "PageTextCharacters.h"
#include "PageSpace.h"
#include "PdfiumHandles.h"
#include "StatedFontWeights.h"
#include "TextDirection.h"
#include "TurnedRect.h"


#include <QList>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <optional>
#include <tuple>

namespace {

struct CharInfo {
  QString text;
  QRectF rect;
  QString fontName;
  QColor color{0, 0, 0};  // black, built inline: there is one per character
  double fontSize = 10.0;
  bool bold = false;
  bool italic = false;
  bool transparent = false;
  bool clips = false;  // drawn as a clip
  // The page does not show the colour the PDF gives (hidden or clipped
  // text, no usable colour, an image drawn over it): the rendered ink decides.
  bool inkDecides = false;
  bool visible = false;  // some ink that is not a blank; set once text and box are read
  bool type3 = false;  // drawn by a Type 3 font, whose em pdfium cannot tell
  double narrowed = 1;  // its horizontal scale against its height (a line narrowed to fit)
};

// One character as drawn: a ligature's parts share one box and travel
// together, and a spacing accent set over a letter (the way TeX builds
// accented letters) is composed with it, so neither breaks a word or a line.
struct Glyph {
  int index = 0;  // pdfium character index, for the style
  QString text;
  QRectF rect;  // in the reading frame of `angle`
  double angle = 0;  // the text's direction on the shown page, degrees counter-clockwise
  bool lineFeed = false;
  // Written top to bottom with upright glyphs: `angle` is then the direction
  // the column runs in, not the one its glyphs stand in.
  bool vertical = false;
  std::optional<FS_MATRIX> matrix;  // of the character at `index`, read once for angle and size
};

// The character's own box in its reading frame, from the upright box pdfium
// gives on the shown page: exact for quarter turns; for other angles the
// glyph's sides are solved from the upright box, and where that is ill-posed
// (near 45 degrees) the turned upright box stands in.
QRectF readingBox(const QRectF& shown, double angle) {
  if (angle == 0.0) return shown.translated(0.0, 0.0);  // what the unturned frame's mapRect gives
  const QTransform frame = readingFrame(angle);
  const QRectF turned = frame.mapRect(shown);
  if (std::fmod(angle, 90.0) == 0.0) return turned;
  const double c = std::abs(std::cos(angle * std::numbers::pi / 180.0));
  const double s = std::abs(std::sin(angle * std::numbers::pi / 180.0));
  const double det = c * c - s * s;
  if (std::abs(det) < 0.25) return turned;
  const double w = (shown.width() * c - shown.height() * s) / det;
  const double h = (shown.height() * c - shown.width() * s) / det;
  if (!(w > 0) || !(h > 0)) return turned;
  const QPointF centre = turned.center();
  return QRectF(centre.x() - w / 2, centre.y() - h / 2, w, h);
}

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
  if (accent.text.size() != 1 || !combiningFormOf(accent.text.at(0).unicode())) return false;
  if (letter.text.isEmpty() || !letter.text.at(0).isLetter()) return false;
  const QPointF c = accent.rect.center();
  return c.x() >= letter.rect.left() - 0.5 && c.x() <= letter.rect.right() + 0.5 &&
         (c.y() > letter.rect.center().y()) != (accent.text.at(0).unicode() == 0x00B8 ||
                                                accent.text.at(0).unicode() == 0x02DB);
}

void composeAccent(Glyph& letter, const Glyph& accent) {
  letter.text = (letter.text + QChar(combiningFormOf(accent.text.at(0).unicode())))
                    .normalized(QString::NormalizationForm_C);
}

// Combining marks only (Thai tone marks, Hebrew points, Indic vowel signs):
// they are part of the letter they sit on, wherever their box stands.
bool onlyMarks(const QString& text) {
  if (text.isEmpty()) return false;
  for (const char32_t c : text.toUcs4()) {
    const QChar::Category category = QChar::category(c);
    if (category != QChar::Mark_NonSpacing && category != QChar::Mark_SpacingCombining &&
        category != QChar::Mark_Enclosing)
      return false;
  }
  return true;
}

// Whether a mark's centre lies over `letter` along the line.
bool markSitsOn(const Glyph& mark, const Glyph& letter) {
  const double x = mark.rect.center().x();
  return x >= letter.rect.left() - std::max(mark.rect.width(), 1.0) &&
         x <= letter.rect.right() + std::max(mark.rect.width(), 1.0);
}

bool sameBox(const QRectF& a, const QRectF& b) {
  return a.width() > 0.01 && std::abs(a.x() - b.x()) < 0.01 && std::abs(a.width() - b.width()) < 0.01 &&
         std::abs(a.y() - b.y()) < 0.01;
}

// A blank made up after glyph g, where the page leaves a gap.
Glyph blankAfter(const Glyph& g) {
  Glyph blank = g;
  blank.text = QStringLiteral(" ");
  blank.rect = QRectF(g.rect.right(), g.rect.y(), 0, 0);
  return blank;
}

// pdfium orders the characters of a line as they run across the page turned
// by its /Rotate, so text that reads right to left on the shown page (an
// upright line of a page turned upside down) arrives last character first.
// Such a stretch, between line feeds and in one direction, is put back into
// reading order when most of its steps go backwards along its baseline; the
// blanks pdfium made up for it fall between the wrong letters, so they are
// made again from the gaps between the letters.
void putStretchesInReadingOrder(std::vector<Glyph>& glyphs) {
  auto visible = [](const Glyph& g) { return !isBlank(g.text) && g.rect.width() > 0.01; };
  size_t start = 0;
  while (start < glyphs.size()) {
    size_t end = start;
    while (end < glyphs.size() && !glyphs[end].lineFeed && sameAngle(glyphs[end].angle, glyphs[start].angle)) ++end;
    int forward = 0;
    int backward = 0;
    const Glyph* previous = nullptr;
    for (size_t i = start; i < end; ++i) {
      if (!visible(glyphs[i])) continue;
      const QRectF& c = glyphs[i].rect;
      if (previous && std::abs(c.center().y() - previous->rect.center().y()) < 0.5 * std::max(c.height(), 1.0))
        (c.center().x() > previous->rect.center().x() ? forward : backward) += 1;
      previous = &glyphs[i];
    }
    if (backward > forward) {
      std::vector<Glyph> letters;
      std::vector<double> heights;
      for (size_t i = end; i-- > start;) {
        if (!visible(glyphs[i])) continue;
        letters.push_back(glyphs[i]);
        heights.push_back(glyphs[i].rect.height());
      }
      std::sort(heights.begin(), heights.end());
      const double wordGap = heights.empty() ? 1.0 : 0.45 * heights[heights.size() / 2];
      std::vector<Glyph> stretch;
      for (const Glyph& g : letters) {
        if (!stretch.empty() && g.rect.left() - stretch.back().rect.right() > wordGap)
          stretch.push_back(blankAfter(stretch.back()));
        stretch.push_back(g);
      }
      glyphs.erase(glyphs.begin() + qsizetype(start), glyphs.begin() + qsizetype(end));
      glyphs.insert(glyphs.begin() + qsizetype(start), stretch.begin(), stretch.end());
      end = start + stretch.size();
    }
    start = std::max(end, start + 1);
  }
}

// Whether `next` stands under `previous` in their reading frame, as the
// glyphs of a column of vertical writing do: one over the other, below it
// and no more than about a glyph away.
bool standsUnder(const QRectF& next, const QRectF& previous) {
  const double em = std::max({next.width(), next.height(), previous.width(), previous.height()});
  const bool oneOverOther = (next.center().x() >= previous.left() && next.center().x() <= previous.right()) ||
                            (previous.center().x() >= next.left() && previous.center().x() <= next.right());
  return oneOverOther && next.center().y() < previous.center().y() - 0.5 * std::min(next.height(), previous.height()) &&
         previous.y() - (next.y() + next.height()) < 1.5 * em;
}

// pdfium breaks lines between stacked glyphs of horizontal writing, but a
// font written vertically (Identity-V, writing mode 1) runs on down a
// column. A stretch between line feeds whose glyphs nearly all stand one
// under the next is such a column (a few stacked letters of a calligraphic
// line are not): it is read as text running down the page, so that it is
// cut into lines along the column, not into one line a glyph.
void markVerticalStretches(std::vector<Glyph>& glyphs) {
  auto visible = [](const Glyph& g) { return !isBlank(g.text) && g.rect.width() > 0.01 && g.rect.height() > 0.01; };
  size_t start = 0;
  while (start < glyphs.size()) {
    size_t end = start;
    while (end < glyphs.size() && !glyphs[end].lineFeed && sameAngle(glyphs[end].angle, glyphs[start].angle)) ++end;
    const double angle = glyphs[start].angle;
    int under = 0;
    int beside = 0;
    const Glyph* previous = nullptr;
    for (size_t i = start; i < end; ++i) {
      if (!visible(glyphs[i])) continue;
      if (previous) (standsUnder(glyphs[i].rect, previous->rect) ? under : beside) += 1;
      previous = &glyphs[i];
    }
    if (std::fmod(angle, 90.0) == 0.0 && under > 0 && under >= 4 * beside) {
      const double down = std::fmod(angle + 270.0, 360.0);
      const QTransform shown = readingFrame(angle).inverted();
      for (size_t i = start; i < end; ++i) {
        glyphs[i].rect = readingBox(shown.mapRect(glyphs[i].rect), down);
        glyphs[i].angle = down;
        glyphs[i].vertical = true;
      }
    }
    start = std::max(end, start + 1);
  }
}

std::vector<Glyph> readGlyphs(FPDF_TEXTPAGE textPage, const PageSpace& space) {
  std::vector<Glyph> glyphs;
  double lastAngle = 0;
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
    g.text = lettersOfCode(char32_t(u));
    if (FS_MATRIX m{}; FPDFText_GetMatrix(textPage, i, &m)) g.matrix = m;
    // Blanks and characters without a matrix follow the text around them.
    const double angle = isBlank(g.text) ? std::nan("") : shownAngle(g.matrix, space);
    g.angle = !std::isnan(angle) ? angle : lastAngle;
    lastAngle = g.angle;
    g.rect = readingBox(space.toShown(QRectF(std::min(left, right), std::min(bottom, top), std::abs(right - left),
                                             std::abs(top - bottom))),
                        g.angle);

    Glyph* previous = glyphs.empty() || glyphs.back().lineFeed || !sameAngle(glyphs.back().angle, g.angle)
                          ? nullptr
                          : &glyphs.back();
    if (previous && !g.text.isEmpty() && sameBox(previous->rect, g.rect)) {
      previous->text += g.text;  // the next part of a ligature
    } else if (previous && onlyMarks(g.text) && !onlyMarks(previous->text) && markSitsOn(g, *previous)) {
      previous->text += g.text;  // a mark above or below its letter, not a line of its own
      // A vowel sign beside its letter takes room of its own on the line.
      if (QChar::category(g.text.toUcs4().value(0)) == QChar::Mark_SpacingCombining) {
        previous->rect.setLeft(std::min(previous->rect.left(), g.rect.left()));
        previous->rect.setRight(std::max(previous->rect.right(), g.rect.right()));
      }
    } else if (previous && accentSitsOn(*previous, g)) {
      composeAccent(g, *previous);
      glyphs.back() = g;
    } else if (previous && accentSitsOn(g, *previous)) {
      composeAccent(*previous, g);
    } else {
      glyphs.push_back(std::move(g));
    }
  }
  putStretchesInReadingOrder(glyphs);
  markVerticalStretches(glyphs);
  return glyphs;
}

// Shows of the page that pdfium reads as nothing and that draw no ink: where
// one stands in a gap between two letters of an upright line, it draws the
// blank there (a line written in two faces may set its blanks in one and its
// letters in another, whose blank pdfium leaves out). Only the page's own
// shows are looked at, not those of its forms.
void addBlankShows(std::vector<Glyph>& glyphs, FPDF_PAGE page, FPDF_TEXTPAGE textPage, const PageSpace& space) {
  std::vector<QPointF> origins;
  const int count = FPDFPage_CountObjects(page);
  for (int i = 0; i < count; ++i) {
    FPDF_PAGEOBJECT object = FPDFPage_GetObject(page, i);
    if (FPDFPageObj_GetType(object) != FPDF_PAGEOBJ_TEXT) continue;
    float left = 0, bottom = 0, right = 0, top = 0;
    if (!FPDFPageObj_GetBounds(object, &left, &bottom, &right, &top) || right > left || top > bottom) continue;
    if (FPDFTextObj_GetText(object, textPage, nullptr, 0) > 2) continue;  // it reads as something
    origins.push_back(space.toShown(QRectF(left, bottom, 0, 0)).topLeft());
  }
  if (origins.empty()) return;
  // By x, so that each gap looks only at the shows standing in it.
  std::sort(origins.begin(), origins.end(), [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
  std::vector<Glyph> read;
  read.reserve(glyphs.size());
  for (Glyph& g : glyphs) {
    const Glyph* previous = read.empty() ? nullptr : &read.back();
    if (previous && !previous->lineFeed && !g.lineFeed && sameAngle(previous->angle, 0.0) && sameAngle(g.angle, 0.0) &&
        !isBlank(previous->text) && !isBlank(g.text)) {
      const QRectF &a = previous->rect, &b = g.rect;
      const double height = std::max(a.height(), b.height());
      const bool gap = b.left() - a.right() > 0.15 * height;
      const auto inBand = [&](const QPointF& o) {
        return o.y() >= std::min(a.top(), b.top()) - 1 && o.y() <= std::max(a.bottom(), b.bottom()) + 1;
      };
      const auto from = std::lower_bound(origins.begin(), origins.end(), a.right() - 1,
                                         [](const QPointF& o, double x) { return o.x() < x; });
      const auto to = std::lower_bound(from, origins.end(), b.left(), [](const QPointF& o, double x) { return o.x() < x; });
      if (gap && std::any_of(from, to, inBand)) read.push_back(blankAfter(*previous));
    }
    read.push_back(std::move(g));
  }
  glyphs = std::move(read);
}

bool charHasVisibleInk(const CharInfo& c) { return c.visible; }

double centreY(const QRectF& r) { return r.y() + 0.5 * r.height(); }

// What a character takes from the text object it belongs to: font, size,
// weight, colour and render mode. Most characters share their object with
// the character before, so it is read once per object.
struct ObjectStyle {
  FPDF_PAGEOBJECT object = nullptr;
  double fontSize = 0;  // as the object sets it, before any matrix
  const FontNameStyle* font = nullptr;
  // Bold by the font's name, its stated weight or its ForceBold flag; never
  // by the weight pdfium estimates from /StemV, which is high for many
  // regular faces.
  bool bold = false;
  int mode = FPDF_TEXTRENDERMODE_FILL;
  bool read = false;  // the PDF gives a usable colour
  QColor color{0, 0, 0};
  bool transparent = false;
  bool type3 = false;
};

void readObjectStyle(FPDF_TEXTPAGE textPage, int index, FPDF_PAGEOBJECT object, FontNameStyles& fonts,
                     ObjectStyle& style) {
  style.object = object;
  style.fontSize = FPDFText_GetFontSize(textPage, index);
  int flags = 0;
  style.font = &fonts.forCharacter(textPage, index, &flags);
  constexpr int kForceBold = 1 << 18;
  style.bold = style.font->boldByName || (flags & kForceBold) != 0 || fonts.statedBold(object);
  style.type3 = object && LineGlyphCut::isType3(FPDFTextObj_GetFont(object));
  style.mode = object ? FPDFTextObj_GetTextRenderMode(object) : FPDF_TEXTRENDERMODE_FILL;
  style.color = Qt::black;
  style.transparent = false;
  unsigned int r = 0, g = 0, b = 0, a = 255;
  style.read = FPDFText_GetFillColor(textPage, index, &r, &g, &b, &a);
  if (style.read) {
    if (r <= 255 && g <= 255 && b <= 255 && a <= 255) {
      style.color = QColor(int(r), int(g), int(b), int(a));
      style.transparent = a <= 8;
    } else {
      style.color = QColor();
      style.read = false;
    }
  }
  // Outlined text shows its stroke colour.
  if (style.mode == FPDF_TEXTRENDERMODE_STROKE || style.mode == FPDF_TEXTRENDERMODE_STROKE_CLIP) {
    unsigned int sr = 0, sg = 0, sb = 0, sa = 255;
    style.read = FPDFText_GetStrokeColor(textPage, index, &sr, &sg, &sb, &sa) && sr <= 255 && sg <= 255 &&
                 sb <= 255 && sa <= 255 && sa > 8;
    if (style.read) style.color = QColor(int(sr), int(sg), int(sb), int(sa));
  }
}

// The fill of the copy a page paints over a show at its very place (a
// visible line over a faint one), by the show pdfium reads: it reads the
// copy's letters once, the first show's, but an edit of the line shows the copy's.
std::map<FPDF_PAGEOBJECT, QColor> fillsOfCopies(FPDF_PAGE page) {
  std::map<FPDF_PAGEOBJECT, QColor> fills;
  std::map<std::tuple<FPDF_FONT, qint64, qint64, qint64, qint64>, FPDF_PAGEOBJECT> first;
  const int count = FPDFPage_CountObjects(page);
  for (int i = 0; i < count; ++i) {
    FPDF_PAGEOBJECT object = FPDFPage_GetObject(page, i);
    float l = 0, b = 0, r = 0, t = 0;
    if (!object || FPDFPageObj_GetType(object) != FPDF_PAGEOBJ_TEXT || !FPDFPageObj_GetBounds(object, &l, &b, &r, &t))
      continue;
    const auto key = std::make_tuple(FPDFTextObj_GetFont(object), qRound64(l * 2), qRound64(b * 2), qRound64(r * 2),
                                     qRound64(t * 2));
    const auto [it, added] = first.try_emplace(key, object);
    unsigned int red = 0, green = 0, blue = 0, alpha = 255;
    if (!added && FPDFPageObj_GetFillColor(object, &red, &green, &blue, &alpha) && red <= 255 && green <= 255 &&
        blue <= 255 && alpha > 8 && alpha <= 255)
      fills[it->second] = QColor(int(red), int(green), int(blue), int(alpha));
  }
  return fills;
}

void readCharStyle(FPDF_TEXTPAGE textPage, const Glyph& glyph, CharInfo& c, FontNameStyles& fonts,
                   ImagesOverText& images, ObjectStyle& style, const QRectF& shownBox,
                   const std::map<FPDF_PAGEOBJECT, QColor>& copies) {
  FPDF_PAGEOBJECT object = FPDFText_GetTextObject(textPage, glyph.index);
  if (!object || object != style.object) {
    readObjectStyle(textPage, glyph.index, object, fonts, style);
    if (const auto copy = copies.find(object); copy != copies.end() && style.read) style.color = copy->second;
  }
  c.fontSize = style.fontSize > 0 ? drawnFontSize(glyph.matrix, style.fontSize) : std::max(c.rect.height(), 6.0);
  c.fontName = style.font->name;
  c.bold = style.bold;
  c.italic = style.font->italic;
  c.color = style.color;
  c.type3 = style.type3;
  // Render mode 3 is how recognised text layers are usually hidden; it is as
  // invisible as a transparent fill.
  const bool hidden = style.mode == FPDF_TEXTRENDERMODE_INVISIBLE || style.mode == FPDF_TEXTRENDERMODE_CLIP;
  c.transparent = style.transparent || style.mode == FPDF_TEXTRENDERMODE_INVISIBLE;
  c.clips = style.mode >= FPDF_TEXTRENDERMODE_FILL_CLIP;
  // A pattern fill reads as white: what the page paints tells its colour.
  const bool patternLike = style.read && style.color == QColor(Qt::white);
  c.inkDecides = !style.read || patternLike || c.transparent || hidden || (object && images.covers(object, shownBox));
}

const CharInfo& styleReferenceForChar(const QList<CharInfo>& chars, int i) {
  i = std::clamp(i, 0, int(chars.size()) - 1);
  if (charHasVisibleInk(chars.at(i))) return chars.at(i);
  for (int j = i + 1; j < chars.size(); ++j)
    if (charHasVisibleInk(chars.at(j))) return chars.at(j);
  for (int j = i - 1; j >= 0; --j)
    if (charHasVisibleInk(chars.at(j))) return chars.at(j);
  return chars.at(i);
}

double medianOf(std::vector<double>& values) {
  const auto middle = values.begin() + qsizetype(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

// A line's characters as they stand from left to right, which its reading
// order is made from: a page may draw right-to-left text in reading order
// (as edits written here do), or partly so. The blanks are made again from
// the gaps between letters.
QList<CharInfo> inVisualOrder(const QList<CharInfo>& run) {
  QList<CharInfo> glyphs;
  std::vector<GlyphPlace> places;
  std::vector<double> heights;
  bool rightToLeft = false, ascending = true;
  double lastLetterCentre = 0;
  for (const CharInfo& c : run) {
    rightToLeft = rightToLeft || readsRightToLeft(c.text);
    if (isBlank(c.text)) continue;
    const bool letter = charHasVisibleInk(c) && !onlyMarks(c.text);
    if (letter) {
      if (!heights.empty() && c.rect.center().x() < lastLetterCentre - 0.5) ascending = false;
      lastLetterCentre = c.rect.center().x();
      heights.push_back(c.rect.height() * c.narrowed);
    }
    glyphs.append(c);
    places.push_back({c.rect.left(), c.rect.right(), letter});
  }
  if (!rightToLeft || ascending) return run;
  QList<CharInfo> visual;
  for (const std::vector<int>& group : glyphsByPlace(places, 0.45 * medianOf(heights))) {
    for (const int i : group) visual.append(glyphs.at(i));
    if (!group.empty()) continue;
    CharInfo blank = visual.back();
    blank.text = QStringLiteral(" ");
    blank.rect = QRectF(blank.rect.right(), blank.rect.y(), 0, 0);
    blank.visible = false;
    visual.append(blank);
  }
  return visual;
}

// Cuts one physical line into runs where the text jumps back left on the same
// baseline (a second column) or leaves a wide gap to the right.
QList<QList<CharInfo>> splitNativePdfLineChars(const QList<CharInfo>& chars) {
  std::vector<double> heights;
  std::vector<double> widths;
  heights.reserve(size_t(chars.size()));
  widths.reserve(size_t(chars.size()));
  for (const CharInfo& c : chars) {
    if (!charHasVisibleInk(c) || onlyMarks(c.text)) continue;
    heights.push_back(std::max(c.rect.height(), 1.0));
    widths.push_back(std::max(c.rect.width(), 0.1));
  }
  if (heights.size() < 2) return {chars};

  const double medianHeight = medianOf(heights);
  const double medianWidth = medianOf(widths);
  const double backGap = std::max(2.0 * medianWidth, 4.0);
  const double wideGap = std::max({4.5 * medianWidth, 1.1 * medianHeight, 8.0});

  QList<QList<CharInfo>> runs;
  auto emitChars = [&](QList<CharInfo> run) {
    while (!run.isEmpty() && isBlank(run.front().text)) run.removeFirst();
    while (!run.isEmpty() && isBlank(run.back().text)) run.removeLast();
    if (std::any_of(run.begin(), run.end(), charHasVisibleInk)) runs.append(std::move(run));
  };
  auto emitRun = [&](int start, int end) { emitChars(chars.mid(start, end - start)); };

  // Right-to-left text comes in any order: kept pieces and typed words as
  // edits write them, words of other scripts that pdfium reverses. Such a
  // line is cut only where its glyphs, as they stand, leave a wide gap.
  if (std::any_of(chars.begin(), chars.end(), [](const CharInfo& c) { return readsRightToLeft(c.text); })) {
    std::vector<int> standing;
    for (int i = 0; i < chars.size(); ++i)
      if (charHasVisibleInk(chars.at(i)) && !onlyMarks(chars.at(i).text)) standing.push_back(i);
    std::sort(standing.begin(), standing.end(),
              [&](int a, int b) { return chars.at(a).rect.left() < chars.at(b).rect.left(); });
    std::vector<int> runOf(size_t(chars.size()), -1);
    int count = 0;
    double right = 0;
    for (const int i : standing) {
      if (count == 0 || chars.at(i).rect.left() - right > wideGap) {
        ++count;
        right = chars.at(i).rect.right();
      }
      right = std::max(right, chars.at(i).rect.right());
      runOf[size_t(i)] = count - 1;
    }
    // Blanks and marks go with the glyph drawn before them.
    int last = runOf[size_t(standing.front())];
    for (int& r : runOf) r = r >= 0 ? (last = r) : last;
    QList<QList<CharInfo>> cut(count);
    for (int i = 0; i < chars.size(); ++i) cut[runOf[size_t(i)]].append(chars.at(i));
    for (QList<CharInfo>& run : cut) emitChars(std::move(run));
    if (runs.isEmpty()) runs.append(chars);
    return runs;
  }

  int runStart = 0;
  int previous = -1;  // last visible character of the current run
  for (int i = 0; i < chars.size(); ++i) {
    const CharInfo& c = chars.at(i);
    // A mark stands over a letter before it, wherever its box says.
    if (!charHasVisibleInk(c) || onlyMarks(c.text)) continue;
    if (previous >= 0) {
      const QRectF& p = chars.at(previous).rect;
      // Right-to-left letters drawn in reading order step left, one beside the other.
      const bool readsOnLeft = readsRightToLeft(c.text) && c.rect.right() <= p.left() + 0.5 * medianWidth &&
                               p.left() - c.rect.right() <= wideGap;
      const bool jumpsBack = !readsOnLeft && p.right() > c.rect.x() + backGap &&
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

bool sameStyle(const CharInfo& a, const CharInfo& b) {
  return a.bold == b.bold && a.italic == b.italic && std::abs(a.fontSize - b.fontSize) < 0.15 &&
         a.fontName == b.fontName && a.color == b.color;
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

// QRectF::normalized, without the call for boxes that need nothing.
QRectF upright(const QRectF& r) { return r.width() >= 0 && r.height() >= 0 ? r : r.normalized(); }

// QRectF::united, inlined: it runs for every character twice.
QRectF unitedBoxes(const QRectF& a, const QRectF& b) {
  if (a.isNull()) return b;
  if (b.isNull()) return a;
  const QRectF p = upright(a);
  const QRectF q = upright(b);
  const double left = std::min(p.left(), q.left());
  const double top = std::min(p.top(), q.top());
  return QRectF(left, top, std::max(p.right(), q.right()) - left, std::max(p.bottom(), q.bottom()) - top);
}

bool nearlyInvisible(const QColor& c) { return c.isValid() && c.alpha() <= 8; }

// How tall a letter stands in ems in most fonts: capitals, digits and
// ascenders; letters with descenders; the rest of the lower case. 0 for
// anything else.
double emsTall(QChar c) {
  if (c.isUpper() || c.isDigit() || QStringView(u"bdfhiklt").contains(c)) return 0.72;
  if (QStringView(u"gjpqy").contains(c)) return 0.73;
  return c.isLower() ? 0.52 : 0.0;
}

// A Type 3 font draws its glyphs through its own matrix and procedures,
// which the size pdfium reports leaves out: most such fonts draw a
// thousandth of a unit per glyph unit, as that size assumes, but one may
// scale its glyphs by any factor. Where the letters' heights say the line is
// drawn far larger or smaller than that size, they decide. pdfium boxes such
// a glyph by the box its procedure states, which may reach far beyond what
// it draws, so a box's word is checked against the ink the glyph left on an
// upright line, in the columns no neighbour's box shares.
void sizeType3Line(TextBlock::Line& line, const QList<CharInfo>& chars, LazyInk& ink, const QSizeF& pageSize,
                   double angle) {
  std::vector<double> shown;
  std::vector<double> told;
  std::vector<qsizetype> letters;
  for (qsizetype i = 0; i < chars.size(); ++i) {
    const CharInfo& c = chars.at(i);
    if (!c.visible) continue;
    if (!c.type3) return;
    const double ems = c.text.size() == 1 ? emsTall(c.text.at(0)) : 0.0;
    if (ems == 0.0) continue;
    shown.push_back(c.rect.height() / ems);
    told.push_back(c.fontSize);
    letters.push_back(i);
  }
  if (shown.size() < 2) return;
  const double toldSize = medianOf(told);
  auto fits = [](double ratio) { return !std::isfinite(ratio) || (ratio > 0.6 && ratio < 1.6); };
  double ratio = medianOf(shown) / toldSize;
  if (fits(ratio)) return;
  if (angle == 0.0) {
    auto visibleNeighbour = [&](qsizetype from, qsizetype step) -> const CharInfo* {
      for (qsizetype j = from + step; j >= 0 && j < chars.size(); j += step)
        if (chars.at(j).visible) return &chars.at(j);
      return nullptr;
    };
    std::vector<double> drawn;
    for (const qsizetype i : letters) {
      const QRectF& box = chars.at(i).rect;
      double left = box.left(), right = box.right();
      if (const CharInfo* before = visibleNeighbour(i, -1)) left = std::max(left, before->rect.right());
      if (const CharInfo* after = visibleNeighbour(i, 1)) right = std::min(right, after->rect.left());
      if (right - left < 1.0) {
        left = box.left() + box.width() / 3;
        right = box.right() - box.width() / 3;
      }
      const auto span = ink.inkedSpan(QRectF(left, box.y(), right - left, box.height()), pageSize);
      if (span && span->second > span->first)
        drawn.push_back((span->second - span->first) / emsTall(chars.at(i).text.at(0)));
    }
    if (drawn.size() >= 2) ratio = medianOf(drawn) / toldSize;
    if (fits(ratio)) return;
  }
  line.fontSize = float(line.fontSize * ratio);
  for (auto& span : line.spans) span.fontSize = float(span.fontSize * ratio);
}

// Builds the line in the reading frame of `angle`; the ink is looked for in
// the line's place on the shown page.
std::optional<TextBlock::Line> lineFromChars(const QList<CharInfo>& chars, LazyInk& ink,
                                             const QSizeF& pageSize, double angle) {
  // Spans and words are cut from the line's text, each char's place in it kept.
  TextBlock::Line line;
  std::vector<qsizetype> starts;
  starts.reserve(size_t(chars.size()) + 1);
  qsizetype length = 0;
  for (const CharInfo& c : chars) {
    starts.push_back(length);
    length += c.text.size();
    line.rect = unitedBoxes(line.rect, c.rect);
  }
  starts.push_back(length);
  line.text = QString(length, Qt::Uninitialized);
  QChar* out = line.text.data();
  for (const CharInfo& c : chars) out = std::copy(c.text.cbegin(), c.text.cend(), out);
  line.rect = upright(line.rect);
  if (isBlank(line.text)) return std::nullopt;
  auto textOf = [&](qsizetype from, qsizetype to) { return line.text.mid(starts[from], starts[to] - starts[from]); };

  const CharInfo& first = styleReferenceForChar(chars, 0);
  line.fontFamily = first.fontName;
  line.fontSize = float(first.fontSize);
  line.bold = first.bold;
  line.italic = first.italic;
  line.color = first.color.isValid() ? first.color : QColor(Qt::black);
  line.transparentText = std::any_of(chars.begin(), chars.end(), [](const CharInfo& c) { return c.transparent; });
  line.drawnAsClip = std::any_of(chars.begin(), chars.end(), [](const CharInfo& c) { return c.clips; });

  const CharInfo* spanReference = &first;
  qsizetype spanStart = 0;
  auto emitSpan = [&](qsizetype end) {
    if (starts[end] > starts[spanStart]) {
      TextBlock::Line::Span span = spanFor(*spanReference);
      span.text = textOf(spanStart, end);
      line.spans.push_back(std::move(span));
    }
    spanStart = end;
  };
  for (qsizetype j = 0; j < chars.size(); ++j) {
    const CharInfo& reference = styleReferenceForChar(chars, int(j));
    if (!sameStyle(reference, *spanReference)) {
      emitSpan(j);
      spanReference = &reference;
    }
  }
  emitSpan(chars.size());

  qsizetype wordStart = -1;
  QRectF wordRect;
  for (qsizetype j = 0; j <= chars.size(); ++j) {
    if (j == chars.size() || isBlank(chars.at(j).text)) {
      if (wordStart >= 0 && starts[j] > starts[wordStart]) line.words.push_back({textOf(wordStart, j), wordRect});
      wordStart = -1;
      continue;
    }
    const QRectF& r = chars.at(j).rect;
    if (wordStart < 0) {
      wordStart = j;
      wordRect = r;
    } else {
      wordRect = unitedBoxes(wordRect, r);
    }
  }

  sizeType3Line(line, chars, ink, pageSize, angle);

  // The PDF's own colours stand where the page shows them; the rendered ink
  // only where it does not.
  const bool inkDecides =
      std::any_of(chars.begin(), chars.end(), [](const CharInfo& c) { return c.inkDecides && charHasVisibleInk(c); });
  if (!inkDecides) return line;
  const QRectF shownBox = angle == 0.0 ? line.rect : readingFrame(angle).inverted().mapRect(line.rect);
  if (const std::optional<QColor> colour = ink.colourIn(shownBox, pageSize)) {
    line.color = *colour;
    for (auto& s : line.spans) s.color = *colour;
  } else {
    // Invisible text with nothing drawn under it: show it black rather than not at all.
    if (nearlyInvisible(line.color)) line.color = Qt::black;
    for (auto& s : line.spans)
      if (nearlyInvisible(s.color)) s.color = Qt::black;
  }
  return line;
}

// A line cut in a turned reading frame, moved so that its box is centred on
// the place the line has on the shown page: the box the block keeps
// unturned. Its words move with it.
struct PlacedLine {
  TextBlock::Line line;
  double rotation = 0;  // clockwise as shown
  double angle = 0;     // of its reading frame
  bool vertical = false;
};

// A column of vertical writing is cut as text running down the page but
// shows upright: its box and its words' boxes are the ones it covers there.
PlacedLine placeLine(TextBlock::Line line, double angle, bool vertical) {
  if (angle == 0.0) return {std::move(line), 0.0, 0.0, vertical};
  const QPointF centre = line.rect.center();
  const QPointF offset = readingFrame(angle).inverted().map(centre) - centre;
  line.rect.translate(offset);
  for (auto& word : line.words) word.rect.translate(offset);
  const double clockwise = angle < 180.0 ? -angle : 360.0 - angle;
  if (!vertical) return {std::move(line), clockwise, angle, false};
  for (auto& word : line.words) word.rect = turnedBounds(word.rect, clockwise, line.rect.center());
  line.rect = turnedBounds(line.rect, clockwise);
  return {std::move(line), 0.0, angle, true};
}

// Top-down, then left to right, as read in the lines' own frame; lines of
// different directions go by direction, upright text first.
bool readsBefore(const PlacedLine& a, const PlacedLine& b) {
  if (!sameAngle(a.angle, b.angle)) return a.angle < b.angle;
  const QTransform frame = readingFrame(a.angle);
  const QPointF pa = frame.map(a.line.rect.center());
  const QPointF pb = frame.map(b.line.rect.center());
  if (std::abs(pa.y() - pb.y()) > 2.0) return pa.y() > pb.y();
  return pa.x() - a.line.rect.width() / 2 < pb.x() - b.line.rect.width() / 2;
}

// Insertion sort: the order above is not transitive, which std::sort must
// never be given; this stays in bounds and keeps equal lines in page order.
void sortIntoReadingOrder(std::vector<PlacedLine>& lines) {
  for (size_t i = 1; i < lines.size(); ++i) {
    size_t j = i;
    while (j > 0 && readsBefore(lines[i], lines[j - 1])) --j;
    if (j != i) std::rotate(lines.begin() + qsizetype(j), lines.begin() + qsizetype(i), lines.begin() + qsizetype(i) + 1);
  }
}

}  // namespace

std::vector<TextBlock> PdfDocument::extractText(int page) const {
  DocumentLock lock(mutexAfterCheck(page));
  if (!doc || page < 0) return {};
  pdfium::Page loaded(loadPageUnlocked(page));
  if (!loaded) return {};
  pdfium::TextPage textPage(FPDFText_LoadPage(loaded.get()));
  if (!textPage) return {};

  const PageSpace space = PageSpace::ofPage(loaded.get());
  const QSizeF pageSize = space.shownSize();
  LazyInk ink(loaded.get(), loadGuard->renderCost(page));
  const std::map<FPDF_PAGEOBJECT, QColor> copyFills = fillsOfCopies(loaded.get());
  if (!statedFontWeights) statedFontWeights = std::make_unique<StatedFontWeights>();
  // Pages deleted, moved or added since the bytes were read: the page's
  // fonts are looked up where the page stands in them, or not at all.
  const int pageInFile = loadGuard->indexIn(fileData, page);
  FontNameStyles fonts([this, pageInFile](const QByteArray& baseFont, int flags, int stemWeight) {
    return pageInFile < 0 ? 0 : statedFontWeights->weight(fileData, openPassword, pageInFile, baseFont, flags, stemWeight);
  });
  ImagesOverText images(loaded.get(), space);
  ObjectStyle objectStyle;

  std::vector<PlacedLine> lines;
  QList<CharInfo> current;
  double lineAngle = 0;
  bool lineVertical = false;
  double lineCenterY = 0;
  double lineMaxHeight = 0;
  double lineRight = -1e9;
  double lineLastLeft = -1e9;  // of the last visible character, whose right is lineRight
  bool lineRightToLeft = false;
  bool feedPending = false;  // pdfium broke the line here
  int lineLastIndex = -1;     // pdfium's index of the last visible character
  // Lines are built once every character is read: rendering the page for
  // ink loads glyphs, and pdfium boxes a character differently after that.
  std::vector<std::tuple<QList<CharInfo>, double, bool>> runs;
  auto finishLine = [&] {
    if (current.isEmpty()) return;
    for (QList<CharInfo>& run : splitNativePdfLineChars(current))
      runs.emplace_back(std::move(run), lineAngle, lineVertical);
    current.clear();
    lineCenterY = 0;
    lineMaxHeight = 0;
    lineRight = -1e9;
    lineLastLeft = -1e9;
    lineRightToLeft = false;
    lineLastIndex = -1;
  };

  std::vector<Glyph> glyphs = readGlyphs(textPage.get(), space);
  addBlankShows(glyphs, loaded.get(), textPage.get(), space);
  for (Glyph& glyph : glyphs) {
    if (glyph.lineFeed) {
      feedPending = !current.isEmpty();
      continue;
    }
    CharInfo c;
    c.text = std::move(glyph.text);
    c.rect = glyph.rect;
    if (glyph.matrix) {
      const FS_MATRIX& m = *glyph.matrix;
      const double across = std::hypot(m.a, m.b), up = std::hypot(m.c, m.d);
      if (across > 0 && up > 0 && across < up) c.narrowed = across / up;
    }
    const double clampedHeight = std::max(c.rect.height(), 1.0);
    const double cy = centreY(c.rect);
    c.visible = !isBlank(c.text) && c.rect.width() > 0.01 && c.rect.height() > 0.01;
    // A mark above or below the line belongs to it: it neither starts a line nor moves its middle.
    const bool visible = c.visible && !onlyMarks(c.text);

    // Right-to-left letters drawn in reading order (as edits are written),
    // and words of other scripts pdfium reverses among them, move on
    // leftwards, each against the one before, whatever their height; other
    // text only so close that it cannot be a line jumping back.
    const double stepGap = lineRightToLeft || readsRightToLeft(c.text) ? 1.5 * std::max(clampedHeight, lineMaxHeight)
                                                                        : 0.3 * clampedHeight;
    const bool stepsLeft = c.rect.right() <= lineLastLeft + 0.5 * clampedHeight &&
                           c.rect.right() >= lineLastLeft - stepGap;
    const bool movesOn = std::fmod(glyph.angle, 90.0) == 0.0 &&
                         (c.rect.x() >= lineLastLeft || c.rect.center().x() >= 0.5 * (lineLastLeft + lineRight) ||
                          stepsLeft);
    // pdfium breaks a line between shows of one glyph each wherever it
    // takes the page for vertical writing (one line beside a taller word
    // may do it): such a glyph going on along the baseline, against the one
    // before, stays on the line. (Between longer shows the break stands for
    // the blank pdfium then leaves out.)
    if (feedPending) {
      feedPending = false;
      const auto oneGlyphShow = [&](int index) {
        const FPDF_PAGEOBJECT show = FPDFText_GetTextObject(textPage.get(), index);
        return show && FPDFTextObj_GetText(show, textPage.get(), nullptr, 0) <= 6;  // one character, terminated
      };
      // On the same baseline: a raised or lowered glyph (an exponent) stays a line of its own.
      const auto baseline = [&](int index) {
        double x = 0, y = 0;
        return FPDFText_GetCharOrigin(textPage.get(), index, &x, &y) ? space.toShown(QPointF(x, y)).y() : std::nan("");
      };
      const bool goesOn = visible && glyph.angle == 0.0 && lineAngle == 0.0 && oneGlyphShow(lineLastIndex) &&
                          oneGlyphShow(glyph.index) &&
                          std::abs(baseline(lineLastIndex) - baseline(glyph.index)) < 0.05 * clampedHeight &&
                          !glyph.vertical && !lineVertical &&
                          std::abs(cy - lineCenterY) <= 0.25 * std::max(clampedHeight, lineMaxHeight) &&
                          ((c.rect.x() >= lineRight - 0.3 * clampedHeight && c.rect.x() - lineRight <= clampedHeight) ||
                           stepsLeft);
      if (!goesOn) finishLine();
    }
    // Text turning to another direction starts a line of its own, and so
    // does text jumping back at another height. A glyph kerned into the one
    // before (a bracket, whose middle sits lower than a digit's) moves on
    // past its middle or at least starts over it: text jumping back starts
    // before it. Boxes of text turned by other than quarter turns are only
    // estimated, so there overlap alone decides.
    if (visible && !current.isEmpty() &&
        (!sameAngle(glyph.angle, lineAngle) || glyph.vertical != lineVertical ||
         std::abs(cy - lineCenterY) > 0.65 * std::max(clampedHeight, lineMaxHeight) ||
         (lineRight > c.rect.x() + 2.0 && !movesOn && std::abs(cy - lineCenterY) > 1.0)))
      finishLine();

    readCharStyle(textPage.get(), glyph, c, fonts, images, objectStyle,
                  glyph.angle == 0.0 ? c.rect : readingFrame(glyph.angle).inverted().mapRect(c.rect), copyFills);

    if (current.isEmpty()) {
      lineAngle = glyph.angle;
      lineVertical = glyph.vertical;
      lineCenterY = cy;
      lineMaxHeight = clampedHeight;
      if (visible) {
        lineRight = c.rect.right();
        lineLastLeft = c.rect.x();
      }
    } else if (visible) {
      lineCenterY = 0.82 * lineCenterY + 0.18 * cy;
      lineMaxHeight = std::max(clampedHeight, lineMaxHeight);
      lineRight = c.rect.right();
      lineLastLeft = c.rect.x();
    }
    lineRightToLeft = lineRightToLeft || readsRightToLeft(c.text);
    if (visible) lineLastIndex = glyph.index;
    current.append(std::move(c));
  }
  finishLine();

  for (auto& [run, angle, vertical] : runs) {
    run = inVisualOrder(run);
    QList<QString> drawn;
    for (const CharInfo& c : run) drawn << c.text;
    if (const std::vector<int> order = readingOrderOf(drawn); !order.empty()) {
      QList<CharInfo> reading;
      for (const int i : order) reading.append(run.at(i));
      run = std::move(reading);
    }
    if (std::optional<TextBlock::Line> line = lineFromChars(run, ink, pageSize, angle))
      lines.push_back(placeLine(std::move(*line), angle, vertical));
  }

  sortIntoReadingOrder(lines);
  std::vector<TextBlock> blocks;
  blocks.reserve(lines.size());
  for (auto& [line, rotation, angle, vertical] : lines) {
    TextBlock block;
    block.rotation = rotation;
    block.originalRotation = rotation;
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
    block.vertical = vertical;
    block.lines.push_back(std::move(line));
    blocks.push_back(std::move(block));
  }
  // Where each line may grow when an edit makes it longer, as the writer measures it.
  const QRectF column = pageTextColumn(blocks);
  // Glyphs read as nothing (a broken map) are in no line's box. Those a show
  // draws after a letter of a line (blanks between) end that line: an edit
  // keeps them with it, so they take none of its room.
  std::vector<QPointF> words;
  struct Unread {
    QPointF centre, after;  // and the letter its show draws before it
  };
  std::vector<Unread> unread;
  {
    const std::vector<PageChar> read = readPageChars(textPage.get(), space);
    const QPointF none(std::nan(""), std::nan(""));
    QPointF letter = none;
    for (size_t i = 0; i < read.size(); ++i) {
      const PageChar& c = read[i];
      if (i > 0 && read[i - 1].object != c.object) letter = none;
      const bool nothing = lettersOfCode(c.unicode).isEmpty();
      if (!nothing) letter = c.centre;
      if (c.hidden) continue;
      if (!nothing)
        words.push_back(c.centre);
      else
        unread.push_back({c.centre, letter});
    }
  }
  const std::vector<QRectF> painted = pageInkBoxes(loaded.get(), space);
  for (TextBlock& block : blocks)
    for (TextBlock::Line& line : block.lines) {
      // Marks the reading split from their letters stand above them, not in a row of their own.
      const bool marksOnly = std::all_of(line.text.begin(), line.text.end(), [](QChar c) {
        return c.isSpace() || c.isMark();
      });
      if (std::abs(block.rotation) >= 0.1 || line.words.empty() || marksOnly) continue;
      const QRectF box = writtenLineBox(block, line);
      QRectF own = box;
      for (const Unread& u : unread)
        if (!box.contains(u.centre) && box.contains(u.after) && u.centre.x() > box.right() &&
            std::abs(u.centre.y() - box.center().y()) < box.height() / 2)
          own.setRight(std::max(own.right(), u.centre.x() + 0.25 * box.height()));
      std::vector<QPointF> others;
      for (const QPointF& w : words)
        if (!own.contains(w)) others.push_back(w);
      for (const Unread& u : unread)
        if (!own.contains(u.centre)) others.push_back(u.centre);
      const LineRoom room = freeRoom(own, others, painted, column, pageSize.width());
      line.freeLeft = float(own.left() - room.left);
      line.freeRight = float(room.right - own.right());
      line.unreadAfter = float(own.right() - box.right());
    }
  // A line added under a one-line block goes at the page's pitch there: the
  // nearest line of its size above or below it in its column.
  // Upright lines by height, so that each looks only at the rows near it.
  std::vector<std::pair<double, const TextBlock::Line*>> rows;
  for (const TextBlock& block : blocks)
    if (std::abs(block.rotation) < 0.1)
      for (const TextBlock::Line& line : block.lines) rows.emplace_back(line.rect.y(), &line);
  std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (TextBlock& block : blocks) {
    if (block.lines.size() != 1 || std::abs(block.rotation) >= 0.1 || block.vertical) continue;
    const TextBlock::Line& line = block.lines.front();
    double nearest = 2.5 * line.rect.height();
    const auto from = std::lower_bound(rows.begin(), rows.end(), line.rect.y() - nearest,
                                       [](const auto& row, double y) { return row.first < y; });
    for (auto row = from; row != rows.end() && row->first < line.rect.y() + nearest; ++row) {
      const TextBlock::Line& next = *row->second;
      const double pitch = std::abs(next.rect.y() - line.rect.y());
      if (&next == &line || pitch < 0.8 * line.rect.height() || pitch >= nearest ||
          std::abs(next.fontSize - line.fontSize) > 0.2 * line.fontSize || next.rect.left() >= line.rect.right() ||
          next.rect.right() <= line.rect.left())
        continue;
      nearest = pitch;
    }
    if (nearest < 2.5 * line.rect.height()) block.pagePitch = float(nearest);
  }
  return blocks;
}
