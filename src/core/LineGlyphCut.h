#pragma once
// Which glyphs of an edited line stay. The line's characters, as the page
// draws them, are matched against the new text from both ends; the glyphs
// of what the user left as it was stay exactly as drawn (the show cut
// between its codes), those after the typed words moved by as much as the
// typed words are wider than what they replace. Only the typed words are
// set anew. Glyphs are told apart by where each code's glyph stands; a show
// whose glyphs cannot be counted that way against its codes stays, moves or
// goes whole.

#include "LineRoom.h"
#include "PageSpace.h"
#include "PdfiumApi.h"
#include "ShowCut.h"

#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

// Letters shaped with their neighbours (joined, reordered, stacked): a word
// of them is never set half from the page's glyphs and half anew, nor from
// a font's codes one by one.
bool shapedWithNeighbours(const QString& text);
bool isCombiningMark(char32_t c);

class LineGlyphCut {
public:
  static constexpr int kNotCut = -2;
  // `inLine` tells whether a point of the shown page lies in the line's
  // place; `codesOf` how many codes a show draws (-1 unknown: it stays or
  // goes whole), or kNotCut for a show the edit may not take apart. Empty
  // (applies() false) where the line cannot be cut: the caller then writes
  // it anew.
  static LineGlyphCut of(FPDF_TEXTPAGE textPage, const PageSpace& space,
                         const std::function<bool(const QPointF&)>& inLine, const QString& oldText,
                         const QString& newText, const std::function<int(FPDF_PAGEOBJECT)>& codesOf);

  bool applies() const { return ok; }
  // The space of the page the cut was made in (the page turned so that the
  // line reads upright): every x and baseline below is in it.
  const PageSpace& frame() const { return upright; }
  // The new words between the glyphs that stay, blanks as typed.
  const QString& typed() const { return typedText; }
  bool rightToLeft() const { return rtl; }
  // The way the typed words are set: a line's own, or left to right where
  // they continue a left-to-right word of a right-to-left line.
  bool typedRightToLeft() const { return rtl && !typedLeftToRight; }
  // Shown x where the typed words start (or end, right to left), and their baseline.
  double anchor() const { return anchorX; }
  double baseline() const { return baselineY; }
  // The size the neighbouring glyph is drawn at.
  double typedSize() const { return size; }
  // The show whose font and fill typed words follow, and at whose place they are drawn.
  FPDF_PAGEOBJECT neighbour() const { return styleObject; }
  // What a font says of its face, for the face typed words are set in: its
  // name, its descriptor, and the names inside its embedded program (a
  // subset's dictionary may say nothing of its weight while its program is
  // named bold). Reads the program: ask once per font.
  struct Style {
    QString family;
    bool bold = false, italic = false, serif = false, fixedPitch = false;
  };
  static Style styleOf(FPDF_FONT font);
  // Embedded without a font program: its glyphs are drawings of its own.
  static bool isType3(FPDF_FONT font);
  // Every show drawing the line, and those that go whole.
  const std::set<FPDF_PAGEOBJECT>& shows() const { return lineObjects; }
  const std::set<FPDF_PAGEOBJECT>& removed() const { return gone; }

  // Where the typed words go and what of each show stays where, once they
  // are `typedAdvance` points wide: the side of the line `alignment` names
  // stays put, and the line grows into its `room`. What still does not fit
  // is narrowed, glyphs kept and typed alike, to a quarter at most; it is
  // never widened, and what would still leave the sheet is refused.
  struct Placement {
    double scale = 1;
    double left = 0;  // shown x of the typed words' left edge
    bool offSheet = false;  // too long to stay on the sheet however narrowed: refused
    std::map<FPDF_PAGEOBJECT, ShowCut> cuts;
  };
  // `carried`: how far the whole line moves (shown points), with its block
  // or pushed down by a line added above it.
  Placement place(double typedAdvance, Qt::Alignment alignment, const LineRoom& room,
                  const QPointF& carried = {}) const;
  // The stored line each line of the new text keeps glyphs of (-1 none): the
  // same line, the lines below one split in two or after one added moved
  // down with it, both halves of a split line taking from it.
  static std::vector<int> sourceLines(const QStringList& now, const QStringList& was);

  // Each glyph of a show, in the order of its codes: its origin (user
  // space) and its middle on the shown page.
  struct NumberedGlyph {
    QPointF origin, middle;
  };
  // The glyphs of every show `codesOf` knows the codes of, numbered as a
  // cut numbers them; a show whose glyphs cannot be numbered is left out.
  static std::map<FPDF_PAGEOBJECT, std::vector<NumberedGlyph>> numberedGlyphs(
      FPDF_TEXTPAGE textPage, const PageSpace& space, const std::function<int(FPDF_PAGEOBJECT)>& codesOf);
  // What stays of a show an edit takes out in part: its glyphs `stays`
  // names, each where it stood. Nothing when none stays.
  static std::optional<ShowCut> keptWhereTheyStand(const std::vector<NumberedGlyph>& glyphs,
                                                   const std::function<bool(int code)>& stays);
  // Whether the line's cut decides the code's glyph (it is the line's own).
  bool decides(FPDF_PAGEOBJECT show, int code) const;
  // Shows of other words drawn over the line's place: they stay whole.
  const std::set<FPDF_PAGEOBJECT>& drawnOver() const { return over; }
  // Where the line's own glyphs stand (x of the cut's frame), glyphs read as
  // nothing, which the line's place leaves out, included.
  std::pair<double, double> span() const;

  // A line of several styles, as stored and as the editor hands it back.
  // It keeps glyphs only where the user restyled nothing: the characters it
  // still begins and ends with have the styles they had, and those between
  // share one, which is returned (nothing where that does not hold).
  struct StyledPiece {
    QString text;
    bool bold = false, italic = false;
    double size = 0;
  };
  static std::optional<StyledPiece> typedStyle(const std::vector<StyledPiece>& was,
                                               const std::vector<StyledPiece>& now);

private:
  struct Unit {
    FPDF_PAGEOBJECT object = nullptr;
    int code = 0;
    QString text;
    QPointF origin;  // user space
    double x = 0;    // of the origin, shown
    double left = 0, right = 0;  // shown
    double baseline = 0;         // shown
    double size = 0;             // as drawn on the page
    bool foreign = false;        // another line's, drawn by one of the line's shows
  };
  struct Item {
    int unit = -1;  // -1: a blank the reading put between glyphs
    QString text;
  };
  bool ok = false;
  PageSpace upright;
  QString typedText;
  bool rtl = false;
  bool typedLeftToRight = false;
  double anchorX = 0, baselineY = 0, size = 0;
  double oldEnd = 0;  // where the glyphs after the typed words began
  FPDF_PAGEOBJECT styleObject = nullptr;
  std::set<FPDF_PAGEOBJECT> lineObjects, gone, over, wholeShows;
  std::vector<Unit> units;
  std::map<FPDF_PAGEOBJECT, std::vector<int>> unitsOf;  // each show's glyphs, by their codes
  // Per unit: 0 goes, 1 stays, 2 stays and moves, 3 another line's (kept by whoever edits that line).
  std::vector<int> state;
};
