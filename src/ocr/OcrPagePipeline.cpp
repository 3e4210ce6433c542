#include "ocr/OcrPagePipeline.h"

#include "ocr/BlockGrouping.h"
#include "ocr/FontMatcher.h"
#include "ocr/ImageRegions.h"
#include "ocr/LineInk.h"
#include "ocr/OcrImageGeometry.h"
#include "ocr/TextStyleRules.h"
#include "ocr/WordLines.h"

#include <QElapsedTimer>

#include <algorithm>
#include <utility>

namespace {

const QString kDocumentFamily = QStringLiteral("Times New Roman");

// Misreads the recogniser makes again and again on the forms we receive,
// tried in this order; the first match wins.
const std::pair<const char16_t*, const char16_t*> kMisreads[] = {
    {u"yi,", u"ул.,"},        {u"у1,", u"ул.,"},       {u"Men.", u"Исп."},       {u"Newn", u"№ п/п"},
    {u"Noun", u"№ п/п"},      {u"Noon", u"№ п/п"},      {u"Nen/n", u"№ п/п"},     {u"Ne/n", u"№ п/п"},
    {u"№шп", u"№ п/п"},       {u"№ шп", u"№ п/п"},      {u"аластр", u"номер"},    {u"\u2018тел.", u"тел."},
    {u"'тел.", u"тел."},      {u"`тел.", u"тел."},
};

// Times the stages of one page when asked to.
class StageClock {
public:
  explicit StageClock(OcrStageTimes* times) : times(times) { timer.start(); }
  void lap(double OcrStageTimes::*stage) {
    if (times) times->*stage += timer.nsecsElapsed() / 1e6;
    timer.restart();
  }

private:
  OcrStageTimes* times;
  QElapsedTimer timer;
};

bool hasArea(const TextBlock& b) { return b.rect.width() > 0 && b.rect.height() > 0; }

// The words of a block that lie on a rectangle, joined without spaces: what
// that block reads at that place.
QString wordsOn(const TextBlock& block, const QRectF& area) {
  QString text;
  for (const TextBlock::Line& line : block.lines)
    for (const TextBlock::Line::Word& word : line.words)
      if (area.contains(word.rect.center())) text += word.text;
  return text;
}

}  // namespace

bool mendMisreadWord(QString& text) {
  for (const auto& [seen, meant] : kMisreads) {
    if (text == QStringView(seen)) {
      text = QString::fromUtf16(meant);
      return true;
    }
  }
  return false;
}

bool acceptRecognizedWord(OcrWord& word) {
  word.text = word.text.trimmed();
  const bool mended = mendMisreadWord(word.text);
  if (!mended && word.confidence < 38.0f) return false;
  // Stray marks of the signature zone are judged line by line later, once
  // a short word can be seen to stand in running text.
  return !word.text.isEmpty() && word.rect.width() > 1.0 && word.rect.height() > 1.0;
}

void matchLineFonts(std::vector<TextBlock>& blocks, const QImage& image, double scale, double pageHeight) {
  for (TextBlock& block : blocks) {
    for (TextBlock::Line& line : block.lines) {
      const QRect crop = imageCropForPdfRect(line.rect, image, scale, pageHeight, 3);
      if (crop.isEmpty() || crop.right() - crop.left() <= 6 || crop.bottom() - crop.top() <= 6) continue;
      const FontMatchResult match = FontMatcher::match(image.copy(crop), line.text, float(line.rect.height()));
      line.fontFamily = match.family;
      line.fontSize = match.size;
      line.color = match.color;
      line.bold = match.bold;
      line.italic = match.italic;
    }
    takeRepresentativeStyle(block);
  }
}

void applyDocumentStyle(std::vector<TextBlock>& blocks) {
  for (TextBlock& block : blocks) {
    if (block.isImage || block.text.trimmed().isEmpty()) continue;
    for (TextBlock::Line& line : block.lines) {
      line.fontFamily = kDocumentFamily;
      line.bold = shouldKeepDocumentBold(line.text);
      line.italic = false;
    }
    if (const TextBlock::Line* rep = representativeStyleLine(block)) {
      block.fontFamily = kDocumentFamily;
      block.fontSize = rep->fontSize;
      block.color = rep->color;
      block.bold = rep->bold;
      block.italic = false;
    }
  }
}

