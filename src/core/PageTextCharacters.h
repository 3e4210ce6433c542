#pragma once
// The characters pdfium reads from a page, as text a user can copy: no
// control characters but line breaks and tabs, ligatures as their letters,
// and a hyphen that breaks a word at a line end joined the way pdftotext
// joins it.

#include <QList>
#include <QString>

#include <vector>

// pdfium's code for a hyphen it found at the end of a line inside a word.
constexpr char32_t kLineEndHyphen = 0x02;

// The letters a character code stands for: a ligature (Unicode's
// presentation forms, or the control codes TeX's OT1 and T1 fonts put them
// at when a font maps them to no Unicode; OT1's fl shares its code with the
// carriage return and stays one) as its letters, any other control
// character but tab, line feed and carriage return as nothing, everything
// else as itself. pdfium's line-end hyphen comes back as a hyphen.
QString lettersOfCode(char32_t code);

// Whether the text has nothing but white space (as trimmed() would leave
// it empty), without building a copy: extraction asks this of every character.
inline bool isBlank(const QString& text) {
  for (const QChar c : text)
    if (!c.isSpace()) return false;
  return true;
}

// The text without its white space: the same characters however spaced,
// as a line reads back from the page.
inline QString withoutBlanks(const QString& text) {
  QString out;
  for (const QChar c : text)
    if (!c.isSpace()) out += c;
  return out;
}

// Appends the text of the next line to `text`: after a line ending in a
// hyphen that follows a letter, with the next line starting with a letter,
// the hyphen goes and the word is joined; otherwise a line break comes
// between them unless `text` is empty or already ends in a break or blank.
void appendNextLine(QString& text, const QString& next);

// Whether the text holds a letter of a right-to-left script.
inline bool readsRightToLeft(const QString& text) {
  for (const QChar c : text)
    if (c.direction() == QChar::DirR || c.direction() == QChar::DirAL) return true;
  return false;
}

// The reading order of a line's characters given as drawn from left to
// right, by the bidirectional algorithm; empty when nothing reads right to left.
std::vector<int> readingOrderOf(const QList<QString>& drawn);

// A glyph of a line as it stands: its extent along the line, and whether it
// is a letter or goes with the letter drawn before it (a mark, a glyph read
// as nothing).
struct GlyphPlace {
  double left = 0, right = 0;
  bool letter = true;
};

// The glyphs put where they stand from left to right, which a reading order
// is made from when a page draws right-to-left text in reading order, or
// partly so: each letter with the glyphs drawn after it (those before the
// first letter lead, on their own), and an empty group for a blank where two
// letters stand more than `wordGap` apart.
std::vector<std::vector<int>> glyphsByPlace(const std::vector<GlyphPlace>& glyphs, double wordGap);
