#pragma once
// Typed words set in the font their line is drawn in. A character goes in
// that font only where the page already draws it there, read as that one
// character, and the font's program has its glyph: then the font's own map
// names its code and its own widths place it. The code is taken from the
// font dictionary when the content is written; where the dictionary names
// no code or gives another width than the one measured, the words are set
// in an installed face at the measured width instead.

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

// The characters each font draws on the page, each the whole reading of one code.
std::map<FPDF_FONT, std::set<char32_t>> charsDrawnPerFont(FPDF_TEXTPAGE textPage);

// `typed` in `font`, or nothing (chars empty) where a character is not one
// it draws, or the words need shaping or run right to left.
OwnFontText ownFontText(FPDF_FONT font, const QString& typed, const std::set<char32_t>& drawn);

// The TJ operand drawing `text` in the font dictionary `font`; empty where
// the dictionary names no code for a character or gives another width.
std::string ownFontShow(QPDFObjectHandle font, const OwnFontText& text);
