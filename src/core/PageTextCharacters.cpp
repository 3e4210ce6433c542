#include "PageTextCharacters.h"

#include <fribidi.h>

#include <algorithm>
#include <array>

namespace {

const char* texLigature(char32_t code) {
  switch (code) {
    case 0x0B: case 0x1B: return "ff";  // OT1, T1
    case 0x0C: case 0x1C: return "fi";
    case 0x1D: return "fl";  // OT1's 0x0D is a carriage return here
    case 0x0E: case 0x1E: return "ffi";
    case 0x0F: case 0x1F: return "ffl";
    default: return nullptr;
  }
}

bool isHyphen(QChar c) { return c == QLatin1Char('-') || c == QChar(0x2010) || c == QChar(0x00AD); }

}  // namespace

QString lettersOfCode(char32_t code) {
  if (code == 0 || code > 0x10FFFF) return {};
  // pdfium may give a character beyond the basic plane as its two halves.
  if (code >= 0xD800 && code <= 0xDFFF) return QString(QChar(char16_t(code)));
  if (code == kLineEndHyphen) return QStringLiteral("-");
  if (const char* letters = texLigature(code)) return QString::fromLatin1(letters);
  if (code == '\t' || code == '\n' || code == '\r') return QString(QChar(char16_t(code)));
  if (code < 0x20 || (code >= 0x7F && code < 0xA0)) return {};
  if (code >= 0xFB00 && code <= 0xFB06)
    return QString(QChar(char16_t(code))).normalized(QString::NormalizationForm_KC);
  if (code < 0x100) {
    // Shared copies: a page has thousands of these, each else a new string.
    static const std::array<QString, 0x100> latin1 = [] {
      std::array<QString, 0x100> all;
      for (char16_t c = 0; c < 0x100; ++c) all[c] = QString(QChar(c));
      return all;
    }();
    return latin1[code];
  }
  return QString::fromUcs4(&code, 1);
}

void appendNextLine(QString& text, const QString& next) {
  const QString trimmed = text.trimmed();
  const qsizetype n = trimmed.size();
  const QString start = next.trimmed();
  if (n >= 2 && isHyphen(trimmed.at(n - 1)) && trimmed.at(n - 2).isLetter() && !start.isEmpty() &&
      start.at(0).isLetter()) {
    text.truncate(text.lastIndexOf(trimmed.at(n - 1)));
    text.append(start);
    return;
  }
  if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n')) && !text.endsWith(QLatin1Char(' ')))
    text.append(QLatin1Char('\n'));
  text.append(next);
}

// Text in right-to-left scripts comes from pdfium in the order it is drawn,
// left to right; a line holding such text is put into reading order by the
// bidirectional algorithm, applied to what is drawn (the steps that turn
// reading order into drawing order turn it back). Returns the characters'
// new order; empty when the line has nothing right to left.
std::vector<int> readingOrderOf(const QList<QString>& drawn) {
  const int n = int(drawn.size());
  std::vector<FriBidiChar> first(size_t(n), FriBidiChar(' '));
  for (int i = 0; i < n; ++i)
    if (!drawn[i].isEmpty()) first[size_t(i)] = drawn[i].toUcs4().value(0, U' ');
  std::vector<FriBidiCharType> types(first.size());
  fribidi_get_bidi_types(first.data(), n, types.data());
  int rightToLeft = 0, leftToRight = 0;
  for (const FriBidiCharType t : types) {
    if (t == FRIBIDI_TYPE_RTL || t == FRIBIDI_TYPE_AL) ++rightToLeft;
    if (t == FRIBIDI_TYPE_LTR) ++leftToRight;
  }
  if (rightToLeft == 0) return {};
  std::vector<FriBidiBracketType> brackets(first.size(), FRIBIDI_NO_BRACKET);
  std::vector<FriBidiLevel> levels(first.size(), 0);
  FriBidiParType direction = rightToLeft >= leftToRight ? FRIBIDI_PAR_RTL : FRIBIDI_PAR_LTR;
  if (!fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), n, &direction, levels.data())) return {};
  std::vector<int> order(first.size());
  for (int i = 0; i < n; ++i) order[size_t(i)] = i;
  FriBidiLevel highest = 0, lowestOdd = 127;
  for (const FriBidiLevel l : levels) {
    highest = std::max(highest, l);
    if (l % 2 == 1) lowestOdd = std::min(lowestOdd, l);
  }
  for (int level = highest; level >= int(lowestOdd) && level > 0; --level)
    for (int i = 0; i < n;) {
      if (levels[size_t(order[size_t(i)])] < level) {
        ++i;
        continue;
      }
      int j = i;
      while (j < n && levels[size_t(order[size_t(j)])] >= level) ++j;
      std::reverse(order.begin() + i, order.begin() + j);
      i = j;
    }
  return order;
}

std::vector<std::vector<int>> glyphsByPlace(const std::vector<GlyphPlace>& glyphs, double wordGap) {
  std::vector<int> leading;
  std::vector<std::vector<int>> letters;
  for (int i = 0; i < int(glyphs.size()); ++i) {
    if (glyphs[size_t(i)].letter) letters.push_back({i});
    else (letters.empty() ? leading : letters.back()).push_back(i);
  }
  const auto centre = [&](const std::vector<int>& g) {
    return (glyphs[size_t(g.front())].left + glyphs[size_t(g.front())].right) / 2;
  };
  std::stable_sort(letters.begin(), letters.end(),
                   [&](const std::vector<int>& a, const std::vector<int>& b) { return centre(a) < centre(b); });
  std::vector<std::vector<int>> placed;
  if (!leading.empty()) placed.push_back(leading);
  for (size_t g = 0; g < letters.size(); ++g) {
    if (g > 0 && glyphs[size_t(letters[g].front())].left - glyphs[size_t(letters[g - 1].front())].right > wordGap)
      placed.emplace_back();
    placed.push_back(letters[g]);
  }
  return placed;
}
