#pragma once
// Where each line of an edited block goes back onto its page. A line keeps
// what the user did not type: its glyphs cut from their shows where they
// can be told apart, else its shows whole; only a line that holds no glyph
// to keep is written anew. Every road places its line in the room the
// editor showed, narrowing only what does not fit.

#include "LineGlyphCut.h"
#include "MarkedPageObjects.h"
#include "OwnFontText.h"
#include "PageChars.h"
#include "ShapedText.h"
#include "TextBlock.h"

#include <QColor>
#include <QTransform>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

// One piece of text to write in one style; rect's lower edge sits 12 % of the
// size below the baseline.
struct TextRun {
  QString text;
  QRectF rect;
  QString family;
  float size = 10.0f;
  QColor color = Qt::black;
  bool bold = false;
  bool italic = false;
  // Plain line i of the block (-1 none): fitted into rect as the preview fits it.
  int lineIndex = -1;
  // Rich text: the paragraph of the editor's document the run is a piece of.
  int paragraph = -1;
  // The stored line whose glyphs it keeps, and how far they move with it.
  int keptLine = -1;
  QPointF carried;
  // Rich text: the width the editor's layout gave the run; it is set there
  // at rect's left edge, its glyphs scaled to that width.
  double laidOutWidth = -1;
  // The way its paragraph runs, where a layout decided it.
  Qt::LayoutDirection direction = Qt::LayoutDirectionAuto;
  double scale = 1.0;
  // Set by HarfBuzz in the faces that have its characters, when pdfium,
  // which maps each character to one glyph of one font, cannot write it.
  std::shared_ptr<const ShapedLine> shaped;
  // Typed words the font of their line draws: they are set in it.
  std::shared_ptr<const OwnFontText> own;
  // The glyphs of its line that stay; the run is the typed words between them.
  const LineGlyphCut* glyphs = nullptr;
  // Set in the page turned so that its line reads upright (rect is there).
  std::optional<QTransform> userFromLine;
};

bool isRealRect(const QRectF& r);
bool blockTurned(const TextBlock& b);
bool blockMoved(const TextBlock& b);
// A text block dropped or pasted here from elsewhere: this page never showed
// it, so it covers and takes away nothing of what the page shows under it.
bool placedHere(const TextBlock& b);
// Where the block's old content lies on the shown page.
Place oldPlace(const TextBlock& b);
// How far the block's lines were carried from where the page drew them: a
// move carries them with the block; a resize leaves them.
QPointF lineShift(const TextBlock& b);
// The stored line a run stands in for: its plain line or its paragraph's; none for lines added below.
const TextBlock::Line* storedLineOf(const TextRun& run, const TextBlock& b);
float usableSize(float size, float fallback);
// Whether `p` lies in any of `places`.
bool insideAny(const QPointF& p, const std::vector<Place>& places);

// What an edit reads of its page.
struct EditedPage {
  FPDF_TEXTPAGE textPage;  // of the marked copy
  const PageSpace& space;
  const std::vector<PageChar>& chars;
  const PageObjects& objects;
  const QByteArray& tag;
  QRectF column;  // the page's text column
};

// The glyphs and shows the edited lines keep, by (block, run).
struct KeptLines {
  std::map<std::pair<size_t, int>, LineGlyphCut> cuts;
  std::set<FPDF_PAGEOBJECT> shows;  // that stay, whole or in part
  // A cut show the page draws again at its place (a visible copy over a
  // faint one, whose letters pdfium reads once), in the order painted: they
  // are cut alike, and the typed words follow the copy painted last.
  std::map<FPDF_PAGEOBJECT, std::vector<FPDF_PAGEOBJECT>> copies;
};

// Chooses, for every line of the replaced blocks, what of it stays: the
// runs that keep glyphs learn their line and how far it moves, the shows
// they keep leave `doomed`.
KeptLines keepLines(const EditedPage& page, const std::vector<TextBlock>& blocks, const std::vector<bool>& replace,
                    std::vector<std::vector<TextRun>>& shownRuns, std::set<FPDF_PAGEOBJECT>& doomed);

// Where a cut line's typed words go, `advance` wide, and what of each of
// its shows stays where: the line grows into the room the page has beside
// it (no other words of the page, none of `ink`, outside `covers`).
LineGlyphCut::Placement placeCutLine(const TextRun& run, const TextBlock& b, double advance, const EditedPage& page,
                                     const std::vector<QRectF>& ink, const std::vector<Place>& covers);

// Sets a line written anew `advance` wide on the
// baseline its line had (`offsets` above its box's lower edge, per line),
// fitted as the editor fits it. False where, narrowed as far as it may be,
// it would still leave its sheet.
bool placeWrittenLine(TextRun& run, const TextBlock& b, const std::vector<double>& offsets, double advance,
                      const EditedPage& page);

// Adds the glyphs a cut keeps of the show `key` names to what the drops
// keep of it: both halves of a split line may keep glyphs of one show.
void keepInShow(ContentDrops& root, const OperatorKey& key, const ShowCut& cut);
