// Writing a page's blocks back into its content. A changed block loses the
// text objects under its old place (covering alone would leave the old words
// searchable and extractable), gets a white box and is written visibly as the
// user sees it; text the page does not already show gets an invisible,
// searchable layer. Everything is prepared before the page is touched, so a
// failure leaves the page as it was.
#include "PdfDocument.h"
#include "CoreText.h"

#include "BlockRichTextLayout.h"
#include "TextEditRefusal.h"
#include "CarriedPicture.h"
#include "DocumentLock.h"
#include "EditedLineFit.h"
#include "EditedLines.h"
#include "InkSilhouette.h"
#include "LineGlyphCut.h"
#include "PageChars.h"
#include "LineRoom.h"
#include "MarkedPageObjects.h"
#include "PageContentEdit.h"
#include "PdfEncryptionKeeping.h"
#include "PdfFileWriter.h"
#include "PdfObjectStreamPacking.h"
#include "PageObjectBounds.h"
#include "PageObjectWriters.h"
#include "PageSpace.h"
#include "PageTextCharacters.h"
#include "PdfiumHandles.h"
#include "ShapedText.h"
#include "ShapedTextPdf.h"
#include "TurnedRect.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <variant>

namespace {

constexpr double kWhiteMargin = 1.5;

// Text laid out in the block's unturned box is turned with the block, about
// the box's centre on the shown page.
void turnWithBlock(FPDF_PAGEOBJECT object, const TextBlock& b, const PageSpace& space) {
  if (!object || std::abs(b.rotation) < 0.1) return;
  const QTransform userFromShown = space.userFromShown();
  const QTransform m = userFromShown.inverted() * turnAbout(b.rect.center(), b.rotation) * userFromShown;
  FPDFPageObj_Transform(object, m.m11(), m.m12(), m.m21(), m.m22(), m.dx(), m.dy());
}

QColor visibleColour(const QColor& line, const QColor& block) {
  QColor c = line.isValid() && line.alpha() > 8 ? line : (block.isValid() && block.alpha() > 8 ? block : Qt::black);
  c.setAlpha(255);
  return c;
}


// The run has the weight and slant of the line it replaces: the user restyled none of it.
bool styledAsItsLine(const TextRun& run, const TextBlock& b) {
  const TextBlock::Line* line = storedLineOf(run, b);
  return line && run.bold == line->bold && run.italic == line->italic;
}

// Text set anew from what the page reads must shape as the page draws it: a
// reading that puts a mark before its letter (Indic text drawn in visual
// order) would stand that mark on a dotted circle. Why it is refused, or empty.
QString misorderedReading(const ShapedLine& line, const TextBlock& b) {
  if (!line.strayMark || line.runs.empty()) return {};
  const OutlineFace& face = *line.runs.front().face;
  const QString mark = QString::fromUcs4(&line.strayMark, 1);
  for (const TextBlock::Line& stored : b.lines)
    if (stored.text.contains(mark) && shapeLine(stored.text, face.path, face.bold, face.italic).strayMark)
      return coreText("Эту строку нельзя изменить: текст страницы читает знак «%1» (U+%2) не при его букве, "
                      "страница рисует буквы в другом порядке, и строка была бы записана не так, как показана.")
          .arg(mark, QString::number(uint(line.strayMark), 16).toUpper().rightJustified(4, QLatin1Char('0')));
  return {};
}

// The run keeps the colour its line was read in: the user left it.
bool colourAsRead(const TextRun& run, const TextBlock& b) {
  for (size_t i = 0; i < b.lines.size(); ++i) {
    if (run.lineIndex >= 0 && i != std::min(size_t(run.lineIndex), b.lines.size() - 1)) continue;
    const TextBlock::Line& line = b.lines[i];
    if (visibleColour(line.color, b.color) == run.color) return true;
    for (const auto& span : line.spans)
      if (visibleColour(span.color, b.color) == run.color) return true;
  }
  return false;
}

TextRun runForLine(const TextBlock::Line& line, const TextBlock& b, const QString& text) {
  TextRun run;
  run.text = text;
  run.rect = writtenLineBox(b, line);
  run.family = line.fontFamily.isEmpty() ? b.fontFamily : line.fontFamily;
  run.size = usableSize(line.fontSize, b.fontSize);
  run.color = visibleColour(line.color, b.color);
  run.bold = line.fontFamily.isEmpty() ? b.bold : line.bold;
  run.italic = line.fontFamily.isEmpty() ? b.italic : line.italic;
  return run;
}

// The rich text as the editor's preview lays it out, one run per style
// within each laid-out line.
std::vector<TextRun> richTextRuns(const TextBlock& b, const QRectF& column) {
  BlockRichTextLayout laidOut(b, column);
  const QTextDocument& document = laidOut.document();
  const double narrow = laidOut.narrowing();
  const double shift = laidOut.offset();
  std::vector<TextRun> runs;
  const double top = b.rect.y() + b.rect.height() - laidOut.drop();
  int paragraphNumber = -1;
  for (QTextBlock paragraph = document.begin(); paragraph.isValid(); paragraph = paragraph.next()) {
    ++paragraphNumber;
    const QTextLayout* layout = paragraph.layout();
    if (!layout) continue;
    const QPointF origin = document.documentLayout()->blockBoundingRect(paragraph).topLeft();
    const QString paragraphText = paragraph.text();
    for (int l = 0; l < layout->lineCount(); ++l) {
      const QTextLine line = layout->lineAt(l);
      const int lineStart = line.textStart();
      const int lineEnd = lineStart + line.textLength();
      const double baseline = top - (origin.y() + line.y() + line.ascent());
      for (auto it = paragraph.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const int start = std::max(fragment.position() - paragraph.position(), lineStart);
        const int end = std::min(fragment.position() + fragment.length() - paragraph.position(), lineEnd);
        if (start >= end) continue;
        // Each run is the text between its outer blanks, placed where the
        // layout put that text; the blanks between runs stay gaps.
        int first = start, last = end;
        while (first < last && paragraphText.at(first).isSpace()) ++first;
        while (last > first && paragraphText.at(last - 1).isSpace()) --last;
        QString text = paragraphText.mid(first, last - first);
        text.remove(QChar::LineSeparator).remove(QChar::ObjectReplacementCharacter);
        if (text.trimmed().isEmpty()) continue;

        const QTextCharFormat format = fragment.charFormat();
        const QFont font = format.font();
        const double size = font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF();
        TextRun run;
        run.text = text;
        run.size = usableSize(float(size), b.fontSize);
        const auto [left, right] = laidOutSpan(line, first, last);
        const double x = b.rect.x() + shift + narrow * (origin.x() + left);
        run.laidOutWidth = std::max(narrow * (right - left), 0.5);
        run.rect = QRectF(x, baseline - 0.12 * run.size, run.laidOutWidth, run.size);
        run.direction = paragraph.textDirection();
        run.family = font.family().isEmpty() ? b.fontFamily : font.family();
        run.color = visibleColour(format.foreground().style() != Qt::NoBrush ? format.foreground().color()
                                                                             : QColor(),
                                  b.color);
        // Weight 600 is how the editor draws small italic on screen, not bold.
        run.bold = font.weight() >= QFont::Bold;
        run.italic = font.italic();
        run.paragraph = paragraphNumber;
        runs.push_back(std::move(run));
      }
    }
  }
  return runs;
}

// What the user sees of a changed block: its current text, laid out in its lines.
std::vector<TextRun> visibleRuns(const TextBlock& b, const QRectF& column) {
  if (!b.richTextHtml.trimmed().isEmpty()) return richTextRuns(b, column);
  std::vector<TextRun> runs;
  if (!b.lines.empty()) {
    const QStringList texts = displayLines(b);
    const int n = std::max(int(b.lines.size()), int(texts.size()));
    for (int i = 0; i < n; ++i) {
      const TextBlock::Line line = visualLineForIndex(b, i);
      const QString text = i < texts.size() ? texts.at(i) : line.text;
      if (text.trimmed().isEmpty()) continue;
      runs.push_back(runForLine(line, b, text));
      runs.back().lineIndex = i;
    }
    return runs;
  }
  // One style, one piece per line feed, from the top of the block down.
  TextBlock::Line style;
  style.fontSize = usableSize(b.fontSize, 10.0f);
  const double pitch = std::max(style.fontSize / 0.72, 6.0);
  const QStringList parts = b.text.split(QLatin1Char('\n'));
  for (int i = 0; i < parts.size(); ++i) {
    if (parts.at(i).trimmed().isEmpty()) continue;
    style.rect = QRectF(b.rect.x(), b.rect.y() + b.rect.height() - (i + 1) * pitch, b.rect.width(), pitch);
    runs.push_back(runForLine(style, b, parts.at(i)));
  }
  return runs;
}

// The text of an unchanged block as stored, for the invisible layer.
std::vector<TextRun> storedRuns(const TextBlock& b) {
  std::vector<TextRun> runs;
  if (b.lines.empty()) {
    QString text = b.text;
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (!text.trimmed().isEmpty()) {
      TextBlock::Line style;
      style.rect = b.rect;
      runs.push_back(runForLine(style, b, text));
    }
    return runs;
  }
  for (const auto& line : b.lines)
    if (!line.text.trimmed().isEmpty()) runs.push_back(runForLine(line, b, line.text));
  return runs;
}

// The font of the first visible glyph the page drew where the run's line
// was: its own line where the block stood upright, else the block's place.
FPDF_FONT fontDrawing(const TextBlock& b, const TextRun& run, const std::vector<PageChar>& chars) {
  const TextBlock::Line* line = storedLineOf(run, b);
  const Place place = std::abs(b.originalRotation) < 0.1 && line ? Place{line->rect.translated(-lineShift(b))}
                                                                 : oldPlace(b);
  for (const PageChar& c : chars)
    if (!c.hidden && place.contains(c.centre)) return FPDFTextObj_GetFont(c.object);
  return nullptr;
}


// How far above its line box's lower edge each line of a changed block had
// its baseline on this page, so that a moved or retyped line keeps it; NaN
// where the page showed nothing of the line (a turned or rich block, a line
// that came from elsewhere).
std::vector<double> baselineOffsets(const TextBlock& b, const std::vector<PageChar>& chars) {
  std::vector<double> offsets(b.lines.size(), std::nan(""));
  if (!isRealRect(b.originalRect) || !b.richTextHtml.trimmed().isEmpty() || std::abs(b.rotation) >= 0.1 ||
      std::abs(b.originalRotation) >= 0.1)
    return offsets;
  const QPointF shift = lineShift(b);
  for (size_t j = 0; j < b.lines.size(); ++j) {
    const QRectF was = b.lines[j].rect.translated(-shift);
    const double baseline = baselineIn(chars, was);
    if (!std::isnan(baseline)) offsets[j] = baseline - was.y();
  }
  return offsets;
}

// The same characters, however spaced: a block's text read back from the page.
bool sameText(const QString& a, const QString& b) { return withoutBlanks(a) == withoutBlanks(b); }

struct WhiteBox {
  QRectF rect;
};
struct PlacedImage {
  QRectF rect;
  QImage image;
  bool cover = false;  // hides old content, goes in before any new content
  double rotation = 0;  // clockwise about rect's centre, as the block shows
  // The matrix of the picture's own object, when the edited picture goes
  // where that one was: it keeps its place, size and pixel order in the file.
  std::optional<QTransform> ownMatrix;
};

// Over its own object's place an edited picture goes back into the order of
// pixels that object had; elsewhere it stands as the block shows it.
bool placeImage(FPDF_DOCUMENT doc, FPDF_PAGE page, const PlacedImage& placed) {
  if (placed.ownMatrix)
    if (const auto order = shownPixelOrder(*placed.ownMatrix, PageSpace::ofPage(page)))
      return placeImageObject(doc, page, *placed.ownMatrix, reorderedPixels(placed.image, order->inverted()));
  if (placed.rect.width() <= 0.1 || placed.rect.height() <= 0.1) return false;
  return placeImageObject(doc, page, shownImageMatrix(page, placed.rect, placed.rotation), placed.image);
}

struct PlacedText {
  size_t block;
  TextRun run;
  bool invisible = false;
  // Drawn where the old line was, under this number: see ContentDrops::splices.
  int piece = -1;
};
using PageWrite = std::variant<WhiteBox, PlacedText, PlacedImage>;

// The shaped lines among `writes`, by their writes' numbers, placed as a
// text object of pdfium's would be: a visible line on its baseline at the
// run's horizontal scale, an invisible one stretched over its box, both
// turned with their block.
std::map<int, ShapedPlacement> shapedPlacements(const std::vector<PageWrite>& writes,
                                                const std::vector<TextBlock>& blocks, const PageSpace& space) {
  std::map<int, ShapedPlacement> placed;
  for (size_t w = 0; w < writes.size(); ++w) {
    const auto* text = std::get_if<PlacedText>(&writes[w]);
    if (!text || !text->run.shaped) continue;
    const TextRun& run = text->run;
    const TextBlock& b = blocks[text->block];
    const double size = std::max(run.size, 1.0f);
    const QRectF& rect = run.rect;
    QTransform shown(run.scale > 0.01 ? run.scale : 1.0, 0, 0, 1, rect.x(), rect.y() + std::max(0.12 * size, 0.0));
    if (text->invisible) {
      const double width = run.shaped->advance(size);
      const double bottom = run.shaped->descent(size), top = run.shaped->ascent(size);
      const double sx = std::clamp(rect.width() / std::max(width, 0.01), 0.05, 20.0);
      const double sy = std::clamp(rect.height() / std::max(top - bottom, 0.01), 0.05, 20.0);
      shown = QTransform(sx, 0, 0, sy, rect.x(), rect.y() - bottom * sy);
    }
    const QTransform userFromShown = space.userFromShown();
    QTransform matrix = shown * run.userFromLine.value_or(userFromShown);
    if (std::abs(b.rotation) >= 0.1 && !run.userFromLine)
      matrix = matrix * (userFromShown.inverted() * turnAbout(b.rect.center(), b.rotation) * userFromShown);
    placed[int(w)] = {run.shaped, matrix, size, run.color, text->invisible, run.glyphs != nullptr, run.own};
  }
  return placed;
}

}  // namespace

