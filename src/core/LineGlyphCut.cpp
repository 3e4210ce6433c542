#include "LineGlyphCut.h"

#include "FontNameItalic.h"
#include "HandleOwner.h"
#include "OpenTypeNames.h"
#include "PageSpace.h"
#include "PageTextCharacters.h"

#include <hb-ot.h>
#include <hb.h>

#include <QRegularExpression>
#include <Qt>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

bool isCombiningMark(char32_t c) {
  const hb_unicode_general_category_t category = hb_unicode_general_category(hb_unicode_funcs_get_default(), c);
  return category == HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK ||
         category == HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK || category == HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK;
}

bool shapedWithNeighbours(const QString& text) {
  hb_unicode_funcs_t* funcs = hb_unicode_funcs_get_default();
  for (const char32_t c : text.toUcs4()) {
    if (isCombiningMark(c)) return true;
    switch (hb_unicode_script(funcs, c)) {
      case HB_SCRIPT_LATIN: case HB_SCRIPT_CYRILLIC: case HB_SCRIPT_GREEK: case HB_SCRIPT_COMMON:
      case HB_SCRIPT_INHERITED: case HB_SCRIPT_HAN: case HB_SCRIPT_HIRAGANA: case HB_SCRIPT_KATAKANA:
      case HB_SCRIPT_HANGUL: case HB_SCRIPT_HEBREW: case HB_SCRIPT_ARMENIAN: case HB_SCRIPT_GEORGIAN:
        break;
      default:
        return true;
    }
  }
  return false;
}

namespace {

bool saysBold(const QString& name) {
  const QString lower = name.toLower();
  return lower.contains(QLatin1String("bold")) || lower.contains(QLatin1String("black")) ||
         lower.contains(QLatin1String("heavy")) || lower.contains(QLatin1String("demi"));
}

}  // namespace

bool LineGlyphCut::isType3(FPDF_FONT font) {
  size_t program = 1;
  return font && FPDFFont_GetIsEmbedded(font) == 1 && FPDFFont_GetFontData(font, nullptr, 0, &program) && program == 0;
}

LineGlyphCut::Style LineGlyphCut::styleOf(FPDF_FONT font) {
  Style style;
  if (!font) return style;
  char buffer[256] = {};
  const size_t length = FPDFFont_GetBaseFontName(font, buffer, sizeof buffer);
  QString name = length > 1 && length <= sizeof buffer ? QString::fromUtf8(buffer) : QString();
  if (const qsizetype plus = name.indexOf(QLatin1Char('+')); plus >= 0 && plus < name.size() - 1) name = name.mid(plus + 1);
  const int flags = FPDFFont_GetFlags(font);
  int angle = 0;
  style.fixedPitch = flags > 0 && (flags & 1);
  style.serif = flags > 0 && (flags & 2);
  style.italic = (flags > 0 && (flags & 64)) || (FPDFFont_GetItalicAngle(font, &angle) && angle != 0) ||
                 fontNameSaysItalic(name);
  style.bold = saysBold(name) || (flags > 0 && (flags & (1 << 18)));
  size_t size = 0;
  if (!style.bold && FPDFFont_GetFontData(font, nullptr, 0, &size) && size > 0 && size < (size_t(64) << 20)) {
    QByteArray data(qsizetype(size), '\0');
    if (FPDFFont_GetFontData(font, reinterpret_cast<uint8_t*>(data.data()), size, &size)) {
      using Blob = HandleOwner<hb_blob_t, hb_blob_destroy>;
      using Face = HandleOwner<hb_face_t, hb_face_destroy>;
      Blob blob(hb_blob_create(data.constData(), unsigned(data.size()), HB_MEMORY_MODE_READONLY, nullptr, nullptr));
      Face face(hb_face_create(blob.get(), 0));
      style.bold = saysBold(openTypeName(face.get(), HB_OT_NAME_ID_FONT_SUBFAMILY)) ||
                   saysBold(openTypeName(face.get(), HB_OT_NAME_ID_FULL_NAME));
    }
  }
  // The family without its style: "Helvetica-Bold", "TimesNewRomanPS-ItalicMT", "Arial,Bold".
  style.family = name.section(QRegularExpression(QStringLiteral("[-,]")), 0, 0);
  // "TimesNewRomanPSMT": the vendor's tails, PS before MT, name no family.
  static const QRegularExpression tails(QStringLiteral("(PS)?(MT)?$"));
  style.family.remove(tails);
  return style;
}

