#include "ocr/WordLines.h"

#include "ocr/BandOrder.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

double centreFromTop(const QRectF& rect, double pageHeight) {
  return pageHeight - (rect.y() + rect.height()) + rect.height() / 2.0;
}

float sizeEstimate(const QRectF& rect) {
  return std::clamp(float(rect.height()) * 0.72f, 6.0f, 48.0f);
}

// The gap a row splits at. Justified text spreads its word gaps, so in a
// row of several gaps only a gap well beyond the row's usual one (three
// times its lower quartile) may split it, and only past the position limit.
double splitGapFor(const WordRow& row, double positionLimit) {
  std::vector<double> gaps;
  for (std::size_t i = 1; i < row.words.size(); ++i) {
    const QRectF& previous = row.words[i - 1].rect;
    gaps.push_back(row.words[i].rect.x() - (previous.x() + previous.width()));
  }
  if (gaps.size() < 4) return positionLimit;
  std::sort(gaps.begin(), gaps.end());
  return std::max(positionLimit, 3.0 * gaps[gaps.size() / 4]);
}

}  // namespace

bool isLikelySignatureNoiseWord(const OcrWord& word, double pageHeight) {
  if (pageHeight <= 0) return false;
  if ((pageHeight - (word.rect.y() + word.rect.height())) / pageHeight < 0.7) return false;
  const QString t = word.text.trimmed();
  if (t.isEmpty()) return true;

  int latin = 0;
  int other = 0;
  int capitals = 0;
  bool letterOrDigit = false;
  for (const QChar c : t) {
    if (c.unicode() <= 0x7F) {
      const bool upper = c >= u'A' && c <= u'Z';
      const bool lower = c >= u'a' && c <= u'z';
      if (upper || lower) ++latin;
      if (upper) ++capitals;
      if (upper || lower || (c >= u'0' && c <= u'9')) letterOrDigit = true;
    } else {
      if (c.isLetter()) {
        ++other;
        if (c.category() == QChar::Letter_Uppercase) ++capitals;
      }
      if (c.isLetterOrNumber() || c.isDigit()) letterOrDigit = true;
    }
  }
  if (!letterOrDigit) return true;
  const int letters = latin + other;
  const double ratio = letters == 0 ? 0.0 : double(capitals) / letters;
  if (!t.contains(u'.') && t.size() <= 4 && ratio > 0.8) return true;
  if (t == u"VY" || t == u"VV" || t == u"УУ") return true;
  return latin > 0 && other == 0 && t.size() <= 4;
}

std::vector<QRectF> dropSignatureNoiseLines(std::vector<TextBlock::Line>& lines, double pageHeight) {
  std::vector<QRectF> dropped;
  const auto allNoise = [&](const TextBlock::Line& line) {
    const bool noise = std::all_of(line.words.begin(), line.words.end(), [&](const TextBlock::Line::Word& w) {
      return isLikelySignatureNoiseWord(OcrWord{w.text, w.rect, w.confidence}, pageHeight);
    });
    if (noise)
      for (const auto& w : line.words) dropped.push_back(w.rect);
    return noise;
  };
  lines.erase(std::remove_if(lines.begin(), lines.end(), allNoise), lines.end());
  return dropped;
}

void addWordToRow(WordRow& row, const OcrWord& word) {
  if (row.words.empty()) row.layoutBlock = word.layoutBlock;
  row.words.push_back(word);
  row.rect = row.rect.isNull() ? word.rect : row.rect.united(word.rect);
  double sum = 0.0;
  for (const OcrWord& w : row.words) sum += w.rect.height();
  row.meanWordHeight = sum / double(std::max<std::size_t>(row.words.size(), 1));
}