struct PdfDocument::WriteBackPlan {
  std::vector<PageWrite> writes;
  bool needsOperators = false;  // something of the page goes
  QString refusal;              // why the edit cannot be made as the user sees it
  bool shaped = false;          // some text is set by HarfBuzz, which only the marked road takes
  // On a marked page: the operators that go, by the numbers the marks gave them.
  ContentDrops drops;
  struct Font {
    QString family;
    bool bold, italic;
    QString text;
  };
  std::vector<Font> fonts;  // one per style, covering all its text
};

PdfDocument::WriteBackPlan PdfDocument::planWriteBackUnlocked(FPDF_PAGE p, const std::vector<TextBlock>& blocks,
                                                              bool replaceAll, const QByteArray& tag) {
  WriteBackPlan plan;
  const PageSpace space = PageSpace::ofPage(p);
  PageObjects objects;
  std::vector<int> path;
  collectObjects(p, nullptr, path, tag, objects);
  const auto removable = [&](FPDF_PAGEOBJECT object) { return objects.keys.count(object) > 0; };

  // Which text blocks replace what the page shows, and where their old content was.
  std::vector<bool> replace(blocks.size(), false);
  for (size_t i = 0; i < blocks.size(); ++i) {
    const TextBlock& b = blocks[i];
    if (b.isImage) continue;
    const bool changed = !b.richTextHtml.isEmpty() || replaceAll;
    if (b.textEdited || (!isRealRect(b.originalRect) && changed) ||
        (isRealRect(b.originalRect) && (changed || blockMoved(b) || blockTurned(b))))
      replace[i] = true;
  }

  const std::set<FPDF_PAGEOBJECT> textObjects(objects.text.begin(), objects.text.end());
  std::vector<std::pair<FPDF_PAGEOBJECT, QPointF>> visibleObjectCentres;
  for (FPDF_PAGEOBJECT object : objects.topLevel) {
    if (FPDFPageObj_GetType(object) != FPDF_PAGEOBJ_TEXT || isHiddenTextObject(object) || clipsText(object)) continue;
    if (const QRectF box = pageObjectBounds(object, FPDF_PAGEOBJ_TEXT); !box.isEmpty())
      visibleObjectCentres.emplace_back(object, space.toShown(box).center());
  }

  // Text objects under a replaced block go: those with a character or the
  // centre of their box in its old place. Where such an object also draws
  // characters elsewhere, it is cut: they stay as they are. A show that
  // cannot be cut takes the block of those characters with it, which is
  // then rewritten; characters no block accounts for keep it whole (covered),
  // so that no text is lost.
  const std::vector<PageChar> chars = readPageChars(p, space);
  pdfium::TextPage markedText(tag.isEmpty() ? nullptr : FPDFText_LoadPage(p));
  const std::map<FPDF_PAGEOBJECT, std::vector<LineGlyphCut::NumberedGlyph>> numbered =
      LineGlyphCut::numberedGlyphs(markedText.get(), space, [&](FPDF_PAGEOBJECT object) {
        return removable(object) && !isHiddenTextObject(object) && !clipsText(object) ? operatorCodes(object, tag) : -1;
      });
  // Where the old content of every block that replaces it lies.
  const auto replacedPlaces = [&] {
    std::vector<Place> places;
    for (size_t i = 0; i < blocks.size(); ++i)
      if (replace[i] && !placedHere(blocks[i])) places.push_back(oldPlace(blocks[i]));
    return places;
  };
  std::set<FPDF_PAGEOBJECT> doomed;
  for (int round = 0; round < 64; ++round) {
    const std::vector<Place> covers = replacedPlaces();
    doomed.clear();
    for (const auto& [object, centre] : visibleObjectCentres)
      if (insideAny(centre, covers)) doomed.insert(object);
    for (const PageChar& c : chars)
      if (!c.hidden && textObjects.count(c.object) && !clipsText(c.object) && insideAny(c.centre, covers))
        doomed.insert(c.object);

    bool promoted = false;
    std::set<FPDF_PAGEOBJECT> orphaned;
    for (const PageChar& c : chars) {
      if (c.hidden || !doomed.count(c.object) || insideAny(c.centre, covers) || numbered.count(c.object)) continue;
      bool claimed = false;
      for (size_t i = 0; i < blocks.size() && !claimed; ++i) {
        if (blocks[i].isImage || replace[i] || !oldPlace(blocks[i]).contains(c.centre)) continue;
        replace[i] = claimed = promoted = true;
      }
      // A character extraction cannot read (a broken ToUnicode map) belongs
      // to no block, so it holds nothing back: it goes with its show.
      if (!claimed && !lettersOfCode(c.unicode).isEmpty()) orphaned.insert(c.object);
    }
    if (!promoted) {
      for (FPDF_PAGEOBJECT object : orphaned) doomed.erase(object);
      break;
    }
  }
  const QRectF column = pageTextColumn(blocks);
  std::map<FPDF_FONT, DrawnChars> drawnPerFont;  // what typed words may take from the line's font
  // What each replaced block will show, laid out once (rich text is a layout).
  std::vector<std::vector<TextRun>> shownRuns(blocks.size());
  for (size_t i = 0; i < blocks.size(); ++i)
    if (replace[i] && !blocks[i].isImage) shownRuns[i] = visibleRuns(blocks[i], column);
  const EditedPage edited{markedText.get(), space, chars, objects, tag, column};
  KeptLines keeps = keepLines(edited, blocks, replace, shownRuns, doomed);
  // Shows the edit takes out in part keep the glyphs of what stays, each
  // where it stood; a glyph a cut line holds is that line's to place.
  std::map<FPDF_PAGEOBJECT, ShowCut> partlyKept;
  {
    const std::vector<Place> covers = replacedPlaces();
    for (const auto& [object, glyphs] : numbered) {
      if (!doomed.count(object) && !keeps.shows.count(object)) continue;
      if (std::any_of(keeps.cuts.begin(), keeps.cuts.end(),
                      [&](const auto& line) { return line.second.drawnOver().count(object) > 0; }))
        continue;
      std::optional<ShowCut> kept = LineGlyphCut::keptWhereTheyStand(glyphs, [&](int code) {
        return !insideAny(glyphs[size_t(code)].middle, covers) &&
               std::none_of(keeps.cuts.begin(), keeps.cuts.end(),
                            [&](const auto& line) { return line.second.decides(object, code); });
      });
      if (kept) partlyKept.emplace(object, std::move(*kept));
    }
  }
  // Read once, and only for an edit whose typed words may take a line's font.
  bool drawnRead = false;
  const auto drawnIn = [&](FPDF_FONT font) -> const DrawnChars& {
    if (!drawnRead) {
      pdfium::TextPage textPage(FPDFText_LoadPage(p));
      if (textPage) drawnPerFont = charsDrawnPerFont(textPage.get());
      drawnRead = true;
    }
    return drawnPerFont[font];
  };
  // Hidden text goes where a written block takes its place: the old place of
  // a replaced block, or an unchanged block whose hidden text on the page
  // reads otherwise (a scan recognised again). Hidden text no block rewrites
  // (the searchable words over outlined numbers) stays as it was, and an
  // unchanged block the page already holds as hidden text is not written again.
  std::vector<bool> alreadyHidden(blocks.size(), false);
  std::vector<std::set<FPDF_PAGEOBJECT>> hiddenUnder(blocks.size());
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (blocks[i].isImage || replace[i] || blocks[i].text.trimmed().isEmpty()) continue;
    QString hiddenText;
    for (const PageChar& c : chars)
      if (c.hidden && oldPlace(blocks[i]).contains(c.centre)) {
        hiddenText += lettersOfCode(c.unicode);
        hiddenUnder[i].insert(c.object);
      }
    alreadyHidden[i] = !hiddenText.isEmpty() && sameText(hiddenText, blocks[i].text);
  }
  const std::vector<Place> covers = replacedPlaces();
  for (const PageChar& c : chars)
    if (c.hidden && insideAny(c.centre, covers)) doomed.insert(c.object);
  // A block whose hidden words go with another's is written again.
  for (bool more = true; more;) {
    more = false;
    for (size_t i = 0; i < blocks.size(); ++i) {
      if (blocks[i].isImage || replace[i] || blocks[i].text.trimmed().isEmpty()) continue;
      const auto& under = hiddenUnder[i];
      alreadyHidden[i] = alreadyHidden[i] && std::none_of(under.begin(), under.end(), [&](FPDF_PAGEOBJECT object) {
                           return doomed.count(object) > 0;
                         });
      if (alreadyHidden[i]) continue;
      for (FPDF_PAGEOBJECT object : under) more = doomed.insert(object).second || more;
    }
  }

  // Visible text that stays on the page after the removals already serves
  // search and copying; an invisible copy of it would double every word.
  const auto gone = [&](FPDF_PAGEOBJECT object) { return doomed.count(object) && removable(object); };
  std::vector<QPointF> shownText;
  for (const PageChar& c : chars)
    if (!c.hidden && c.mapped && (!doomed.count(c.object) || (partlyKept.count(c.object) && !insideAny(c.centre, covers))))
      shownText.push_back(c.centre);
  auto pageShowsTextIn = [&](const QRectF& r) {
    return std::any_of(shownText.begin(), shownText.end(), [&](const QPointF& c) { return r.contains(c); });
  };
  // Old text that cannot be taken out (a picture of text, or text the edit
  // cannot reach) is covered with white; text taken out needs no cover.
  const auto needsCover = [&](const Place& place) {
    bool any = false;
    for (const PageChar& c : chars) {
      if (!place.contains(c.centre)) continue;
      any = true;
      if (!c.hidden && FPDFTextObj_GetTextRenderMode(c.object) != FPDF_TEXTRENDERMODE_CLIP && !gone(c.object) &&
          !keeps.shows.count(c.object))
        return true;
    }
    // pdfium reads no characters from a show in a span with /ActualText once
    // the show carries a mark of ours as well: a show taken out there tells
    // that the place held text, not a picture of it. (The new line is not
    // drawn in that span either, where viewers would read the span's text.)
    return !any && std::none_of(visibleObjectCentres.begin(), visibleObjectCentres.end(), [&](const auto& shown) {
      return gone(shown.first) && place.contains(shown.second);
    });
  };

  // New text is written left to right only: a column of vertical writing
  // would come back as a row, or a line a glyph, so it may only be taken away.
  for (size_t i = 0; i < blocks.size(); ++i)
    if (replace[i] && blocks[i].vertical && !blocks[i].text.trimmed().isEmpty()) {
      plan.refusal = verticalTextRefusal();
      return plan;
    }

  // Text drawn as a clip shows only through what is painted after it: a new
  // line in its place would not be drawn that way, and the old one would stay
  // readable in the file.
  for (const Place& place : replacedPlaces())
    for (const PageChar& c : chars)
      if (c.mapped && clipsText(c.object) && place.contains(c.centre)) {
        plan.refusal = clipTextRefusal();
        return plan;
      }

  // Words the edit removes must leave the file: where an object drawing them
  // cannot be taken out, or stays for words no block accounts for, covering
  // them would only hide them from the eye.
  for (const PageChar& c : chars) {
    if (!c.mapped || !insideAny(c.centre, covers)) continue;
    const bool kept = !doomed.count(c.object) && !keeps.shows.count(c.object) && !c.hidden && !clipsText(c.object);
    if (kept || (!tag.isEmpty() && doomed.count(c.object) && !removable(c.object))) {
      plan.refusal = coreText("Эту строку нельзя изменить: её прежний текст остался бы в файле.");
      return plan;
    }
  }
  // A line the page does not show (the text layer of a scan) stays unshown.
  const auto pageHidesTextIn = [&](const Place& place) {
    bool any = false;
    for (const PageChar& c : chars) {
      if (!place.contains(c.centre)) continue;
      if (!c.hidden) return false;
      any = true;
    }
    return any;
  };
  // The first drawn of the removed objects with a character in `place`: the
  // new text goes where it was drawn.
  const auto firstRemovedIn = [&](const Place& place) -> FPDF_PAGEOBJECT {
    FPDF_PAGEOBJECT first = nullptr;
    size_t order = 0;
    for (const PageChar& c : chars) {
      if (c.hidden || !gone(c.object) || !place.contains(c.centre)) continue;
      const size_t drawn = objects.drawn[c.object];
      if (!first || drawn < order) {
        first = c.object;
        order = drawn;
      }
    }
    return first;
  };

  // The runs of every text block first, so that each font is embedded once
  // as a subset covering all the characters this page gets.
  std::vector<std::vector<TextRun>> blockRuns(blocks.size());
  std::map<std::pair<bool, bool>, std::pair<QString, QString>> textPerStyle;  // family, all text
  std::map<FPDF_FONT, LineGlyphCut::Style> fontStyles;  // of the fonts typed words follow
  const auto styleOfFont = [&](FPDF_FONT font) -> const LineGlyphCut::Style& {
    auto known = fontStyles.find(font);
    if (known == fontStyles.end()) known = fontStyles.emplace(font, LineGlyphCut::styleOf(font)).first;
    return known->second;
  };
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (blocks[i].isImage) continue;
    blockRuns[i] = replace[i] ? shownRuns[i] : storedRuns(blocks[i]);
    for (size_t r = 0; r < blockRuns[i].size(); ++r) {
      TextRun& run = blockRuns[i][r];
      if (const auto cut = replace[i] ? keeps.cuts.find({i, int(r)}) : keeps.cuts.end(); cut != keeps.cuts.end()) {
        run.glyphs = &cut->second;
        run.text = cut->second.typed();
        if (run.text.trimmed().isEmpty()) continue;
        FPDF_FONT font = FPDFTextObj_GetFont(cut->second.neighbour());
        const LineGlyphCut::Style& style = styleOfFont(font);
        // The size the neighbouring glyph is drawn at, which readers compare
        // to keep a word whole (a line may mix sizes); a Type 3 glyph's own
        // matrix makes that reading far off the size extraction worked out,
        // which then holds.
        if (const double drawn = cut->second.typedSize();
            drawn > 0.5 && (std::abs(drawn - run.size) < 0.25 * run.size || !LineGlyphCut::isType3(font)))
          run.size = float(drawn);
        const bool bold = style.bold || run.bold, italic = style.italic || run.italic;
        // Typed words go the line's way, not the way their own first letter goes.
        // Ghostscript reads a turned line apart wherever its glyphs are shifted.
        const auto line = std::make_shared<const ShapedLine>(shapeLine(
            run.text, closestInstalledFace(style.family, bold, italic, style.serif, style.fixedPitch, run.text), bold,
            italic, cut->second.typedRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight,
            std::abs(blocks[i].rotation) < 0.1));
        if (!line->writable()) {
          plan.refusal = line->refusal();
          return plan;
        }
        run.shaped = line;
        if (OwnFontText own = ownFontText(font, run.text, drawnIn(font)); !own.chars.empty())
          run.own = std::make_shared<const OwnFontText>(std::move(own));
        else if (plan.refusal = misorderedReading(*line, blocks[i]); !plan.refusal.isEmpty())
          return plan;
        plan.shaped = true;
        continue;
      }
      // A line written anew where the page drew one takes the installed
      // face closest to that line's font, as typed words of a cut line do.
      QString face;
      if (replace[i] && !placedHere(blocks[i]))
        if (FPDF_FONT font = fontDrawing(blocks[i], run, chars); font && !LineGlyphCut::isType3(font)) {
          const LineGlyphCut::Style& style = styleOfFont(font);
          face = closestInstalledFace(style.family, run.bold, run.italic, style.serif, style.fixedPitch, run.text);
        }
      // Ghostscript reads a turned line apart wherever its glyphs are shifted.
      const auto line = std::make_shared<const ShapedLine>(
          shapeLine(run.text, face.isEmpty() ? preferredFaceFile(run.family, run.bold, run.italic) : face, run.bold,
                    run.italic, run.direction, std::abs(blocks[i].rotation) < 0.1));
      if (!line->writable()) {
        // What the user changed is written whole or not at all; a stored
        // line no face can draw gets no searchable copy.
        // Only the marked page tells which shows of the line stay as they
        // are; what the new line must draw is known there.
        if (replace[i] && tag.isEmpty()) {
          plan.shaped = true;
          continue;
        }
        if (replace[i]) {
          plan.refusal = line->refusal();
          return plan;
        }
        run.text.clear();
        continue;
      }
      if (!line->plain || !face.isEmpty()) {
        run.shaped = line;
        plan.shaped = true;
        continue;
      }
      auto& [family, text] = textPerStyle[{run.bold, run.italic}];
      if (text.isEmpty()) family = run.family;
      text += run.text;
    }
  }
  for (const auto& [style, use] : textPerStyle) {
    plan.fonts.push_back({use.first, style.first, style.second, use.second});
    loadFontUnlocked(use.first, style.first, style.second, use.second);
  }

  // What a growing line must not run into: what else the page paints (forms by what they paint).
  const std::vector<QRectF> ink = pageInkBoxes(p, space);

  for (size_t i = 0; i < blocks.size(); ++i) {
    const TextBlock& b = blocks[i];
    if (!b.isImage) {
      if (replace[i]) {
        if (!placedHere(b) && pageHidesTextIn(oldPlace(b))) {
          for (const TextRun& run : blockRuns[i])
            if (!run.text.isEmpty()) plan.writes.emplace_back(PlacedText{i, run, true});
          continue;
        }
        // A line that keeps shows of its own is not covered: they would go
        // under the white with what no block accounts for.
        const auto firstCut = keeps.cuts.lower_bound({i, std::numeric_limits<int>::min()});
        const bool keepsShows = firstCut != keeps.cuts.end() && firstCut->first.first == i;
        const bool covered = !placedHere(b) && !keepsShows && needsCover(oldPlace(b));
        if (covered) plan.writes.emplace_back(WhiteBox{oldPlace(b).bounds()});
        const std::vector<double> offsets = baselineOffsets(b, chars);
        const QPointF shift = lineShift(b);
        for (TextRun& run : blockRuns[i]) {
          if (run.glyphs) {
            const LineGlyphCut& cut = *run.glyphs;
            const double advance = run.own ? run.own->advance(run.size)
                                           : run.shaped ? run.shaped->advance(run.size) : 0.0;
            const LineGlyphCut::Placement placed = placeCutLine(run, b, advance, edited, ink, covers);
            if (placed.offSheet) {
              plan.refusal = offSheetRefusal();
              return plan;
            }
            std::set<FPDF_PAGEOBJECT> touched = cut.removed();
            for (const auto& [object, showCut] : placed.cuts) {
              std::vector<FPDF_PAGEOBJECT> alike{object};
              if (const auto copies = keeps.copies.find(object); copies != keeps.copies.end())
                alike.insert(alike.end(), copies->second.begin(), copies->second.end());
              for (FPDF_PAGEOBJECT show : alike) {
                keepInShow(plan.drops, objects.keys.at(show), showCut);
                touched.insert(show);
              }
            }
            plan.needsOperators = true;
            if (!run.shaped) continue;
            run.scale = placed.scale;
            run.rect = QRectF(placed.left, cut.baseline() + run.carried.y() - 0.12 * run.size,
                              advance * placed.scale, run.size);
            if (std::abs(b.rotation) >= 0.1) run.userFromLine = cut.frame().userFromShown();
            PlacedText text{i, run, false};
            text.piece = int(plan.writes.size());
            FPDF_PAGEOBJECT at = cut.neighbour();
            if (const auto copies = keeps.copies.find(at); copies != keeps.copies.end()) at = copies->second.back();
            // Nothing of the line stays: it goes where the first drawn of its
            // shows was, under what the page painted after that, as a line
            // written anew does.
            if (cut.removed().size() == cut.shows().size() && run.keptLine >= 0)
              if (FPDF_PAGEOBJECT first = firstRemovedIn(Place{b.lines[size_t(run.keptLine)].rect.translated(-shift)});
                  first && objects.keys.count(first)) {
                at = first;
                touched.insert(first);
              }
            const OperatorKey& key = objects.keys.at(at);
            ContentDrops& drops = dropsAt(plan.drops, key.forms);
            (touched.count(at) ? drops.splices : drops.after)[key.id].push_back(text.piece);
            plan.writes.emplace_back(std::move(text));
            continue;
          }
          if (run.text.isEmpty()) continue;
          FPDF_PAGEOBJECT first = nullptr;
          if (!placedHere(b) && run.lineIndex >= 0 && run.lineIndex < int(b.lines.size()))
            first = firstRemovedIn(Place{b.lines[size_t(run.lineIndex)].rect.translated(-shift)});
          if (!first && !placedHere(b)) first = firstRemovedIn(oldPlace(b));
          // Drawn where the old line was, the new one would go under the white;
          // a moved line would stay under the old line's clip and what was
          // painted over that place, and vanish where the user put it.
          if (covered || blockCarried(b)) first = nullptr;
          const OperatorKey* at = first ? &objects.keys.at(first) : nullptr;
          // In the show's place, in its style, the line takes its font where
          // that draws every character, as typed words of a cut line do.
          if (first && run.shaped && styledAsItsLine(run, b)) {
            FPDF_FONT font = FPDFTextObj_GetFont(first);
            if (OwnFontText own = ownFontText(font, run.text, drawnIn(font)); !own.chars.empty())
              run.own = std::make_shared<const OwnFontText>(std::move(own));
          }
          if (run.shaped && !run.own && !placedHere(b) && !tag.isEmpty())
            if (plan.refusal = misorderedReading(*run.shaped, b); !plan.refusal.isEmpty())
              return plan;
          const double advance = run.own      ? run.own->advance(run.size)
                                 : run.shaped ? run.shaped->advance(run.size)
                                              : writtenAdvanceUnlocked(run.text, run.family, run.size, run.bold,
                                                                       run.italic);
          if (!placeWrittenLine(run, b, offsets, advance, edited)) {
            plan.refusal = offSheetRefusal();
            return plan;
          }
          PlacedText text{i, run, false};
          if (at) {
            text.piece = int(plan.writes.size());  // the write's number
            ContentDrops& drops = dropsAt(plan.drops, at->forms);
            drops.splices[at->id].push_back(text.piece);
            if (colourAsRead(run, b)) drops.pageFill.insert(text.piece);
          }
          plan.writes.emplace_back(std::move(text));
        }
      } else if (!alreadyHidden[i]) {
        for (const TextRun& run : blockRuns[i])
          if (!run.text.isEmpty() && !pageShowsTextIn(turnedBounds(run.rect, b.rotation, b.rect.center())))
            plan.writes.emplace_back(PlacedText{i, run, true});
      }
      continue;
    }
    if (b.image.isNull()) continue;
    if (!isRealRect(b.originalRect)) {
      plan.writes.emplace_back(PlacedImage{b.rect, b.image, false, b.rotation, std::nullopt});
    } else if (blockMoved(b) || blockTurned(b) || b.imageEdited) {
      // The picture's own object goes where one lies exactly there; coloured
      // ink cut from the page, or a picture the edit cannot reach, is covered.
      bool taken = false, keptObject = false;
      PlacedImage placed{b.rect, b.image, false, b.rotation, std::nullopt};
      for (FPDF_PAGEOBJECT object : objects.topLevel) {
        const int type = FPDFPageObj_GetType(object);
        if (b.inkLayer || (type != FPDF_PAGEOBJ_IMAGE && type != FPDF_PAGEOBJ_FORM)) continue;
        const QRectF box = space.toShown(pageObjectBounds(object, type)).normalized();
        const QRectF was = b.originalRect.normalized();
        if (std::abs(box.left() - was.left()) > 2 || std::abs(box.right() - was.right()) > 2 ||
            std::abs(box.top() - was.top()) > 2 || std::abs(box.bottom() - was.bottom()) > 2)
          continue;
        // Carried or turned as the file has it, the picture keeps its object;
        // the marked reading names the operator that takes the new matrix.
        const auto ownKey = objects.keys.find(object);
        const std::optional<QTransform> carried =
            type == FPDF_PAGEOBJ_IMAGE && !b.imageEdited && isRealRect(b.rect) &&
                    (tag.isEmpty() || ownKey != objects.keys.end())
                ? carriedPictureMatrix(object, b, space, markNumber(object, tag, "W") == 1)
                : std::nullopt;
        if (carried) {
          if (ownKey != objects.keys.end())
            dropsAt(plan.drops, ownKey->second.forms).carried[ownKey->second.id] = *carried;
          plan.needsOperators = taken = keptObject = true;
          break;
        }
        for (const auto& [candidate, key] : objects.keys) {
          if (FPDFPageObj_GetType(candidate) != FPDF_PAGEOBJ_IMAGE) continue;
          if (candidate == object || (type == FPDF_PAGEOBJ_FORM && !key.forms.empty())) {
            doomed.insert(candidate);
            taken = true;
          }
        }
        FS_MATRIX m;
        if (type == FPDF_PAGEOBJ_IMAGE && !blockMoved(b) && !blockTurned(b) && FPDFPageObj_GetMatrix(object, &m))
          placed.ownMatrix = QTransform(m.a, m.b, m.c, m.d, m.e, m.f);
        plan.needsOperators = true;
        break;
      }
      if (!taken) {
        if (b.inkLayer)
          plan.writes.emplace_back(PlacedImage{b.originalRect, whiteSilhouette(b.image), true, 0, std::nullopt});
        else
          plan.writes.emplace_back(WhiteBox{b.originalRect});
      }
      // A block without a place left this page (deleted, or moved to
      // another): only its old place is covered.
      if (isRealRect(b.rect) && !keptObject) plan.writes.emplace_back(std::move(placed));
    }
  }
  for (const auto& [object, kept] : partlyKept) {
    keepInShow(plan.drops, objects.keys.at(object), kept);
    plan.needsOperators = true;
  }
  plan.needsOperators = plan.needsOperators || !doomed.empty();
  for (FPDF_PAGEOBJECT object : doomed)
    if (const auto it = objects.keys.find(object); it != objects.keys.end())
      dropsAt(plan.drops, it->second.forms).ids.insert(it->second.id);
  if (!objects.keys.empty())
    for (const auto& [object, origin] : firstGlyphOrigins(p))
      if (const auto it = objects.keys.find(object); it != objects.keys.end())
        dropsAt(plan.drops, it->second.forms).origins[it->second.id] = origin;
  return plan;
}

