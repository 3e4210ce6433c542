#include "ocr/ImageRegions.h"

#include "ocr/BlockGrouping.h"
#include "ocr/OcrImageGeometry.h"
#include "ocr/OcrTextMeasures.h"

#include <QRect>

#include <algorithm>
#include <cmath>
#include <deque>
#include <utility>

namespace {

using Mask = std::vector<unsigned char>;

// Grows every flag by d pixels in both directions. A square grown this way is
// the same as growing rows first and then columns, which keeps the cost per
// pixel constant instead of (2d + 1) squared.
Mask dilateSeparable(const Mask& mask, int width, int height, int d) {
  Mask rows(mask.size(), 0);
  for (int y = 0; y < height; ++y) {
    const unsigned char* in = mask.data() + std::size_t(y) * width;
    unsigned char* out = rows.data() + std::size_t(y) * width;
    int lastFlag = -1 - d;  // last flagged column seen so far, looking ahead by d
    // Pass left to right: the nearest flag at or before x + d.
    int next = 0;
    for (int x = 0; x < width; ++x) {
      while (next < width && next <= x + d) {
        if (in[next]) lastFlag = next;
        ++next;
      }
      if (lastFlag >= x - d && lastFlag >= 0) out[x] = 1;
    }
  }
  Mask grown(mask.size(), 0);
  for (int x = 0; x < width; ++x) {
    int lastFlag = -1 - d;
    int next = 0;
    for (int y = 0; y < height; ++y) {
      while (next < height && next <= y + d) {
        if (rows[std::size_t(next) * width + x]) lastFlag = next;
        ++next;
      }
      if (lastFlag >= y - d && lastFlag >= 0) grown[std::size_t(y) * width + x] = 1;
    }
  }
  return grown;
}

// Flags the dark pixels that lie on long straight horizontal or vertical runs:
// the rules of forms and tables.
Mask ruleMask(const Mask& dark, int width, int height, int minRun) {
  Mask rules(dark.size(), 0);
  auto markRuns = [&](int count, int lines, auto index) {
    for (int line = 0; line < lines; ++line) {
      int start = 0;
      for (int i = 0; i <= count; ++i) {
        if (i < count && dark[index(line, i)]) continue;
        if (i - start >= minRun) {
          for (int k = start; k < i; ++k) rules[index(line, k)] = 1;
        }
        start = i + 1;
      }
    }
  };
  markRuns(width, height, [&](int y, int x) { return std::size_t(y) * width + x; });
  markRuns(height, width, [&](int x, int y) { return std::size_t(y) * width + x; });
  return rules;
}

QRect boundsOf(const ImageComponent& c) { return QRect(QPoint(c.minX, c.minY), QPoint(c.maxX, c.maxY)); }

double positiveOverlapArea(const QRectF& a, const QRectF& b) {
  const double w = std::min(a.right(), b.right()) - std::max(a.left(), b.left());
  const double h = std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top());
  return (w > 0 && h > 0) ? w * h : 0.0;
}

}  // namespace

bool isImageLikeComponent(const ImageComponent& c, const QSize& imageSize) {
  if (c.maxX < c.minX || c.maxY < c.minY) return false;
  const double width = double(c.maxX) - c.minX + 1;
  const double height = double(c.maxY) - c.minY + 1;
  if (width < 18 || height < 16 || width * height < 360) return false;
  if (c.pixelCount < 70) return false;
  if (width > 0.92 * imageSize.width() || height > 0.38 * imageSize.height()) return false;
  const double fill = c.pixelCount / (width * height);
  if (fill < 0.03 || fill > 0.72) return false;
  const double aspect = width / height;
  return aspect >= 0.12 && aspect <= 18.0;
}

