#include "ocr/TextStyleRules.h"

#include "ocr/BlockGrouping.h"
#include "ocr/OcrTextMeasures.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

const QString kBodyFamily = QStringLiteral("Times New Roman");

// Upper median; sizes that are NaN or not above 1 pt do not count.
bool upperMedian(std::vector<float> values, float& median) {
  values.erase(std::remove_if(values.begin(), values.end(), [](float v) { return !(v > 1.0f); }), values.end());
  if (values.empty()) return false;
  std::sort(values.begin(), values.end());
  median = values[values.size() / 2];
  return true;
}

float effectiveSize(const TextBlock::Line& line) {
  return line.fontSize > 0 ? line.fontSize : float(line.rect.height());
}

bool sizesDifferTooMuch(const TextBlock::Line& a, const TextBlock::Line& b) {
  const float sa = effectiveSize(a);
  const float sb = effectiveSize(b);
  if (sa <= 0 || sb <= 0) return false;
  if (a.bold && b.bold && uppercaseRatio(a.text) > 0.72 && uppercaseRatio(b.text) > 0.72) return false;
  return std::abs(sa - sb) > std::max(0.42f * std::min(sa, sb), 4.0f);
}

bool familiesDiffer(const TextBlock::Line& a, const TextBlock::Line& b) {
  const QString fa = a.fontFamily.trimmed().toLower();
  const QString fb = b.fontFamily.trimmed().toLower();
  return !fa.isEmpty() && !fb.isEmpty() && fa != fb;
}

}  // namespace

const TextBlock::Line* representativeStyleLine(const TextBlock& block) {
  const TextBlock::Line* best = nullptr;
  double bestScore = 0.0;
  for (const auto& line : block.lines) {
    const QString t = line.text.trimmed();
    const int m = meaningfulCharCount(t);
    if (t.isEmpty() || m == 0) continue;
    double score = 16.0 * m + line.rect.width();
    if (m < 3) score *= 0.35;
    if (!best || score > bestScore) {
      best = &line;
      bestScore = score;
    }
  }
  return best;
}

bool takeRepresentativeStyle(TextBlock& block) {
  const TextBlock::Line* rep = representativeStyleLine(block);
  if (!rep) return false;
  block.fontFamily = rep->fontFamily;
  block.fontSize = rep->fontSize;
  block.color = rep->color;
  block.bold = rep->bold;
  block.italic = rep->italic;
  return true;
}

bool shouldKeepDocumentBold(const QString& text) {
  const QString t = text.trimmed();
  if (t.isEmpty()) return false;
  if (meaningfulCharCount(t) > 2 && uppercaseRatio(t) > 0.72) return true;
  // Unicode properties on: with ASCII word characters \b never stands
  // after a Cyrillic letter and the heading would never match.
  static const QRegularExpression clauseHeading(QStringLiteral("^\\d+\\.\\s*Сведения\\b"),
                                                QRegularExpression::UseUnicodePropertiesOption);
  if (clauseHeading.match(t).hasMatch()) return true;
  static const QStringList exact = {QStringLiteral("№ п/п"), QStringLiteral("Кадастровый номер"),
                                    QStringLiteral("земельного участка"), QStringLiteral("Нолвского областного суда")};
  if (exact.contains(t)) return true;
  static const QStringList prefixes = {QStringLiteral("Кадастровые или иные номера"),
                                       QStringLiteral("расположенных на земельном участке"),
                                       QStringLiteral("Учетные номера частей"), QStringLiteral("И.о")};
  for (const QString& p : prefixes) {
    if (t.startsWith(p)) return true;
  }
  static const QStringList parts = {QStringLiteral("объектов недвижимости"),
                                    QStringLiteral("исходных или уточняемых земельных участк"),
                                    QStringLiteral("заместителя"), QStringLiteral("председателя")};
  for (const QString& p : parts) {
    if (t.contains(p)) return true;
  }
  return false;
}

void normalizeBodyTextStyle(std::vector<TextBlock>& blocks, double pageWidth, double pageHeight) {
  if (pageHeight <= 0) return;
  for (TextBlock& block : blocks) {
    if (block.isImage || block.text.trimmed().isEmpty()) continue;
    const double share = (pageHeight - (block.rect.y() + block.rect.height())) / pageHeight;
    if (block.rect.width() <= 0.44 * pageWidth || share <= 0.24 || share >= 0.74) continue;
    std::vector<float> sizes;
    for (const auto& line : block.lines) sizes.push_back(line.fontSize);
    float size = block.fontSize;
    upperMedian(sizes, size);
    block.fontFamily = kBodyFamily;
    block.bold = block.italic = false;
    block.fontSize = size;
    for (auto& line : block.lines) {
      line.fontFamily = kBodyFamily;
      line.bold = line.italic = false;
      line.fontSize = size;
    }
  }
}

std::vector<TextBlock> splitBlocksByLineStyle(std::vector<TextBlock> blocks) {
  std::vector<TextBlock> out;
  for (TextBlock& block : blocks) {
    if (block.isImage || block.lines.size() <= 1) {
      out.push_back(std::move(block));
      continue;
    }
    std::vector<TextBlock::Line> lines = std::move(block.lines);
    block.lines.clear();
    TextBlock run = block;
    for (auto& line : lines) {
      if (line.text.trimmed().isEmpty()) continue;
      if (!run.lines.empty()) {
        const TextBlock::Line& prev = run.lines.back();
        const bool split = prev.bold != line.bold || prev.italic != line.italic || familiesDiffer(prev, line) ||
                           sizesDifferTooMuch(prev, line);
        if (split) {
          finishStyleRunBlock(out, std::move(run));
          run = block;
        }
      }
      run.lines.push_back(std::move(line));
    }
    if (!run.lines.empty()) finishStyleRunBlock(out, std::move(run));
  }
  return out;
}

void finishStyleRunBlock(std::vector<TextBlock>& out, TextBlock run) {
  std::vector<float> sizes;
  for (const auto& line : run.lines) sizes.push_back(line.fontSize);
  float size = 0.0f;
  if (upperMedian(sizes, size)) {
    for (auto& line : run.lines) line.fontSize = size;
  }

  if (run.lines.size() > 2) {
    std::vector<float> heights;
    for (const auto& line : run.lines) heights.push_back(float(line.rect.height()));
    float h = 0.0f;
    if (upperMedian(heights, h)) {
      const double firstY = run.lines.front().rect.y();
      const double span = firstY - run.lines.back().rect.y();
      const double step = span / double(run.lines.size() - 1);
      // Recognised line boxes jitter by a point or two; a paragraph set with
      // one leading is drawn back with one.
      if (span > 1.0 && step > 1.0) {
        for (std::size_t i = 0; i < run.lines.size(); ++i) {
          QRectF& r = run.lines[i].rect;
          r = QRectF(r.x(), firstY - double(i) * step, r.width(), h);
        }
      }
    }
  }

  QRectF united;
  run.text = joinTrimmedLineTexts(run.lines, united);
  run.rect = united;
  if (run.text.isEmpty() || (united.width() == 0 && united.height() == 0)) return;
  run.originalRect = united;
  takeRepresentativeStyle(run);
  out.push_back(std::move(run));
}
