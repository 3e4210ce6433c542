// Which glyphs of each edited line stay, and where every line goes.
#include "EditedLines.h"

#include "BlockRichTextLayout.h"
#include "EditedLineFit.h"
#include "LineRoom.h"
#include "PageObjectBounds.h"
#include "PageTextCharacters.h"
#include "TurnedRect.h"

#include <QLineF>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

bool isRealRect(const QRectF& r) { return r.width() > 0 && r.height() > 0; }
bool blockTurned(const TextBlock& b) { return std::abs(b.rotation - b.originalRotation) > 0.1; }
bool blockMoved(const TextBlock& b) { return b.rect.toRect() != b.originalRect.toRect(); }
// A text block dropped or pasted here from elsewhere: this page never showed
// it, so it covers and takes away nothing of what the page shows under it.
bool placedHere(const TextBlock& b) { return !b.isImage && b.textEdited && !isRealRect(b.originalRect); }
// Where the block's old content lies on the shown page.
Place oldPlace(const TextBlock& b) {
  return isRealRect(b.originalRect) ? Place{b.originalRect, b.originalRotation} : Place{b.rect, b.rotation};
}

float usableSize(float size, float fallback) { return size > 0.5f ? size : (fallback > 0.5f ? fallback : 10.0f); }

namespace {

// A block's place is computed back from its box: what differs by rounding alone did not move.
QPointF moved(QPointF shift) {
  if (std::abs(shift.x()) < 1e-3) shift.setX(0);
  if (std::abs(shift.y()) < 1e-3) shift.setY(0);
  return shift;
}

}  // namespace

// How far the block's lines were carried from where the page drew them: a
// move carries them with the block; a resize leaves them.
QPointF lineShift(const TextBlock& b) {
  const bool sameSize = std::abs(b.rect.width() - b.originalRect.width()) < 0.25 &&
                        std::abs(b.rect.height() - b.originalRect.height()) < 0.25;
  return sameSize && isRealRect(b.originalRect) ? moved(b.rect.topLeft() - b.originalRect.topLeft()) : QPointF();
}

bool insideAny(const QPointF& p, const std::vector<Place>& places) {
  return std::any_of(places.begin(), places.end(), [&](const Place& place) { return place.contains(p); });
}

// The stored line a run stands in for: its plain line or its paragraph's; none for lines added below.
const TextBlock::Line* storedLineOf(const TextRun& run, const TextBlock& b) {
  const int index = run.lineIndex >= 0 ? run.lineIndex : run.paragraph;
  return index >= 0 && size_t(index) < b.lines.size() ? &b.lines[size_t(index)] : nullptr;
}

namespace {

// How far the lines of a block were carried, as far as the glyphs they keep
// can tell: a block moved, then grown by lines typed below its own, took its
// lines along with its upper left corner. Where a resize left them instead,
// the glyphs are not found there and the lines are written anew.
QPointF linesCarried(const TextBlock& b) {
  const QPointF shift = lineShift(b);
  if (!shift.isNull() || !isRealRect(b.originalRect)) return shift;
  const QRectF& was = b.originalRect;
  return moved(QPointF(b.rect.left() - was.left(), b.rect.y() + b.rect.height() - was.y() - was.height()));
}

// The side of a line that keeps its place when its kept glyphs move: the
// editor's alignment, but a one-line block is aligned by its place alone,
// and where its row holds other words its glyphs must not move into them.
Qt::Alignment keptLineAlignment(const TextBlock& b, int lineIndex, const QRectF& column,
                                const std::vector<PageChar>& chars, bool rightToLeft) {
  const Qt::Alignment alignment = editedLineAlignment(b, lineIndex, column);
  const Qt::Alignment natural = rightToLeft ? Qt::AlignRight : Qt::AlignLeft;
  if (b.lines.size() != 1 || alignment == natural) return alignment;
  const QRectF line = b.lines[0].rect;
  const bool sharedRow = std::any_of(chars.begin(), chars.end(), [&](const PageChar& c) {
    return !c.hidden && c.centre.y() > line.top() && c.centre.y() < line.bottom() &&
           (c.centre.x() < line.left() || c.centre.x() > line.right());
  });
  return sharedRow || (alignment & Qt::AlignHCenter) ? natural : alignment;
}

// Sets a visible run into its place: a rich run at the width the editor's
// layout gave it (held inside the block), a plain line into its line box.
void fitRun(TextRun& run, const TextBlock& b, double advance, const QRectF& column) {
  if (!(advance > 0)) return;
  if (run.laidOutWidth > 0) {
    run.scale = std::clamp(run.laidOutWidth / advance, 0.25, 1.0);
    // Held inside the line's place and the free room beside it, as the layout set it.
    const std::optional<QRectF> box = keptLineBox(b);
    const double room =
        (box ? box->right() + std::max(0.0f, b.lines.front().freeRight) + 0.25 : b.rect.right() + 0.5) - run.rect.x();
    if (advance * run.scale > room) run.scale = std::max(room / advance, 0.25);
    return;
  }
  const EditedLineFit fit = fitEditedLine(b, run.lineIndex, run.rect.x(), run.rect.width(), advance, column);
  run.rect.moveLeft(fit.x);
  run.scale = fit.scale;
}

}  // namespace

