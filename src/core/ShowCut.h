#pragma once
// A show cut at glyph boundaries. An edited line keeps the glyphs of the
// characters the user did not touch exactly as the page drew them (font,
// codes, spacing), so its shows are cut between codes instead of being
// written anew from a reading of them. Codes are counted the way the font
// reads its strings: one byte each for a simple font, two for the Identity
// encodings; any other encoding is not cut.

#include <QPointF>

#include <optional>
#include <string>
#include <vector>

// Codes [from, to) of a show, in the order it draws them; with an origin
// (user space of the content), the first of them is set there, else they
// stay where the show put them.
struct KeptGlyphs {
  int from = 0, to = 0;
  std::optional<QPointF> origin;
  // Stands right of the new words meant for the show's place: drawn after
  // them, so that readers that follow the content read the line in order.
  bool afterNew = false;
  // Their horizontal scale, as a share of the show's own: a line narrowed into its box.
  double narrow = 1;
};

struct ShowCut {
  int codes = 0;  // how many the show was read as drawing: any other count refuses the cut
  // Its codes could not be counted: one run of a single "code" keeps it
  // all, each string and spacing as drawn.
  bool whole = false;
  std::vector<KeptGlyphs> kept;
};

class QPDFObjectHandle;

// Bytes per code of the font dictionary `font`; 0 where they cannot be told.
int showCodeBytes(const QPDFObjectHandle& font);

// One operand of a show as it draws: a string of codes, a spacing, or
// anything else (which no cut passes).
struct ShowOperand {
  enum Kind { Codes, Spacing, Other } kind = Other;
  std::string value;  // the string's bytes, or the number as written
};

// How many codes of `codeBytes` bytes the show draws; -1 where that cannot be told.
int countCodes(const std::vector<ShowOperand>& drawn, int codeBytes);

// A TJ drawing every code of the show, with the spacings before the first
// when `leading`; empty when it holds anything but strings and spacings.
std::string wholeShow(const std::vector<ShowOperand>& drawn, bool leading);

// A TJ drawing codes [from, to) of a show whose strings and spacings are
// `drawn` (the string of Tj, ' or ", or the elements of TJ's array), with the
// spacings between those codes and, when `leading`, the ones before the
// first. Empty when the show does not hold `expected` codes of `codeBytes`
// bytes.
std::string keptShow(const std::vector<ShowOperand>& drawn, int codeBytes, int expected, int from, int to,
                     bool leading);
