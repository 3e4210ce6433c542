#pragma once
// Typed words set in the font their line is drawn in. A character goes in
// that font only where the page already draws it there, read as that one
// character, and the font's program has its glyph: then it takes the one
// code the page draws for that character and the font's widths place it.
// The code is taken when the content is written; where the page draws no
// such code, or several, or the dictionary gives another width than the one
// measured, the words are set in an installed face, narrowed to the measured
// width where that is narrower, never widened.

#include "PdfiumApi.h"

#include <QString>

#include <map>
#include <set>
#include <string>
#include <vector>

class QPDFObjectHandle;

struct OwnFontText {
  std::vector<char32_t> chars;
  std::vector<double> widths;  // thousandths of the size, as the font gives them
  double advance(double size) const;
};

// The characters a font draws on the page, each the whole reading of one
// code, with the width its glyph advances there (thousandths of the size):
// NaN where that cannot be measured (a turned glyph), kDrawnAtSeveralWidths
// where the page draws the character by codes of different widths.
using DrawnChars = std::map<char32_t, double>;
constexpr double kDrawnAtSeveralWidths = -1;
std::map<FPDF_FONT, DrawnChars> charsDrawnPerFont(FPDF_TEXTPAGE textPage);

// `typed` in `font`, or nothing (chars empty) where a character is not one
// it draws, or the words need shaping or run right to left. Each character
// is measured as the page draws it, not by whichever code the font's map
// names first for it.
OwnFontText ownFontText(FPDF_FONT font, const QString& typed, const DrawnChars& drawn);

// The TJ operand drawing `text` in the font dictionary `font` with codes of
// `drawn`, those the page draws in it; empty where no one such code reads as
// a character, several do, or the dictionary gives another width.
std::string ownFontShow(QPDFObjectHandle font, const OwnFontText& text, const std::set<unsigned>& drawn);