void removeContainedDuplicateBlocks(std::vector<TextBlock>& blocks) {
  std::vector<char> remove(blocks.size(), 0);
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const TextBlock& a = blocks[i];
    const QString textA = a.text.trimmed();
    if (a.isImage || !hasArea(a) || textA.size() < 3 || textA.size() > 18) continue;
    const QPointF centre = a.rect.center();
    for (std::size_t j = 0; j < blocks.size(); ++j) {
      const TextBlock& b = blocks[j];
      if (j == i || b.isImage || !hasArea(b)) continue;
      const QString textB = b.text.trimmed();
      if (textB.size() <= textA.size() || !textB.contains(textA, Qt::CaseInsensitive)) continue;
      if (!b.rect.adjusted(-1.5, -1.5, 1.5, 1.5).contains(centre)) continue;
      const double overlap = std::min(a.rect.y() + a.rect.height(), b.rect.y() + b.rect.height()) -
                             std::max(a.rect.y(), b.rect.y());
      if (overlap <= 0) continue;
      const double smaller = std::min(a.rect.height(), b.rect.height());
      const double share = smaller <= 1.0 ? overlap : overlap / smaller;
      // Only a second reading of the same ink is a duplicate: the longer
      // block must say the same words where the shorter one stands.
      QString spelled = wordsOn(b, a.rect.adjusted(-1.5, -1.5, 1.5, 1.5));
      QString own = textA;
      own.remove(u' ');
      if (share > 0.55 && spelled.compare(own, Qt::CaseInsensitive) == 0) {
        remove[i] = 1;
        break;
      }
    }
  }
  std::vector<TextBlock> kept;
  kept.reserve(blocks.size());
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    if (!remove[i]) kept.push_back(std::move(blocks[i]));
  }
  blocks = std::move(kept);
}

std::vector<TextBlock> assemblePageBlocks(std::vector<OcrWord> words, const QImage& image, int page, double scale,
                                          double pageHeight, OcrStageTimes* times) {
  if (image.isNull() || !(scale > 0)) return {};
  StageClock clock(times);
  const double pageWidth = image.width() / scale;
  std::vector<QRectF> wordRects;
  wordRects.reserve(words.size());
  for (const OcrWord& w : words) wordRects.push_back(w.rect);

  std::vector<TextBlock::Line> lines = buildLinesFromWords(std::move(words), pageWidth, pageHeight);
  // Dropped stray marks leave the word rectangles, so a scribble can still
  // become a picture.
  for (const QRectF& mark : dropSignatureNoiseLines(lines, pageHeight)) {
    const auto found = std::find(wordRects.begin(), wordRects.end(), mark);
    if (found != wordRects.end()) wordRects.erase(found);
  }
  clock.lap(&OcrStageTimes::lines);
  refineOcrLineInkRects(lines, image, scale, pageHeight);
  clock.lap(&OcrStageTimes::ink);
  const bool table = isLikelyTablePage(image);
  std::vector<TextBlock> blocks = table ? groupTableColumnRuns(std::move(lines), page, pageWidth, pageHeight)
                                        : groupOcrLines(std::move(lines), page, pageHeight);
  clock.lap(&OcrStageTimes::grouping);
  matchLineFonts(blocks, image, scale, pageHeight);
  clock.lap(&OcrStageTimes::fonts);
  applyDocumentStyle(blocks);
  if (!table) normalizeBodyTextStyle(blocks, pageWidth, pageHeight);
  clock.lap(&OcrStageTimes::style);

  std::vector<TextBlock> imageBlocks = detectImageBlocks(image, wordRects, page, scale, pageHeight);
  if (!imageBlocks.empty()) {
    removeImageNoiseWords(blocks, imageBlocks);
    removeImageNoiseText(blocks, imageBlocks);
  }
  clock.lap(&OcrStageTimes::images);

  blocks = splitBlocksByLineStyle(std::move(blocks));
  removeContainedDuplicateBlocks(blocks);
  for (TextBlock& image : imageBlocks) blocks.push_back(std::move(image));
  clock.lap(&OcrStageTimes::finish);
  return blocks;
}