namespace {

// Numbers a show's glyphs `own` (units of `along`, their place along the
// way the show advances) by their codes: a show draws its codes forward, so
// the n-th glyph from its start is its n-th code, as long as no two stand
// at one place and the count agrees. A left-to-right show whose spacings
// set a glyph back reads in the order it draws, which is then not the order
// glyphs stand in: it is not numbered.
bool numberByPlace(std::vector<int>& own, const std::function<double(int)>& along, bool rightToLeft, int codes) {
  const auto before = [&](int a, int b) { return along(a) < along(b); };
  if (codes != int(own.size())) return false;
  if (!rightToLeft && !std::is_sorted(own.begin(), own.end(), before)) return false;
  std::sort(own.begin(), own.end(), before);
  for (size_t i = 1; i < own.size(); ++i)
    if (along(own[i]) - along(own[i - 1]) < 0.01) return false;
  return true;
}

// A glyph's origin to a thousandth of a unit: characters of one code (a
// ligature read as several letters) share it.
std::pair<qint64, qint64> originKey(const QPointF& origin) {
  return {qRound64(origin.x() * 1000), qRound64(origin.y() * 1000)};
}

}  // namespace

// Every show is numbered here, for the line's cut and for the shows an edit
// takes out in part alike, so both agree on which code is which glyph. The
// place along the show's own advance orders them, whatever way the page
// turns it.
std::map<FPDF_PAGEOBJECT, std::vector<LineGlyphCut::NumberedGlyph>> LineGlyphCut::numberedGlyphs(
    FPDF_TEXTPAGE textPage, const PageSpace& space, const std::function<int(FPDF_PAGEOBJECT)>& codesOf) {
  std::map<FPDF_PAGEOBJECT, std::vector<NumberedGlyph>> numbered;
  if (!textPage) return numbered;
  struct Show {
    std::vector<NumberedGlyph> glyphs;
    QPointF advance;  // user space, from its first glyph's matrix
    bool rightToLeft = false;
  };
  std::map<FPDF_PAGEOBJECT, Show> shows;
  std::set<std::tuple<FPDF_PAGEOBJECT, qint64, qint64>> seen;
  const int count = FPDFText_CountChars(textPage);
  for (int i = 0; i < count; ++i) {
    if (FPDFText_IsGenerated(textPage, i) == 1) continue;
    FPDF_PAGEOBJECT object = FPDFText_GetTextObject(textPage, i);
    double l = 0, r = 0, b = 0, t = 0, x = 0, y = 0;
    if (!object || !FPDFText_GetCharBox(textPage, i, &l, &r, &b, &t) || !FPDFText_GetCharOrigin(textPage, i, &x, &y))
      continue;
    Show& show = shows[object];
    show.rightToLeft = show.rightToLeft || readsRightToLeft(lettersOfCode(FPDFText_GetUnicode(textPage, i)));
    const auto [kx, ky] = originKey(QPointF(x, y));
    if (!seen.insert({object, kx, ky}).second) continue;
    if (show.glyphs.empty()) {
      FS_MATRIX m;
      show.advance = FPDFText_GetMatrix(textPage, i, &m) && std::hypot(m.a, m.b) > 0 ? QPointF(m.a, m.b)
                                                                                    : QPointF(1, 0);
    }
    show.glyphs.push_back({QPointF(x, y), space.toShown(QPointF((l + r) / 2, (b + t) / 2))});
  }
  for (auto& [object, show] : shows) {
    std::vector<int> order(show.glyphs.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = int(i);
    const auto along = [&show](int g) { return QPointF::dotProduct(show.glyphs[size_t(g)].origin, show.advance); };
    if (!numberByPlace(order, along, show.rightToLeft, codesOf(object))) continue;
    std::vector<NumberedGlyph>& out = numbered[object];
    for (const int g : order) out.push_back(show.glyphs[size_t(g)]);
  }
  return numbered;
}

std::optional<ShowCut> LineGlyphCut::keptWhereTheyStand(const std::vector<NumberedGlyph>& glyphs,
                                                        const std::function<bool(int)>& stays) {
  ShowCut cut;
  cut.codes = int(glyphs.size());
  for (int from = 0; from < cut.codes;) {
    int to = from + 1;
    while (to < cut.codes && stays(to) == stays(from)) ++to;
    if (stays(from))
      cut.kept.push_back({from, to, from == 0 ? std::nullopt : std::optional<QPointF>(glyphs[size_t(from)].origin)});
    from = to;
  }
  if (cut.kept.empty()) return std::nullopt;
  return cut;
}

bool LineGlyphCut::decides(FPDF_PAGEOBJECT show, int code) const {
  const auto own = unitsOf.find(show);
  if (own == unitsOf.end() || code < 0 || size_t(code) >= own->second.size()) return false;
  return state[size_t(own->second[size_t(code)])] != 3;
}

LineGlyphCut LineGlyphCut::of(FPDF_TEXTPAGE textPage, const PageSpace& space,
                              const std::function<bool(const QPointF&)>& inLine, const QString& oldText,
                              const QString& newText, const std::function<int(FPDF_PAGEOBJECT)>& codesOf) {
  LineGlyphCut cut;
  cut.upright = space;
  if (!textPage) return cut;
  // The line's characters in reading order: each a glyph's, or a blank the
  // reading put between two glyphs.
  struct Char {
    FPDF_PAGEOBJECT object = nullptr;
    QString text;
    QPointF origin;
    QRectF box;  // shown, from the glyph's origin to its advance
    double size = 0;
    bool foreign = false;  // drawn outside the line
    bool upright = true;   // set upright on the shown page, advancing to the right
  };
  std::vector<Char> chars;
  bool previousIn = false;
  const int count = FPDFText_CountChars(textPage);
  for (int i = 0; i < count; ++i) {
    const unsigned int u = FPDFText_GetUnicode(textPage, i);
    if (FPDFText_IsGenerated(textPage, i) == 1) {
      if (previousIn && u == ' ' && !chars.empty() && chars.back().object)
        chars.push_back({nullptr, QStringLiteral(" "), {}, {}, 0, false});
      continue;
    }
    FPDF_PAGEOBJECT object = FPDFText_GetTextObject(textPage, i);
    double l = 0, r = 0, b = 0, t = 0, x = 0, y = 0;
    FS_RECTF loose;
    FS_MATRIX m;
    if (!object || !FPDFText_GetCharBox(textPage, i, &l, &r, &b, &t)) {
      previousIn = false;
      continue;
    }
    // A mark stacked over or under its letter may stand outside the line's place: it is its letter's.
    const bool inside = inLine(space.toShown(QPointF((l + r) / 2, (b + t) / 2))) || (previousIn && isCombiningMark(u));
    if (!FPDFText_GetCharOrigin(textPage, i, &x, &y) || !FPDFText_GetLooseCharBox(textPage, i, &loose) ||
        !FPDFText_GetMatrix(textPage, i, &m)) {
      if (inside) return cut;
      previousIn = false;
      continue;
    }
    // Only glyphs set upright on the shown page, advancing to the right.
    const QPointF origin(x, y);
    const QPointF along = space.toShown(origin + QPointF(m.a, m.b)) - space.toShown(origin);
    const bool upright = along.x() > 0 && std::abs(along.y()) <= 0.05 * along.x();
    if (inside && !upright) return cut;
    const QRectF box = space.toShown(QRectF(QPointF(loose.left, loose.bottom), QPointF(loose.right, loose.top)));
    // The size the glyph is drawn at on the page: the typed words take it
    // exactly, so that readers keep them in the word they join.
    float size = 0;
    FPDFTextObj_GetFontSize(object, &size);
    // Glyphs of other words the line's shows draw stay where they are, but
    // count among the shows' codes.
    chars.push_back({object, lettersOfCode(char32_t(u)), origin, box.normalized(), size * std::hypot(m.c, m.d),
                     !inside, upright});
    previousIn = inside;
  }
  // The line's place is where its read letters stand: glyphs read as nothing
  // that follow them, and the blanks before those, are the line's too, drawn
  // by its own show or by one of their own that begins where the line ends
  // (as an earlier edit sets them apart).
  for (size_t i = 0; i < chars.size(); ++i) {
    if (!chars[i].foreign || !chars[i].text.isEmpty()) continue;
    size_t j = i;
    while (j > 0 && (chars[j - 1].object == chars[i].object || !chars[j - 1].object) &&
           (chars[j - 1].foreign || !chars[j - 1].object) && isBlank(chars[j - 1].text))
      --j;
    if (j == 0 || !chars[j - 1].object || chars[j - 1].foreign) continue;
    const Char& letter = chars[j - 1];
    if (letter.object != chars[i].object &&
        (!chars[j].object || std::abs(chars[j].box.left() - letter.box.right()) > 0.5 * std::max(letter.size, 1.0)))
      continue;
    for (size_t g = j; g <= i; ++g) {
      if (!chars[g].upright) return cut;
      chars[g].foreign = false;
    }
  }
  // Only the line's own shows count; their glyphs elsewhere stay as they are.
  std::set<FPDF_PAGEOBJECT> inLineShows;
  for (const Char& c : chars)
    if (c.object && !c.foreign) inLineShows.insert(c.object);
  chars.erase(std::remove_if(chars.begin(), chars.end(),
                             [&](const Char& c) { return c.foreign && !inLineShows.count(c.object); }),
              chars.end());
  if (inLineShows.empty()) return cut;

  // Each show's glyphs, by where they stand: characters of one code (a
  // ligature read as several letters) share their glyph's origin.
  std::map<FPDF_PAGEOBJECT, std::vector<int>>& unitsOf = cut.unitsOf;
  std::map<std::tuple<FPDF_PAGEOBJECT, qint64, qint64>, int> unitAt;  // by show and origin, to a thousandth
  std::vector<int> unitOfChar(chars.size(), -1);
  for (size_t i = 0; i < chars.size(); ++i) {
    const Char& c = chars[i];
    if (!c.object) continue;
    std::vector<int>& own = unitsOf[c.object];
    const auto [kx, ky] = originKey(c.origin);
    const auto key = std::make_tuple(c.object, kx, ky);
    if (const auto same = unitAt.find(key); same != unitAt.end()) {
      Unit& unit = cut.units[size_t(same->second)];
      unit.left = std::min(unit.left, c.box.left());
      unit.right = std::max(unit.right, c.box.right());
      unitOfChar[i] = same->second;
      continue;
    }
    unitAt[key] = int(cut.units.size());
    Unit unit;
    unit.object = c.object;
    unit.origin = c.origin;
    unit.left = c.box.left();
    unit.right = c.box.right();
    const QPointF shown = space.toShown(c.origin);
    unit.x = shown.x();
    unit.baseline = shown.y();
    unit.size = c.size;
    unit.foreign = c.foreign;
    unitOfChar[i] = int(cut.units.size());
    own.push_back(int(cut.units.size()));
    cut.units.push_back(unit);
  }
  const auto numbered = numberedGlyphs(textPage, space, codesOf);
  for (auto& [object, own] : unitsOf) {
    const auto glyphs = numbered.find(object);
    if (glyphs == numbered.end() || glyphs->second.size() != own.size()) {
      // Its codes cannot be told apart by where they stand: the show stays,
      // moves or goes as one, and only if it draws nothing of another line.
      if (codesOf(object) == kNotCut) return cut;
      const int first = own.front();
      for (const int u : own) {
        if (cut.units[size_t(u)].foreign) return cut;
        if (u == first) continue;
        Unit& merged = cut.units[size_t(first)];
        merged.left = std::min(merged.left, cut.units[size_t(u)].left);
        merged.right = std::max(merged.right, cut.units[size_t(u)].right);
        cut.units[size_t(u)].foreign = true;  // stands for nothing of the line now
      }
      for (int& u : unitOfChar)
        if (u >= 0 && cut.units[size_t(u)].object == object) u = first;
      own = {first};
      cut.wholeShows.insert(object);
      cut.lineObjects.insert(object);
      continue;
    }
    std::map<std::pair<qint64, qint64>, int> codeAt;
    for (size_t code = 0; code < glyphs->second.size(); ++code) codeAt[originKey(glyphs->second[code].origin)] = int(code);
    for (const int u : own) {
      const auto code = codeAt.find(originKey(cut.units[size_t(u)].origin));
      if (code == codeAt.end()) return cut;
      cut.units[size_t(u)].code = code->second;
    }
    std::sort(own.begin(), own.end(), [&](int a, int b) { return cut.units[size_t(a)].code < cut.units[size_t(b)].code; });
    cut.lineObjects.insert(object);
  }

  // pdfium reads right-to-left text drawn partly as it stands and partly in
  // reading order (as typed words are written) out of order: such a line is
  // read again from where its glyphs stand, each letter with the marks and
  // unread glyphs after it, the blanks made again from the gaps.
  const auto readByPlace = [&] {
    if (std::none_of(chars.begin(), chars.end(), [](const Char& c) { return readsRightToLeft(c.text); })) return false;
    std::vector<size_t> own;
    std::vector<GlyphPlace> places;
    std::vector<double> sizes;
    for (size_t i = 0; i < chars.size(); ++i) {
      const Char& c = chars[i];
      if (c.foreign || !c.object) continue;
      const bool letter = !c.text.isEmpty() && !isCombiningMark(c.text.toUcs4().value(0));
      own.push_back(i);
      places.push_back({c.box.left(), c.box.right(), letter});
      if (letter) sizes.push_back(c.size);
    }
    if (sizes.empty()) return false;
    std::nth_element(sizes.begin(), sizes.begin() + std::ptrdiff_t(sizes.size() / 2), sizes.end());
    const std::vector<std::vector<int>> drawn = glyphsByPlace(places, 0.15 * sizes[sizes.size() / 2]);
    QList<QString> texts;
    for (const std::vector<int>& group : drawn)
      texts << (group.empty() ? QStringLiteral(" ") : chars[own[size_t(group.front())]].text);
    const std::vector<int> order = readingOrderOf(texts);
    if (order.empty()) return false;
    std::vector<Char> reordered;
    std::vector<int> units;
    for (const int d : order) {
      if (drawn[size_t(d)].empty()) {
        reordered.push_back({nullptr, QStringLiteral(" "), {}, {}, 0, false});
        units.push_back(-1);
      }
      for (const int g : drawn[size_t(d)]) {
        reordered.push_back(chars[own[size_t(g)]]);
        units.push_back(unitOfChar[own[size_t(g)]]);
      }
    }
    chars = std::move(reordered);
    unitOfChar = std::move(units);
    return true;
  };

  // The reading: one item per glyph, in reading order. Shows of other words
  // drawn over the line's place (an overlay, a stamp) are not the line's:
  // where the line reads as the editor showed it without them, they stay.
  const QString wanted = withoutBlanks(oldText);
  std::vector<Item> items;
  bool byPlace = false;
  for (const int attempt : {0, 1, 2}) {
    if (attempt == 1 && !(byPlace = readByPlace())) continue;
    const bool withoutOthers = attempt == 2;
    if (withoutOthers) {
      std::map<FPDF_PAGEOBJECT, QString> textOf;
      for (size_t i = 0; i < chars.size(); ++i)
        if (!chars[i].foreign && chars[i].object) textOf[chars[i].object] += chars[i].text;
      std::set<FPDF_PAGEOBJECT> others;
      for (const auto& [object, text] : textOf)
        if (!wanted.contains(withoutBlanks(text))) others.insert(object);
      if (others.empty() || others.size() == textOf.size()) return cut;
      cut.over = others;
      for (size_t i = 0; i < chars.size(); ++i)
        if (others.count(chars[i].object)) {
          chars[i].foreign = true;
          if (unitOfChar[i] >= 0) cut.units[size_t(unitOfChar[i])].foreign = true;
        }
    }
    items.clear();
    std::set<int> seen;
    for (size_t i = 0; i < chars.size(); ++i) {
      const int u = unitOfChar[i];
      if (chars[i].foreign) continue;
      // A blank the reading put between the line and a word drawn over it.
      if (u < 0 && (items.empty() || items.back().unit < 0)) continue;
      if (u >= 0 && !items.empty() && items.back().unit == u) {
        items.back().text += chars[i].text;
        continue;
      }
      // A blank the reading put between words of one show kept whole.
      if (u >= 0 && cut.wholeShows.count(chars[i].object) && items.size() >= 2 && items.back().unit < 0 && items[items.size() - 2].unit == u) {
        items.pop_back();
        items.back().text += QLatin1Char(' ') + chars[i].text;
        continue;
      }
      if (u >= 0 && !seen.insert(u).second) return cut;  // one glyph read in two places
      items.push_back({u, chars[i].text});
    }
    while (!items.empty() && items.back().unit < 0) items.pop_back();
    QString read;
    for (const Item& item : items) read += item.text;
    // The line must read as the editor showed it, else its glyphs are not what was edited.
    if (withoutBlanks(read) == wanted) break;
    if (withoutOthers) return cut;
  }
  // The blanks of the cut's reading are made up otherwise than those of the
  // text the editor showed (from the gaps between glyphs pdfium reads none
  // between, words set glyph by glyph; or around a letter read as a tab):
  // they are made again blank for blank against that text, else the words
  // after the first would not match and be set anew.
  {
    std::vector<Item> spaced;
    spaced.reserve(items.size());
    qsizetype at = 0;
    const auto blankNext = [&] { return at < oldText.size() && oldText.at(at).isSpace(); };
    for (Item& item : items) {
      if (item.unit < 0) {
        if (blankNext()) {
          ++at;
          spaced.push_back(std::move(item));
        }
        continue;
      }
      // Glyphs read as nothing stay with the letter before them.
      if (!item.text.isEmpty() && !isBlank(item.text))
        for (; blankNext(); ++at) spaced.push_back({-1, QStringLiteral(" ")});
      for (const QChar c : item.text)
        if (!c.isSpace() || blankNext()) ++at;
      spaced.push_back(std::move(item));
    }
    items = std::move(spaced);
  }
  for (Item& item : items)
    if (item.unit >= 0) cut.units[size_t(item.unit)].text = item.text;

  // What the new text still begins and ends with, glyph by glyph.
  const QString& n = newText;
  qsizetype p = 0, q = n.size();
  size_t k = 0, e = items.size();
  // A glyph read as nothing (a broken map) is in no text the editor showed:
  // it goes with the letter it follows, or after a blank with what follows it.
  const auto unread = [](const Item& item) { return item.unit >= 0 && item.text.isEmpty(); };
  // A blank, whether the reading put it there or a glyph draws it (read as
  // a tab or a no-break space), is any one blank of the new text.
  const auto blankItem = [&](const Item& item) { return item.unit < 0 || (!unread(item) && item.text.trimmed().isEmpty()); };
  // Such glyphs after the line's last letter, with the blanks among them, end
  // the line whatever is typed: words added at its end go after them.
  size_t tail = items.size();
  while (tail > 0 && (unread(items[tail - 1]) || blankItem(items[tail - 1]))) --tail;
  if (std::none_of(items.begin() + qsizetype(tail), items.end(), unread)) tail = items.size();
  // Whether the unread glyph at i goes with the letter before its run of them.
  const auto gluedBack = [&](size_t i) {
    while (i > 0 && unread(items[i - 1])) --i;
    return i > 0 && !blankItem(items[i - 1]);
  };
  const auto matchesAt = [&](const Item& item, qsizetype at) {
    if (blankItem(item)) return at >= 0 && at < n.size() && n.at(at).isSpace();
    if (at < 0 || at + item.text.size() > n.size()) return false;
    // Blanks inside a show kept whole are any blanks of the new text.
    for (qsizetype c = 0; c < item.text.size(); ++c)
      if (item.text.at(c) != n.at(at + c) && !(item.text.at(c).isSpace() && n.at(at + c).isSpace())) return false;
    return true;
  };
  const auto width = [&](const Item& item) { return blankItem(item) ? qsizetype(1) : item.text.size(); };
  while (k < tail) {
    if (unread(items[k])) {
      size_t j = k;
      while (j < tail && unread(items[j])) ++j;
      if (gluedBack(k)) {
        k = j;
        continue;
      }
      if (j == tail || !matchesAt(items[j], p)) break;
      k = j;
    }
    if (!matchesAt(items[k], p)) break;
    p += width(items[k++]);
  }
  if (k == tail) {
    k = items.size();
  } else {
    e = tail;
    while (e > k) {
      size_t j = e;
      while (j > k && unread(items[j - 1]) && !gluedBack(j - 1)) --j;  // they go with what follows them
      size_t letter = j;
      while (letter > k && unread(items[letter - 1])) --letter;  // those the letter before them takes along
      const Item* item = letter > k ? &items[letter - 1] : nullptr;
      if (!item || !matchesAt(*item, q - width(*item)) || q - width(*item) < p) {
        e = j;
        break;
      }
      q -= width(*item);
      e = letter - 1;
    }
  }
  // A word is shaped anew whole only where the typed text touches it, not
  // across a blank it begins or ends with.
  const QString touching = n.mid(p, q - p);
  if (shapedWithNeighbours(touching) || (k > 0 && shapedWithNeighbours(items[k - 1].text)) ||
      (e < items.size() && shapedWithNeighbours(items[e].text))) {
    if (touching.isEmpty() || !touching.front().isSpace())
      while (k > 0 && k <= tail && !blankItem(items[k - 1])) p -= width(items[--k]);
    if (touching.isEmpty() || !touching.back().isSpace())
      while (e < tail && !blankItem(items[e])) q += width(items[e++]);
  }
  // Nothing stays when the whole line is typed anew: the new words still
  // take the line's place, font and fill.
  // A line left as it was keeps every glyph (it may still move with its block).
  cut.typedText = n.mid(p, q - p);

  cut.state.assign(cut.units.size(), 1);
  for (size_t i = k; i < e; ++i)
    if (items[i].unit >= 0) cut.state[size_t(items[i].unit)] = 0;
  for (size_t i = e; i < items.size(); ++i)
    if (items[i].unit >= 0) cut.state[size_t(items[i].unit)] = 2;
  for (size_t u = 0; u < cut.units.size(); ++u)
    if (cut.units[u].foreign) cut.state[u] = 3;
  // Left-to-right words typed right after a left-to-right word of a
  // right-to-left line continue that word's run: they stand right of it,
  // and the run moves left to make room, as readers order them.
  const auto direction = [](const QString& text) {
    int found = 0;
    for (const QChar c : text) {
      const QChar::Direction d = c.direction();
      if (d == QChar::DirL) found |= 1;
      if (d == QChar::DirR || d == QChar::DirAL) found |= 2;
    }
    return found;
  };
  if (n.isRightToLeft() && k == e && k > 0 && items[k - 1].unit >= 0 && direction(n.mid(p, q - p)) == 1 &&
      direction(items[k - 1].text) == 1) {
    size_t next = e;
    while (next < items.size() && direction(items[next].text) == 0) ++next;
    if (next == items.size() || direction(items[next].text) & 2) {
      std::vector<int> run;
      for (size_t i = k; i > 0 && !(direction(items[i - 1].text) & 2); --i) run.push_back(items[i - 1].unit);
      while (!run.empty() && (run.back() < 0 || direction(cut.units[size_t(run.back())].text) == 0)) run.pop_back();
      for (const int u : run)
        if (u >= 0 && cut.state[size_t(u)] != 3) cut.state[size_t(u)] = 2;
      cut.typedLeftToRight = true;
    }
  }
  // Read by place, a show may draw its glyphs in reading order, which its
  // codes cannot be told apart by: it stays, moves or goes whole.
  if (byPlace)
    for (const auto& [object, own] : unitsOf)
      for (const int u : own)
        if (cut.state[size_t(u)] != cut.state[size_t(own.front())]) return cut;
  for (const auto& [object, own] : unitsOf)
    if (std::all_of(own.begin(), own.end(), [&](int u) { return cut.state[size_t(u)] == 0; })) cut.gone.insert(object);

  cut.rtl = n.isRightToLeft();
  const bool rtl = cut.rtl;
  const Unit* before = k > 0 && items[k - 1].unit >= 0 ? &cut.units[size_t(items[k - 1].unit)] : nullptr;
  const Unit* after = nullptr;  // the first glyph after the kept start
  for (size_t i = k; i < items.size() && !after; ++i)
    if (items[i].unit >= 0) after = &cut.units[size_t(items[i].unit)];
  const Unit* lastKept = nullptr;
  for (size_t i = 0; i < k; ++i)
    if (items[i].unit >= 0) lastKept = &cut.units[size_t(items[i].unit)];
  if (before) {
    cut.anchorX = rtl && !cut.typedLeftToRight ? before->left : before->right;
  } else if (after) {
    cut.anchorX = rtl ? after->right : after->left;
  } else if (lastKept) {
    // Words added after a blank: the blank goes with them.
    cut.anchorX = rtl ? lastKept->left : lastKept->right;
    cut.typedText.prepend(QLatin1Char(' '));
  } else {
    return cut;
  }
  const Unit* neighbour = before ? before : (after ? after : lastKept);
  cut.baselineY = neighbour->baseline;
  cut.size = neighbour->size;
  cut.styleObject = neighbour->object;
  cut.oldEnd = cut.anchorX;
  if (e < items.size() && items[e].unit >= 0) {
    const Unit& first = cut.units[size_t(items[e].unit)];
    cut.oldEnd = rtl ? first.right : first.left;
  } else {
    for (size_t i = k; i < e; ++i)
      if (items[i].unit >= 0) {
        const Unit& gone = cut.units[size_t(items[i].unit)];
        cut.oldEnd = rtl ? std::min(cut.oldEnd, gone.left) : std::max(cut.oldEnd, gone.right);
      }
  }
  cut.ok = true;
  return cut;
}

std::pair<double, double> LineGlyphCut::span() const {
  double left = anchorX, right = anchorX;
  for (size_t u = 0; u < units.size(); ++u)
    if (state[u] != 3) left = std::min(left, units[u].left), right = std::max(right, units[u].right);
  return {left, right};
}

LineGlyphCut::Placement LineGlyphCut::place(double typedAdvance, Qt::Alignment alignment, const LineRoom& room,
                                            const QPointF& carried) const {
  Placement placed;
  if (!ok) return placed;
  const PageSpace& space = upright;
  // How far the glyphs before the typed words (in reading order) and those
  // after them move: the aligned side of the line stays.
  const double delta = typedAdvance - std::abs(oldEnd - anchorX);
  const double sign = rtl ? -1 : 1;
  double before = 0, after = 0;
  if (alignment & Qt::AlignRight) (rtl ? after : before) = -delta;
  else if (alignment & Qt::AlignHCenter) before = -sign * delta / 2, after = sign * delta / 2;
  else (rtl ? before : after) = delta;
  double typedLeft = anchorX + before - (rtl ? typedAdvance : 0);
  // The line's extent before and after.
  const auto [wasLeft, wasRight] = span();
  double left = typedLeft, right = typedLeft + typedAdvance;
  for (size_t u = 0; u < units.size(); ++u) {
    if (state[u] == 3 || state[u] == 0) continue;
    const double shift = state[u] == 1 ? before : after;
    left = std::min(left, units[u].left + shift);
    right = std::max(right, units[u].right + shift);
  }
  // A line wider than its room is narrowed into it about its aligned side;
  // it never leaves the sheet, nor is it narrowed for room it did not have before.
  const double pivot = alignment & Qt::AlignRight ? right : alignment & Qt::AlignHCenter ? (left + right) / 2 : left;
  const double sheet = space.shownSize().width();
  const double low = std::clamp(std::min(room.left, wasLeft), std::min(0.0, wasLeft), wasLeft);
  const double high = std::clamp(std::max(room.right, wasRight), wasRight, std::max(sheet, wasRight));
  double narrow = 1;
  if (right > high + 0.1) narrow = right > pivot ? std::min(narrow, (high - pivot) / (right - pivot)) : 0;
  if (left < low - 0.1) narrow = left < pivot ? std::min(narrow, (pivot - low) / (pivot - left)) : 0;
  narrow = std::max(narrow, 0.25);
  const auto narrowed = [&](double x) { return pivot + (x - pivot) * narrow; };
  // Even a quarter as wide, it would leave the sheet it stood on.
  placed.offSheet = leavesSheet(narrowed(left), narrowed(right), sheet, wasLeft, wasRight);
  placed.scale = narrow;
  placed.left = narrowed(typedLeft) + carried.x();

  for (const FPDF_PAGEOBJECT object : lineObjects) {
    if (gone.count(object)) continue;
    const std::vector<int>& ofObject = unitsOf.at(object);  // in the order of their codes
    std::vector<const Unit*> own;
    std::vector<int> kind;
    for (const int u : ofObject) {
      own.push_back(&units[size_t(u)]);
      kind.push_back(state[size_t(u)]);
    }
    const auto stays = [&](int k) { return k == 1 && std::abs(before) < 0.005 && narrow == 1.0 && carried.isNull(); };
    if (std::all_of(kind.begin(), kind.end(), stays) || over.count(object)) continue;
    ShowCut& cut = placed.cuts[object];
    cut.codes = int(own.size());
    cut.whole = wholeShows.count(object) > 0;
    for (int from = 0; from < cut.codes;) {
      int to = from + 1;
      while (to < cut.codes && kind[size_t(to)] == kind[size_t(from)]) ++to;
      const int k = kind[size_t(from)];
      if (k == 1 || k == 2) {
        // Glyphs right of the typed words are drawn after them.
        KeptGlyphs kept{from, to, std::nullopt, rtl ? k == 1 : k == 2, narrow};
        const Unit& first = *own[size_t(from)];
        if (!stays(k) || from > 0 || kept.afterNew)
          kept.origin = space.toUser(QPointF(narrowed(first.x + (k == 1 ? before : after)), first.baseline) + carried);
        cut.kept.push_back(kept);
      }
      from = to;
    }
  }
  return placed;
}

std::vector<int> LineGlyphCut::sourceLines(const QStringList& now, const QStringList& was) {
  const qsizetype n = now.size(), m = was.size();
  std::vector<int> source(size_t(n), -1);
  const auto bare = [](const QString& text) { return withoutBlanks(text); };
  qsizetype j = 0;
  for (qsizetype k = 0; k < n && j < m; ++k) {
    const QString line = bare(now[k]), old = bare(was[j]);
    if (line == old) {
      source[size_t(k)] = int(j++);
      continue;
    }
    // One line more than before from here on: Enter split the old line (each
    // half may be typed into at its far end), or added a line of its own.
    if (n - k > m - j && k + 1 < n) {
      const QString next = bare(now[k + 1]);
      const bool split = (!line.isEmpty() && old.startsWith(line) && next.endsWith(old.mid(line.size()))) ||
                         (!next.isEmpty() && old.endsWith(next) && line.startsWith(old.left(old.size() - next.size())));
      if (split && !line.isEmpty() && !next.isEmpty()) {
        source[size_t(k)] = source[size_t(k + 1)] = int(j++);
        ++k;
        continue;
      }
      if (next == old) continue;
    }
    // Typed into where it stands.
    source[size_t(k)] = int(j++);
  }
  return source;
}

std::optional<LineGlyphCut::StyledPiece> LineGlyphCut::typedStyle(const std::vector<StyledPiece>& was,
                                                                  const std::vector<StyledPiece>& now) {
  // Each character but blanks, with the piece whose style it has.
  const auto letters = [](const std::vector<StyledPiece>& pieces) {
    std::vector<std::pair<QChar, const StyledPiece*>> out;
    for (const StyledPiece& piece : pieces)
      for (const QChar c : piece.text)
        if (!c.isSpace()) out.emplace_back(c, &piece);
    return out;
  };
  const auto same = [](const StyledPiece* a, const StyledPiece* b) {
    return a->bold == b->bold && a->italic == b->italic && std::abs(a->size - b->size) < 0.5;
  };
  const auto old = letters(was), next = letters(now);
  if (old.empty() || next.empty()) return std::nullopt;
  size_t p = 0, q = 0;
  while (p < old.size() && p < next.size() && old[p].first == next[p].first) ++p;
  while (q < old.size() - p && q < next.size() - p && old[old.size() - 1 - q].first == next[next.size() - 1 - q].first)
    ++q;
  for (size_t i = 0; i < p; ++i)
    if (!same(old[i].second, next[i].second)) return std::nullopt;
  for (size_t i = 0; i < q; ++i)
    if (!same(old[old.size() - 1 - i].second, next[next.size() - 1 - i].second)) return std::nullopt;
  // Typed characters take one style; none typed, the style before them.
  const StyledPiece* typed = p < next.size() - q ? next[p].second : next[p > 0 ? p - 1 : 0].second;
  for (size_t i = p; i < next.size() - q; ++i)
    if (!same(next[i].second, typed)) return std::nullopt;
  return *typed;
}
