#include "KeptLineEnds.h"

#include "LineRoom.h"
#include "PageObjectBounds.h"
#include "PageTextCharacters.h"
#include "PdfiumHandles.h"

#include <algorithm>

std::vector<PageChar> readPageChars(FPDF_PAGE page, const PageSpace& space) {
  pdfium::TextPage textPage(FPDFText_LoadPage(page));
  return readPageChars(textPage.get(), space);
}

std::vector<PageChar> readPageChars(FPDF_TEXTPAGE textPage, const PageSpace& space) {
  std::vector<PageChar> chars;
  if (!textPage) return chars;
  const int count = FPDFText_CountChars(textPage);
  for (int i = 0; i < count; ++i) {
    const unsigned int u = FPDFText_GetUnicode(textPage, i);
    // Blanks draw nothing; a ligature at a control code (TeX's "fi" at form feed) does.
    if (u != 0 && u <= 0xFFFF && QChar(char16_t(u)).isSpace() && isBlank(lettersOfCode(u))) continue;
    FPDF_PAGEOBJECT object = FPDFText_GetTextObject(textPage, i);
    double left = 0, right = 0, bottom = 0, top = 0;
    if (!object || !FPDFText_GetCharBox(textPage, i, &left, &right, &bottom, &top)) continue;
    const QPointF centre = space.toShown(QPointF((left + right) / 2, (bottom + top) / 2));
    double originX = 0, originY = 0;
    const double baseline = FPDFText_GetCharOrigin(textPage, i, &originX, &originY)
                                ? space.toShown(QPointF(originX, originY)).y()
                                : std::nan("");
    chars.push_back({object, centre, isHiddenTextObject(object), u != 0, baseline, char32_t(u),
                     FPDFText_HasUnicodeMapError(textPage, i) == 1});
  }
  return chars;
}

double baselineIn(const std::vector<PageChar>& chars, const QRectF& rect) {
  std::vector<double> found;
  for (const PageChar& c : chars)
    if (!c.hidden && c.mapped && !std::isnan(c.baseline) && rect.contains(c.centre)) found.push_back(c.baseline);
  if (found.empty()) return std::nan("");
  std::nth_element(found.begin(), found.begin() + found.size() / 2, found.end());
  return found[found.size() / 2];
}

namespace {

// Where in `text` the `count`-th character that is not a blank ends (from
// the start) or begins (from the end, `fromEnd`).
qsizetype rawIndex(const QString& text, qsizetype count, bool fromEnd) {
  if (count == 0) return fromEnd ? text.size() : 0;
  qsizetype seen = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const qsizetype at = fromEnd ? text.size() - 1 - i : i;
    if (!text.at(at).isSpace() && ++seen == count) return fromEnd ? at : at + 1;
  }
  return fromEnd ? 0 : text.size();
}

}  // namespace

KeptEnds keptEnds(FPDF_TEXTPAGE textPage, const std::vector<PageChar>& chars, const Place& line,
                  const QString& oldText, const QString& newText, const std::set<FPDF_PAGEOBJECT>& candidates,
                  const std::map<FPDF_PAGEOBJECT, size_t>& drawn, const PageSpace& space) {
  KeptEnds kept;
  if (!textPage) return kept;
  // The line's own shows: those with a character in its place and none elsewhere.
  std::map<FPDF_PAGEOBJECT, bool> own;
  for (const PageChar& c : chars) {
    if (c.hidden || !candidates.count(c.object)) continue;
    const bool inside = line.contains(c.centre);
    auto [it, added] = own.try_emplace(c.object, inside);
    if (!added) it->second = it->second && inside;
  }
  struct Show {
    FPDF_PAGEOBJECT object;
    QRectF box;
    QString text;
  };
  std::vector<Show> shows;
  for (const auto& [object, inside] : own) {
    if (!inside) return kept;  // a show reaching into another line is rewritten whole
    const QRectF box = space.toShown(pageObjectBounds(object, FPDF_PAGEOBJ_TEXT)).normalized();
    const unsigned long bytes = FPDFTextObj_GetText(object, textPage, nullptr, 0);
    std::vector<FPDF_WCHAR> buffer(std::max<unsigned long>(bytes / sizeof(FPDF_WCHAR), 1));
    FPDFTextObj_GetText(object, textPage, buffer.data(), static_cast<unsigned long>(buffer.size() * sizeof(FPDF_WCHAR)));
    const QString text = withoutBlanks(QString::fromUtf16(reinterpret_cast<const char16_t*>(buffer.data())));
    if (text.isEmpty() || box.isEmpty()) return kept;
    shows.push_back({object, box, text});
  }
  std::sort(shows.begin(), shows.end(), [](const Show& a, const Show& b) { return a.box.left() < b.box.left(); });
  const QString wanted = withoutBlanks(newText);
  // Words added after the whole line: every show stays, whatever order its
  // characters are read in, and the words follow the line's end, or come
  // before its start when it reads right to left.
  const QString had = withoutBlanks(oldText);
  if (!shows.empty() && !had.isEmpty() && wanted.size() > had.size() && wanted.startsWith(had)) {
    QRectF all;
    for (const Show& show : shows) {
      kept.objects.insert(show.object);
      all |= show.box;
      if (!kept.after || drawn.at(show.object) > drawn.at(kept.after)) kept.after = show.object;
    }
    kept.middle = newText.mid(rawIndex(newText, had.size(), false));
    (oldText.isRightToLeft() ? kept.right : kept.left) = oldText.isRightToLeft() ? all.left() : all.right();
    return kept;
  }
  if (newText.isRightToLeft()) return kept;
  QString start, end;
  size_t first = 0, last = shows.size();
  while (first < shows.size() && wanted.startsWith(start + shows[first].text)) start += shows[first++].text;
  while (last > first && wanted.mid(start.size()).endsWith(shows[last - 1].text + end))
    end.prepend(shows[--last].text);
  // Only whole words stay: a kept start that ends inside a word of the new
  // text, or a kept end that begins inside one, would set the rest of that
  // word apart from it.
  const auto blankAt = [&](qsizetype i) { return i <= 0 || i >= newText.size() || newText.at(i).isSpace(); };
  if (first > 0 && !blankAt(rawIndex(newText, start.size(), false))) {
    first = 0;
    start.clear();
  }
  if (last < shows.size() && !blankAt(rawIndex(newText, end.size(), true) - 1)) {
    last = shows.size();
    end.clear();
  }
  if (first == 0 && last == shows.size()) return kept;
  size_t order = 0;
  for (size_t i = 0; i < shows.size(); ++i) {
    if (i >= first && i < last) continue;
    kept.objects.insert(shows[i].object);
    if (i < first && (!kept.after || drawn.at(shows[i].object) > order)) {
      kept.after = shows[i].object;
      order = drawn.at(shows[i].object);
    }
  }
  if (first > 0) kept.left = shows[first - 1].box.right();
  if (last < shows.size()) kept.right = shows[last].box.left();
  const qsizetype from = rawIndex(newText, start.size(), false);
  const qsizetype to = std::max(rawIndex(newText, end.size(), true), from);
  kept.middle = newText.mid(from, to - from);
  return kept;
}