std::vector<TextBlock> detectImageBlocks(const QImage& image, const std::vector<QRectF>& wordRects, int page,
                                         double scale, double pageHeight) {
  std::vector<TextBlock> blocks;
  if (image.isNull() || image.width() <= 15 || image.height() <= 15 || !(scale > 0)) return blocks;
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  const int width = rgb.width();
  const int height = rgb.height();

  Mask dark(std::size_t(width) * height, 0);
  for (int y = 0; y < height; ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < width; ++x) {
      const QRgb p = row[x];
      dark[std::size_t(y) * width + x] = 11 * qRed(p) + 16 * qGreen(p) + 5 * qBlue(p) < 5056;
    }
  }
  for (const QRectF& rect : wordRects) {
    const QRect r = imageCropForPdfRect(rect, image, scale, pageHeight, 2);
    if (r.left() > r.right() || r.top() > r.bottom()) continue;
    for (int y = r.top(); y <= r.bottom(); ++y) {
      std::fill_n(dark.begin() + std::size_t(y) * width + r.left(), r.width(), 0);
    }
  }

  // A region whose ink lies mostly on long rules is the grid of a table or a
  // form, not a picture; taking it for one would drop the cell texts on it as
  // picture noise.
  const Mask rules = ruleMask(dark, width, height, std::max(int(std::lround(36.0 * scale)), 60));

  const int d = std::max(int(std::lround(1.6 * scale)), 2);
  const Mask grown = dilateSeparable(dark, width, height, d);

  std::vector<ImageComponent> regions;
  Mask visited(grown.size(), 0);
  std::deque<std::pair<int, int>> queue;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::size_t start = std::size_t(y) * width + x;
      if (!grown[start] || visited[start]) continue;
      ImageComponent c{width, height, -1, -1, 0};
      int rulePixels = 0;
      visited[start] = 1;
      queue.emplace_back(x, y);
      while (!queue.empty()) {
        const auto [px, py] = queue.front();
        queue.pop_front();
        const std::size_t at = std::size_t(py) * width + px;
        if (dark[at]) {
          c.minX = std::min(c.minX, px);
          c.maxX = std::max(c.maxX, px);
          c.minY = std::min(c.minY, py);
          c.maxY = std::max(c.maxY, py);
          ++c.pixelCount;
          rulePixels += rules[at];
        }
        const std::pair<int, int> neighbours[] = {{px + 1, py}, {px - 1, py}, {px, py + 1}, {px, py - 1}};
        for (const auto& [nx, ny] : neighbours) {
          if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
          const std::size_t n = std::size_t(ny) * width + nx;
          if (grown[n] && !visited[n]) {
            visited[n] = 1;
            queue.emplace_back(nx, ny);
          }
        }
      }
      const bool ruling = rulePixels >= 0.6 * c.pixelCount;
      if (c.pixelCount > 0 && !ruling && isImageLikeComponent(c, rgb.size())) regions.push_back(c);
    }
  }

  const int g = std::max(int(std::lround(3.5 * scale)), 5);
  bool merged = true;
  while (merged) {
    merged = false;
    for (std::size_t i = 0; i < regions.size() && !merged; ++i) {
      const QRect widened = boundsOf(regions[i]).adjusted(-g, -g, g, g);
      for (std::size_t j = i + 1; j < regions.size(); ++j) {
        if (!widened.intersects(boundsOf(regions[j]))) continue;
        ImageComponent& a = regions[i];
        const ImageComponent& b = regions[j];
        a.minX = std::min(a.minX, b.minX);
        a.minY = std::min(a.minY, b.minY);
        a.maxX = std::max(a.maxX, b.maxX);
        a.maxY = std::max(a.maxY, b.maxY);
        a.pixelCount += b.pixelCount;
        regions.erase(regions.begin() + std::ptrdiff_t(j));
        merged = true;
        break;
      }
    }
  }

  for (const ImageComponent& c : regions) {
    if (!isImageLikeComponent(c, rgb.size())) continue;
    const QRect r = boundsOf(c).adjusted(-3, -3, 3, 3).intersected(image.rect());
    if (!r.isValid()) continue;
    TextBlock block;
    block.isImage = true;
    block.image = image.copy(r);
    block.page = page;
    block.rect = pdfRectForPixelBox(r.left(), r.top(), r.right() + 1, r.bottom() + 1, scale, pageHeight);
    block.originalRect = block.rect;
    blocks.push_back(std::move(block));
  }
  return blocks;
}

bool isImageNoiseWord(const TextBlock::Line::Word& word, const std::vector<TextBlock>& imageBlocks) {
  if (word.rect.width() <= 0 || word.rect.height() <= 0) return false;
  const int m = meaningfulCharCount(word.text);
  const double area = std::max(word.rect.width() * word.rect.height(), 1.0);
  if (m > 3 && word.confidence >= 62) return false;
  for (const TextBlock& image : imageBlocks) {
    if (positiveOverlapArea(image.rect, word.rect) / area > 0.18) return true;
  }
  return false;
}

bool isImageNoiseText(const TextBlock& block, const std::vector<TextBlock>& imageBlocks) {
  if (block.isImage || block.rect.width() <= 0 || block.rect.height() <= 0) return false;
  const int m = meaningfulCharCount(block.text);
  const double area = std::max(block.rect.width() * block.rect.height(), 1.0);
  for (const TextBlock& image : imageBlocks) {
    const double overlap = positiveOverlapArea(image.rect, block.rect);
    if (overlap <= 0) continue;
    const double ratio = overlap / area;
    if ((m <= 3 && ratio > 0.12) || (m >= 4 && m <= 8 && ratio > 0.55)) return true;
  }
  return false;
}

void removeImageNoiseWords(std::vector<TextBlock>& blocks, const std::vector<TextBlock>& imageBlocks) {
  for (TextBlock& block : blocks) {
    if (block.isImage) continue;
    bool blockLostWord = false;
    for (TextBlock::Line& line : block.lines) {
      const auto kept = std::remove_if(line.words.begin(), line.words.end(),
                                       [&](const auto& w) { return isImageNoiseWord(w, imageBlocks); });
      if (kept == line.words.end()) continue;
      line.words.erase(kept, line.words.end());
      blockLostWord = true;
      QStringList texts;
      QRectF united;
      bool first = true;
      for (const auto& w : line.words) {
        const QString t = w.text.trimmed();
        if (t.isEmpty()) continue;
        texts << t;
        united = first ? w.rect : united.united(w.rect);
        first = false;
      }
      line.text = texts.join(u' ');
      if (!united.isNull()) line.rect = united;
    }
    if (!blockLostWord) continue;
    block.lines.erase(std::remove_if(block.lines.begin(), block.lines.end(),
                                     [](const auto& l) { return l.text.trimmed().isEmpty(); }),
                      block.lines.end());
    rebuildBlockFromLines(block);
  }
  blocks.erase(std::remove_if(blocks.begin(), blocks.end(),
                              [](const TextBlock& b) { return !b.isImage && b.text.trimmed().isEmpty(); }),
               blocks.end());
}

void removeImageNoiseText(std::vector<TextBlock>& blocks, const std::vector<TextBlock>& imageBlocks) {
  blocks.erase(std::remove_if(blocks.begin(), blocks.end(),
                              [&](const TextBlock& b) { return isImageNoiseText(b, imageBlocks); }),
               blocks.end());
}
