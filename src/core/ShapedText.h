#pragma once
// The one place that decides which face draws each character of written
// text and how: the preferred face where it has the glyph, else an installed
// outline face that has it (fontconfig's order), each run of one face,
// script and direction shaped by HarfBuzz and put in the order it is drawn,
// left to right. A character that no face has is reported, never drawn as
// glyph 0.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <Qt>

#include <map>
#include <memory>
#include <set>
#include <vector>

// A font file (one face of it) opened for shaping and embedding; shared
// process-wide, as faces are few and read-only once loaded.
class OutlineFace {
 public:
  // Null when the file cannot be read or the face holds no glyphs.
  static std::shared_ptr<const OutlineFace> load(const QString& path, int index = 0);
  ~OutlineFace();
  OutlineFace(const OutlineFace&) = delete;
  OutlineFace& operator=(const OutlineFace&) = delete;

  bool hasGlyph(char32_t c) const;
  // Horizontal advance of a glyph in font units.
  int advance(unsigned int glyph) const;
  // A font program with only `glyphs` (and glyph 0). For TrueType outlines
  // the glyphs are renumbered and `newIds` says how; CFF outlines keep their
  // numbers, which are their CIDs. Empty on failure.
  QByteArray subset(const std::set<unsigned int>& glyphs, std::map<unsigned int, unsigned int>* newIds) const;

  QString path;
  int index = 0;
  unsigned int upem = 1000;
  bool cff = false;  // PostScript outlines: embedded as OpenType, not TrueType
  QString postscriptName;
  QString family;
  int ascender = 800, descender = -200;  // font units
  int bbox[4] = {0, -200, 1000, 800};
  bool bold = false, italic = false, fixedPitch = false;
  void* hbFont() const;  // hb_font_t*, scaled to font units

 private:
  OutlineFace() = default;
  struct Handles;
  QByteArray data;
  std::unique_ptr<Handles> handles;
};

struct ShapedGlyph {
  unsigned int glyph = 0;
  int advance = 0, xOffset = 0, yOffset = 0;  // font units
  // The characters this glyph stands for when text is read back: a cluster's
  // characters are shared out among its glyphs in reading order.
  QString text;
};

struct ShapedRun {
  std::shared_ptr<const OutlineFace> face;
  bool rightToLeft = false;
  int order = 0;                    // its place in reading order
  std::vector<ShapedGlyph> glyphs;  // as drawn, left to right
};

// Combining marks one letter may carry. Shaping time grows with the square
// of a cluster's marks, and no script stacks more than a handful.
constexpr int kMostMarksOnALetter = 256;

struct ShapedLine {
  std::vector<ShapedRun> runs;  // as drawn, left to right
  // A character no face has (0 for none): such a line must not be written.
  char32_t missing = 0;
  // A letter carries more than kMostMarksOnALetter marks: the line is
  // refused before it is shaped.
  bool crowdedMarks = false;
  // A mark the shaper found no letter for and set on a dotted circle (0 for
  // none): text read from a page that draws its letters in another order.
  char32_t strayMark = 0;
  // The preferred face alone draws the line, left to right, one glyph per
  // character as its character map gives them: any writer can set it.
  bool plain = true;

  bool writable() const { return !missing && !crowdedMarks; }
  // Why the line must not be written; empty when it may.
  QString refusal() const;

  double advance(double size) const;
  // Highest ascent and lowest descent (negative) of the faces used.
  double ascent(double size) const;
  double descent(double size) const;
  // The families of the faces used, preferred first, each once.
  QStringList families() const;
};

// `text` laid out as one line, `preferredFace` being the font file tried
// first. The line runs the way its first strong character goes unless
// `direction` says otherwise: a piece of a laid-out paragraph goes the
// paragraph's way. Without `kerning` pairs keep their faces' own advances.
ShapedLine shapeLine(const QString& text, const QString& preferredFace, bool bold, bool italic,
                     Qt::LayoutDirection direction = Qt::LayoutDirectionAuto, bool kerning = true);

// The installed outline face closest to a font of the page: its family where
// installed (or what fontconfig takes for it, Liberation Sans for Helvetica),
// else a face of the same kind and style, one that draws `text` first.
QString closestInstalledFace(const QString& family, bool bold, bool italic, bool serif, bool fixedPitch,
                             const QString& text);

// The message that refuses writing `missing`, naming it.
QString missingGlyphMessage(char32_t missing);
