#include "ocr/BlockGrouping.h"

#include "ocr/BandOrder.h"
#include "ocr/TextStyleRules.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

double top(const QRectF& r) { return r.y() + r.height(); }

// Lines top to bottom by their upper edges, level lines left to right.
void sortLines(std::vector<TextBlock::Line>& lines, double pageHeight, double heightShare, double floor) {
  sortInBands(
      lines, [&](const TextBlock::Line& l) { return pageHeight - top(l.rect); },
      [&](const TextBlock::Line& a, const TextBlock::Line& b) {
        return heightShare > 0 ? std::max(heightShare * std::min(a.rect.height(), b.rect.height()), floor) : floor;
      },
      [](const TextBlock::Line& l) { return l.rect.x(); });
}

QString joinedLineTexts(const std::vector<TextBlock::Line>& lines) {
  QStringList texts;
  for (const auto& l : lines) texts << l.text;
  return texts.join(u'\n');
}

bool isWideNumberedLine(const TextBlock::Line& line, double pageWidth) {
  const QString t = line.text.trimmed();
  return line.rect.width() > 0.42 * pageWidth && t.size() > 8 && t.at(0).isDigit() && t.at(1) == u'.';
}

}  // namespace

bool isLikelyTablePage(const QImage& image) {
  if (image.isNull() || image.width() < 80 || image.height() < 80) return false;
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  const int width = rgb.width();
  const int height = rgb.height();
  std::vector<unsigned char> dark(std::size_t(width) * height);
  for (int y = 0; y < height; ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < width; ++x) {
      dark[std::size_t(y) * width + x] = 11 * qRed(row[x]) + 16 * qGreen(row[x]) + 5 * qBlue(row[x]) < 2944;
    }
  }
  auto longestRun = [&](int count, auto at) {
    int best = 0;
    int run = 0;
    for (int i = 0; i < count; ++i) {
      run = at(i) ? run + 1 : 0;
      best = std::max(best, run);
    }
    return best;
  };

  const int hMin = std::max(int(std::lround(0.32 * width)), 80);
  int horizontal = 0;
  for (int y = 0; y < height;) {
    const unsigned char* row = dark.data() + std::size_t(y) * width;
    if (longestRun(width, [&](int x) { return row[x]; }) >= hMin) {
      ++horizontal;
      y += 3;
    } else {
      ++y;
    }
  }
  const int vMin = std::max(int(std::lround(0.08 * height)), 80);
  int vertical = 0;
  for (int x = 0; x < width;) {
    if (longestRun(height, [&](int y) { return dark[std::size_t(y) * width + x]; }) >= vMin) {
      ++vertical;
      x += 3;
    } else {
      ++x;
    }
  }
  return horizontal > 3 && vertical > 1;
}

std::vector<TextBlock> groupOcrLines(std::vector<TextBlock::Line> lines, int page, double pageHeight) {
  sortLines(lines, pageHeight, 0.45, 3.0);
  std::vector<TextBlock> blocks;
  for (TextBlock::Line& line : lines) {
    const double lh = std::max(line.rect.height(), 1.0);
    const double lineRight = line.rect.x() + line.rect.width();
    TextBlock* best = nullptr;
    double bestGap = std::numeric_limits<double>::infinity();
    for (TextBlock& block : blocks) {
      const QRectF& b = block.rect;
      const double blockRight = b.x() + b.width();
      const double w = std::min(line.rect.width(), b.width());
      const double m = w > 1 ? std::min(0.28 * w, 18.0) : 0.28;
      const double overlap = std::min(lineRight, blockRight) - std::max(line.rect.x(), b.x());
      const bool fits = overlap > m || std::abs(b.x() - line.rect.x()) <= std::max(0.65 * lh, 7.0) ||
                        std::abs(blockRight - lineRight) <= std::max(0.85 * lh, 9.0);
      if (!fits) continue;
      const double g = b.y() - top(line.rect);
      if (g < -0.35 * lh || g > std::max(1.45 * lh, 10.0)) continue;
      if (block.lines.size() > 1 && g > std::max(0.85 * lh, 6.0)) continue;
      if (std::abs(g) < bestGap) {
        bestGap = std::abs(g);
        best = &block;
      }
    }
    if (best) {
      best->lines.push_back(line);
      best->rect = best->rect.united(line.rect);
      best->originalRect = best->rect;
      best->text = joinedLineTexts(best->lines);
      float sum = 0.0f;
      for (const auto& l : best->lines) sum += l.fontSize;
      best->fontSize = sum / float(best->lines.size());
    } else {
      TextBlock block;
      block.text = line.text;
      block.rect = line.rect;
      block.originalRect = line.rect;
      block.page = page;
      block.fontSize = line.fontSize;
      block.lines.push_back(std::move(line));
      blocks.push_back(std::move(block));
    }
  }
  sortInBands(
      blocks, [&](const TextBlock& b) { return pageHeight - top(b.rect); },
      [](const TextBlock&, const TextBlock&) { return 8.0; }, [](const TextBlock& b) { return b.rect.x(); });
  return blocks;
}