KeptLines keepLines(const EditedPage& page, const std::vector<TextBlock>& blocks, const std::vector<bool>& replace,
                    std::vector<std::vector<TextRun>>& shownRuns, std::set<FPDF_PAGEOBJECT>& doomed) {
  KeptLines keeps;
  if (page.tag.isEmpty()) return keeps;
  // The shows an edit may cut, taken before any is kept: the two halves
  // of a line split by Enter cut the same shows.
  std::set<FPDF_PAGEOBJECT> cuttable;
  for (FPDF_PAGEOBJECT object : doomed)
    if (page.objects.keys.count(object) && !isHiddenTextObject(object)) cuttable.insert(object);
  // So may shows only of glyphs read as nothing or of marks, which a line
  // ending in them or whose letters bear them takes along.
  std::map<FPDF_PAGEOBJECT, bool> alongOnly;
  for (const PageChar& c : page.chars)
    if (!c.hidden && page.objects.keys.count(c.object)) {
      auto [it, added] = alongOnly.try_emplace(c.object, true);
      it->second = it->second && (lettersOfCode(c.unicode).isEmpty() || isCombiningMark(c.unicode));
    }
  for (const auto& [object, along] : alongOnly)
    if (along && !isHiddenTextObject(object)) cuttable.insert(object);
  for (size_t i = 0; i < blocks.size(); ++i) {
    const TextBlock& b = blocks[i];
    if (!replace[i] || b.isImage || placedHere(b) || blockTurned(b)) continue;
    // A line the page draws turned by quarters is cut in the page turned
    // with it, where it reads upright; where the user did not move it.
    const int quarters = int(std::lround(b.rotation / 90));
    const bool turned = std::abs(b.rotation) >= 0.1;
    if (turned && (std::abs(b.rotation - 90 * quarters) >= 0.1 || blockMoved(b))) continue;
    const QPointF shift = linesCarried(b);
    std::vector<TextRun>& runs = shownRuns[i];
    // Which stored line each line of the new text comes from: a line the
    // user did not type into, or pushed down by Enter, keeps its glyphs.
    const bool rich = !b.richTextHtml.trimmed().isEmpty();
    QStringList was, now = rich ? QStringList() : displayLines(b);
    for (const TextBlock::Line& line : b.lines) was << line.text;
    if (rich) {
      BlockRichTextLayout laidOut(b, page.column);
      for (QTextBlock paragraph = laidOut.document().begin(); paragraph.isValid(); paragraph = paragraph.next())
        now << paragraph.text();
    }
    const std::vector<int> sources = LineGlyphCut::sourceLines(now, was);
    for (size_t r = 0; r < runs.size(); ++r) {
      TextRun& run = runs[r];
      // Rich text keeps glyphs of a paragraph laid out as one run in its
      // stored line's style: what the editor makes of a line only typed into.
      const int at = rich ? run.paragraph : run.lineIndex;
      const int lineIndex = at >= 0 && size_t(at) < sources.size() ? sources[size_t(at)] : -1;
      if (lineIndex < 0 || lineIndex >= int(b.lines.size())) continue;
      const TextBlock::Line& stored = b.lines[size_t(lineIndex)];
      const QRectF was = stored.rect.translated(-shift);
      // A paragraph laid out in several styles is cut as one line, its
      // typed words set in their own style by its first run.
      QString newText = run.text;
      std::vector<size_t> absorbed;
      if (rich) {
        std::vector<LineGlyphCut::StyledPiece> wasStyled, nowStyled;
        for (const TextBlock::Line::Span& span : stored.spans)
          wasStyled.push_back({span.text, span.bold, span.italic, span.fontSize});
        if (wasStyled.empty()) wasStyled.push_back({stored.text, stored.bold, stored.italic, stored.fontSize});
        for (size_t other = 0; other < runs.size(); ++other) {
          if (runs[other].paragraph != run.paragraph) continue;
          if (other < r) break;
          if (other > r) absorbed.push_back(other);
          nowStyled.push_back({runs[other].text, runs[other].bold, runs[other].italic, runs[other].size});
        }
        if (nowStyled.empty()) continue;  // cut with the paragraph's first run
        const std::optional<LineGlyphCut::StyledPiece> typed = LineGlyphCut::typedStyle(wasStyled, nowStyled);
        if (!typed) continue;
        if (!absorbed.empty()) {
          newText = now[at];
          run.bold = typed->bold;
          run.italic = typed->italic;
          run.size = float(typed->size);
        } else if (run.bold != stored.bold || run.italic != stored.italic ||
                   std::abs(run.size - stored.fontSize) >= 0.5f) {
          continue;
        }
      }
      // What the user did not touch keeps its glyphs; only typed words are new.
      const QTransform unturn = turnAbout(oldPlace(b).box.center(), -b.rotation);
      const auto cutIn = [&](const PageSpace& frame) {
        return LineGlyphCut::of(
            page.textPage, frame,
            [&](const QPointF& at) {
              const QPointF shown = page.space.toShown(frame.toUser(at));
              return was.contains(turned ? unturn.map(shown) : shown);
            },
            stored.text,
            newText, [&](FPDF_PAGEOBJECT object) {
              return cuttable.count(object) && !clipsText(object) ? operatorCodes(object, page.tag)
                                                                   : LineGlyphCut::kNotCut;
            });
      };
      LineGlyphCut glyphs = cutIn(page.space.turned(quarters));
      if (turned && !glyphs.applies()) glyphs = cutIn(page.space.turned(-quarters));
      if (!glyphs.applies()) continue;
      // A line pushed down by Enter goes where the editor lays it out
      // (rich text) or to the place of the line it now stands in.
      QPointF carried = shift;
      if (lineIndex != at)
        carried.ry() += rich ? run.rect.y() + 0.12 * run.size - glyphs.baseline() - shift.y()
                             : visualLineForIndex(b, at).rect.y() - stored.rect.y();
      if ((turned && !carried.isNull()) || !movesWhereDrawn(glyphs, was, carried, page.objects, page.space, page.tag))
        continue;
      for (FPDF_PAGEOBJECT object : glyphs.shows()) {
        if (glyphs.removed().count(object)) {
          // One taken along from outside the line's place; of a line Enter
          // split, what one half keeps the other half's cut does not take.
          if (!keeps.shows.count(object)) doomed.insert(object);
          continue;
        }
        doomed.erase(object);
        keeps.shows.insert(object);
      }
      run.keptLine = lineIndex;
      run.carried = carried;
      for (const size_t other : absorbed) runs[other].text.clear();
      keeps.cuts.emplace(std::make_pair(i, int(r)), std::move(glyphs));
    }
  }
  // Copies of the cut shows, drawn at their place after them.
  std::set<FPDF_PAGEOBJECT> read;
  for (const PageChar& c : page.chars) read.insert(c.object);
  std::map<FPDF_PAGEOBJECT, QRectF> boxes;  // of the shows pdfium does not read, once
  for (FPDF_PAGEOBJECT other : page.objects.text)
    if (!read.count(other) && page.objects.keys.count(other))
      boxes.emplace(other, pageObjectBounds(other, FPDF_PAGEOBJ_TEXT));
  const auto drawn = [&](FPDF_PAGEOBJECT object) { return page.objects.drawn.at(object); };
  for (const auto& [line, cut] : keeps.cuts)
    for (FPDF_PAGEOBJECT show : cut.shows()) {
      if (cut.removed().count(show) || keeps.copies.count(show)) continue;
      const QRectF box = pageObjectBounds(show, FPDF_PAGEOBJ_TEXT);
      for (const auto& [other, at] : boxes) {
        if (drawn(other) < drawn(show) || operatorCodes(other, page.tag) != operatorCodes(show, page.tag) ||
            FPDFTextObj_GetFont(other) != FPDFTextObj_GetFont(show) ||
            QLineF(at.topLeft(), box.topLeft()).length() > 0.5 ||
            QLineF(at.bottomRight(), box.bottomRight()).length() > 0.5)
          continue;
        keeps.copies[show].push_back(other);
        doomed.erase(other);
        keeps.shows.insert(other);
      }
    }
  for (auto& [show, copies] : keeps.copies)
    std::sort(copies.begin(), copies.end(), [&](FPDF_PAGEOBJECT a, FPDF_PAGEOBJECT b) { return drawn(a) < drawn(b); });
  return keeps;
}