TextBlock::Line makeLineFromWords(const std::vector<OcrWord>& words) {
  TextBlock::Line line;
  std::vector<float> sizes;
  for (std::size_t i = 0; i < words.size(); ++i) {
    QString t = words[i].text;
    if (t == u"г." && i + 1 < words.size() && words[i + 1].text.startsWith(u"Нолвская")) {
      t = QStringLiteral("г.,");
    }
    if (!line.text.isEmpty()) line.text += u' ';
    line.text += t;
    line.rect = line.rect.isNull() ? words[i].rect : line.rect.united(words[i].rect);
    sizes.push_back(sizeEstimate(words[i].rect));
    line.words.push_back({t, words[i].rect, words[i].confidence});
  }
  // A trailing lone "т" is almost always a stroke of a signature or stamp.
  if (line.words.size() >= 2 && line.text.endsWith(u" т")) {
    line.text.chop(2);
    line.words.pop_back();
    sizes.pop_back();
    line.rect = QRectF();
    for (const auto& w : line.words) line.rect = line.rect.isNull() ? w.rect : line.rect.united(w.rect);
  }
  if (!sizes.empty()) {
    float sum = 0.0f;
    for (float s : sizes) sum += s;
    line.fontSize = sum / float(sizes.size());
  }
  return line;
}

std::vector<TextBlock::Line> buildLinesFromWords(std::vector<OcrWord> words, double pageWidth,
                                                 double pageHeight) {
  std::vector<TextBlock::Line> lines;
  if (words.empty()) return lines;

  sortInBands(
      words, [&](const OcrWord& w) { return centreFromTop(w.rect, pageHeight); },
      [](const OcrWord& a, const OcrWord& b) {
        return std::max(0.45 * std::min(a.rect.height(), b.rect.height()), 2.0);
      },
      [](const OcrWord& w) { return w.rect.x(); });

  std::vector<WordRow> rows;
  for (const OcrWord& word : words) {
    const double c = centreFromTop(word.rect, pageHeight);
    const double h = word.rect.height();
    WordRow* nearest = nullptr;
    double nearestDistance = std::numeric_limits<double>::infinity();
    for (WordRow& row : rows) {
      if (row.layoutBlock != word.layoutBlock) continue;
      const double distance = std::abs(c - centreFromTop(row.rect, pageHeight));
      const double tolerance = std::max(0.58 * std::max(h, row.meanWordHeight), 3.0);
      if (distance <= tolerance && distance < nearestDistance) {
        nearest = &row;
        nearestDistance = distance;
      }
    }
    if (nearest) {
      addWordToRow(*nearest, word);
    } else {
      rows.emplace_back();
      addWordToRow(rows.back(), word);
    }
  }

  for (WordRow& row : rows) {
    std::stable_sort(row.words.begin(), row.words.end(),
                     [](const OcrWord& a, const OcrWord& b) { return a.rect.x() < b.rect.x(); });
  }
  sortInBands(
      rows, [&](const WordRow& r) { return centreFromTop(r.rect, pageHeight); },
      [](const WordRow&, const WordRow&) { return 2.0; }, [](const WordRow& r) { return r.rect.x(); });

  for (const WordRow& row : rows) {
    const double hm = row.meanWordHeight;
    double gapLimit = std::max(0.95 * hm, 7.5);
    if (pageHeight > 0) {
      const double share = (pageHeight - (row.rect.y() + row.rect.height())) / pageHeight;
      // Body text in the middle of the page is set wide and justified; its
      // word gaps are large, while letterheads and signature lines are not.
      if (share > 0.24 && share < 0.74) {
        gapLimit = row.rect.width() > 0.46 * pageWidth ? std::max(4.2 * hm, 44.0) : std::max(2.0 * hm, 18.0);
      }
    }
    gapLimit = splitGapFor(row, gapLimit);
    std::vector<OcrWord> run;
    auto closeRun = [&] {
      if (run.empty()) return;
      TextBlock::Line line = makeLineFromWords(run);
      if (!line.text.trimmed().isEmpty()) lines.push_back(std::move(line));
      run.clear();
    };
    for (const OcrWord& word : row.words) {
      if (!run.empty() && word.rect.x() - (run.back().rect.x() + run.back().rect.width()) > gapLimit) closeRun();
      run.push_back(word);
    }
    closeRun();
  }
  return lines;
}