bool canAttachTableColumnLine(const TextBlock& block, const TextBlock::Line& line, double pageWidth,
                              double pageHeight) {
  if (block.lines.empty()) return false;
  const TextBlock::Line& last = block.lines.back();
  const TextBlock::Line& first = block.lines.front();
  const double lh = std::max(line.rect.height(), 1.0);
  const double rowTolerance = std::max(0.7 * std::min(std::max(last.rect.height(), 1.0), lh), 2.0);
  if (std::abs((pageHeight - top(line.rect)) - (pageHeight - top(last.rect))) < rowTolerance) return false;
  const double g = last.rect.y() - top(line.rect);
  if (g < -0.25 * lh || g > std::max(1.35 * lh, 7.0)) return false;
  if (isWideNumberedLine(first, pageWidth) || isWideNumberedLine(line, pageWidth)) return false;

  const QRectF& b = block.rect;
  const QRectF& l = line.rect;
  const double c = std::abs((b.x() + b.width() / 2) - (l.x() + l.width() / 2));
  if (block.lines.size() == 1 && b.width() > 0.35 * pageWidth && c > 0.12 * b.width()) return false;
  if (l.width() > 0.35 * pageWidth && l.width() > 1.45 * b.width() && c > 0.12 * l.width()) return false;
  const double overlap = std::min(l.x() + l.width(), b.x() + b.width()) - std::max(l.x(), b.x());
  const double narrower = std::min(l.width(), b.width());
  return overlap / std::max(narrower, 1.0) > 0.38 || std::abs(b.x() - l.x()) <= std::max(0.95 * lh, 6.0) ||
         std::abs((b.x() + b.width()) - (l.x() + l.width())) <= std::max(1.05 * lh, 8.0) ||
         c <= std::max(0.38 * narrower, 18.0);
}

std::vector<TextBlock> groupTableColumnRuns(std::vector<TextBlock::Line> lines, int page, double pageWidth,
                                            double pageHeight) {
  sortLines(lines, pageHeight, 0.45, 2.0);
  lines.erase(std::remove_if(lines.begin(), lines.end(),
                             [](const TextBlock::Line& l) {
                               return l.text.trimmed().isEmpty() || l.rect.width() <= 0 || l.rect.height() <= 0;
                             }),
              lines.end());
  std::vector<TextBlock> blocks;
  for (const TextBlock::Line& line : lines) {
    TextBlock* best = nullptr;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (TextBlock& block : blocks) {
      if (!canAttachTableColumnLine(block, line, pageWidth, pageHeight)) continue;
      const double d = std::abs(block.rect.y() - top(line.rect));
      if (d < bestDistance) {
        bestDistance = d;
        best = &block;
      }
    }
    if (best) {
      std::vector<TextBlock::Line> joined = best->lines;
      joined.push_back(line);
      *best = blockFromOcrLines(std::move(joined), page, pageHeight);
    } else {
      blocks.push_back(blockFromOcrLines({line}, page, pageHeight));
    }
  }
  return blocks;
}

TextBlock blockFromOcrLines(std::vector<TextBlock::Line> lines, int page, double pageHeight) {
  sortLines(lines, pageHeight, 0.0, 2.0);
  TextBlock block;
  block.page = page;
  block.lines = std::move(lines);
  rebuildBlockFromLines(block);
  takeRepresentativeStyle(block);
  return block;
}

QString joinTrimmedLineTexts(const std::vector<TextBlock::Line>& lines, QRectF& united) {
  QStringList texts;
  united = QRectF();
  bool first = true;
  for (const auto& line : lines) {
    const QString t = line.text.trimmed();
    if (t.isEmpty()) continue;
    texts << t;
    united = first ? line.rect : united.united(line.rect);
    first = false;
  }
  return texts.join(u'\n');
}

void rebuildBlockFromLines(TextBlock& block) {
  QRectF united;
  block.text = joinTrimmedLineTexts(block.lines, united);
  if (united.width() == 0 && united.height() == 0) return;
  block.rect = united;
  block.originalRect = united;
}