LineGlyphCut::Placement placeCutLine(const TextRun& run, const TextBlock& b, double advance, const EditedPage& page,
                                     const std::vector<QRectF>& ink, const std::vector<Place>& covers) {
  // The glyphs that stay, those after the typed words moved by their width,
  // and the typed words where the removed ones began.
  const LineGlyphCut& cut = *run.glyphs;
  // The room the editor showed the line growing into, where the page still
  // has it; a turned line keeps to its box.
  const TextBlock::Line& stored = b.lines[size_t(run.keptLine)];
  const bool turned = std::abs(b.rotation) >= 0.1;
  QRectF lineBox = writtenLineBox(b, stored).translated(-linesCarried(b));
  if (!turned) {
    const auto [left, right] = cut.span();
    lineBox.setLeft(std::min(lineBox.left(), left));
    lineBox.setRight(std::max(lineBox.right(), right));
  }
  // What a growing line must not run into: the page's other visible words.
  std::vector<QPointF> words;
  for (const PageChar& c : page.chars)
    if (!c.hidden && !lineBox.contains(c.centre) && !insideAny(c.centre, covers)) words.push_back(c.centre);
  LineRoom room = freeRoom(lineBox, words, ink, page.column, page.space.shownSize().width());
  room.left = std::max(room.left, lineBox.left() - stored.freeLeft);
  room.right = std::min(room.right, lineBox.right() + stored.freeRight);
  if (turned) {
    const QRectF upright =
        cut.frame().toShown(page.space.toUser(turnedBounds(lineBox, b.rotation, b.rect.center())));
    room = {upright.left(), upright.right()};
  }
  const Qt::Alignment natural = cut.rightToLeft() ? Qt::AlignRight : Qt::AlignLeft;
  LineGlyphCut::Placement placed = cut.place(
      advance, turned ? natural : keptLineAlignment(b, run.keptLine, page.column, page.chars, cut.rightToLeft()),
      room, run.carried);
  if (!placed.offSheet && cut.removed().size() == cut.shows().size() && !turned) {
    // No glyph stays: laid out as the editor lays out a line it writes anew.
    TextRun laid = run;
    fitRun(laid, b, advance, page.column);
    placed.left = laid.rect.x();
    placed.scale = laid.scale;
  }
  return placed;
}