bool PdfDocument::applyWriteBackUnlocked(FPDF_PAGE p, const std::vector<TextBlock>& blocks,
                                         const WriteBackPlan& plan, const QByteArray& newContentTag) {
  const PageSpace space = PageSpace::ofPage(p);
  for (const WriteBackPlan::Font& font : plan.fonts) loadFontUnlocked(font.family, font.bold, font.italic, font.text);
  // With a tag, each new object is marked with its write's number, so that
  // what pdfium generates for it can be found and nothing else taken over.
  const auto mark = [&](FPDF_PAGEOBJECT object, size_t write) {
    if (newContentTag.isEmpty()) return true;
    FPDF_PAGEOBJECTMARK added = FPDFPageObj_AddMark(object, newContentTag.constData());
    return added && FPDFPageObjMark_SetIntParam(doc, object, added, "K", int(write));
  };
  const auto markLast = [&](int countBefore, size_t write) {
    const int count = FPDFPage_CountObjects(p);
    return count == countBefore || mark(FPDFPage_GetObject(p, count - 1), write);
  };
  const auto refuse = [&] {
    lastErrorMessage = coreText("Не удалось записать изменённый текст на страницу.");
    return false;
  };
  // Everything is made before the page takes any of it, so a failure leaves it as it was.
  std::vector<pdfium::PageObject> texts;
  for (size_t w = 0; w < plan.writes.size(); ++w) {
    const auto* text = std::get_if<PlacedText>(&plan.writes[w]);
    if (!text) continue;
    const TextRun& run = text->run;
    const TextBlock& b = blocks[text->block];
    if (run.shaped) {
      texts.emplace_back();  // set with the page's content, see shapedPlacements
      continue;
    }
    pdfium::PageObject object(text->invisible
                                  ? createTextObjectUnlocked(p, run.text, run.rect, run.family, run.size,
                                                             QColor(0, 0, 0, 0), run.bold, run.italic, true, true)
                                  : createTextObjectUnlocked(p, run.text, run.rect, run.family, run.size, run.color,
                                                             run.bold, run.italic, false, false, run.scale));
    if ((!object && !text->invisible) || (object && !mark(object.get(), w))) return refuse();
    turnWithBlock(object.get(), b, space);
    texts.push_back(std::move(object));
  }
  bool changed = false;
  // Covers first, so that no white box of one block hides new text of another.
  for (const bool covers : {true, false}) {
    size_t nextText = 0;
    for (size_t w = 0; w < plan.writes.size(); ++w) {
      const PageWrite& write = plan.writes[w];
      const int before = FPDFPage_CountObjects(p);
      if (const auto* box = std::get_if<WhiteBox>(&write)) {
        if (!covers) continue;
        insertWhiteRect(p, box->rect, kWhiteMargin);
        changed = true;
      } else if (std::holds_alternative<PlacedText>(write)) {
        pdfium::PageObject& object = texts[nextText++];
        if (covers || !object) continue;
        FPDFPage_InsertObject(p, object.release());
        changed = true;
      } else if (const auto* image = std::get_if<PlacedImage>(&write)) {
        if (image->cover != covers) continue;
        changed = placeImage(doc, p, *image) || changed;
      }
      if (!std::holds_alternative<PlacedText>(write) && !markLast(before, w)) return refuse();
    }
  }
  if (changed) generateContentUnlocked(p);
  return true;
}

