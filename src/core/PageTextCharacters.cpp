#include "PageTextCharacters.h"

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