bool placeWrittenLine(TextRun& run, const TextBlock& b, const std::vector<double>& offsets, double advance,
                      const EditedPage& page) {
  // The baseline where the line had it, not where the box's lower edge
  // would put it; lines added below the stored ones follow the last one's.
  if (run.lineIndex >= 0 && !offsets.empty()) {
    const double offset = offsets[std::min(size_t(run.lineIndex), offsets.size() - 1)];
    if (!std::isnan(offset)) run.rect.translate(0, offset - 0.12 * run.size);
  }
  fitRun(run, b, advance, page.column);
  // Narrowed as far as it may be, a line set anew still stays on its sheet.
  if (std::abs(b.rotation) >= 0.1) return true;
  const TextBlock::Line* stored = storedLineOf(run, b);
  return !leavesSheet(run.rect.x(), run.rect.x() + advance * run.scale, page.space.shownSize().width(),
                      stored ? stored->rect.left() : 0.0, stored ? stored->rect.right() : 0.0);
}

void keepInShow(ContentDrops& root, const OperatorKey& key, const ShowCut& cut) {
  ShowCut& merged = dropsAt(root, key.forms).cuts[key.id];
  merged.codes = cut.codes;
  merged.whole = cut.whole;
  merged.kept.insert(merged.kept.end(), cut.kept.begin(), cut.kept.end());
  std::sort(merged.kept.begin(), merged.kept.end(), [](const KeptGlyphs& a, const KeptGlyphs& b) { return a.from < b.from; });
}