bool PdfDocument::overlayOcrText(int page, const std::vector<TextBlock>& blocks, bool replaceAll) {
  DocumentLock lock(mutexAfterCheck(page));
  if (!doc || blocks.empty()) return false;
  {
    pdfium::Page loaded(loadPageUnlocked(page));
    if (!loaded) return false;
    const WriteBackPlan plan = planWriteBackUnlocked(loaded.get(), blocks, replaceAll, QByteArray());
    if (!plan.refusal.isEmpty()) {
      lastErrorMessage = plan.refusal;
      return false;
    }
    // Nothing of the page goes: pdfium appends the new objects in a stream
    // of their own and leaves the page's content as it is.
    if (!plan.needsOperators && !plan.shaped) {
      if (!applyWriteBackUnlocked(loaded.get(), blocks, plan)) return false;
      if (!plan.writes.empty()) modified = true;
      return true;
    }
  }

  // Something the page draws goes: its operators are taken out by number
  // from a marked copy, which pdfium reads to tell which ones. The new
  // objects are made in that copy too, and what pdfium generates for them is
  // taken over into the page, each line where its old one was drawn.
  const bool encrypted = FPDF_GetSecurityHandlerRevision(doc) >= 0;
  const bool packed = !encrypted && usesObjectStreams(fileData);
  QByteArray current, marked, generated, edited;
  if (!serializePdf(doc, encrypted ? FPDF_REMOVE_SECURITY : FPDF_NO_INCREMENTAL, &current)) {
    lastErrorMessage = pdfiumErrorString();
    return false;
  }
  PageContentEdit edit;
  if (!edit.begin(current, page, packed, &marked, &lastErrorMessage)) return false;
  WriteBackPlan plan;
  std::map<int, ShapedPlacement> shaped;
  {
    pdfium::Document reading(FPDF_LoadMemDocument64(marked.constData(), size_t(marked.size()), nullptr));
    pdfium::Page loaded(reading ? FPDF_LoadPage(reading.get(), page) : nullptr);
    if (!loaded) {
      lastErrorMessage = coreText("Страницу нельзя изменить: файл повреждён.");
      return false;
    }
    plan = planWriteBackUnlocked(loaded.get(), blocks, replaceAll, edit.tag());
    if (!plan.refusal.isEmpty()) {
      lastErrorMessage = plan.refusal;
      return false;
    }
    shaped = shapedPlacements(plan.writes, blocks, PageSpace::ofPage(loaded.get()));
    if (!plan.writes.empty() && !writeIntoUnlocked(reading.get(), [&] {
          return applyWriteBackUnlocked(loaded.get(), blocks, plan, edit.newContentTag()) &&
                 serializePdf(reading.get(), FPDF_NO_INCREMENTAL, &generated);
        })) {
      if (lastErrorMessage.isEmpty()) lastErrorMessage = pdfiumErrorString();
      return false;
    }
  }
  if (!edit.finish(plan.drops, generated, shaped, &edited, &lastErrorMessage)) return false;
  if (encrypted) {
    QByteArray locked;
    if (!encryptLikeOriginal(fileData, openPassword, edited, usesObjectStreams(fileData), &locked, &lastErrorMessage))
      return false;
    edited = std::move(locked);
  }
  if (!continueOnRewriteUnlocked(std::move(edited))) {
    lastErrorMessage = coreText("Страницу нельзя изменить: файл повреждён.");
    return false;
  }
  return true;
}

bool PdfDocument::writeIntoUnlocked(FPDF_DOCUMENT other, const std::function<bool()>& write) {
  // Fonts belong to the document they were loaded into: the other one gets
  // its own, closed before it is.
  std::map<QString, LoadedFont> ownFonts;
  std::swap(doc, other);
  std::swap(loadedFonts, ownFonts);
  const bool written = write();
  closeLoadedFontsUnlocked();
  std::swap(loadedFonts, ownFonts);
  std::swap(doc, other);
  return written;
}

std::vector<double> PdfDocument::textBaselines(int page, const std::vector<QRectF>& rects) const {
  std::vector<double> baselines(rects.size(), std::nan(""));
  DocumentLock lock(mutexAfterCheck(page));
  if (!doc) return baselines;
  pdfium::Page loaded(loadPageUnlocked(page));
  if (!loaded) return baselines;
  const std::vector<PageChar> chars = readPageChars(loaded.get(), PageSpace::ofPage(loaded.get()));
  for (size_t i = 0; i < rects.size(); ++i) baselines[i] = baselineIn(chars, rects[i]);
  return baselines;
}
