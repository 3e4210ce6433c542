#include "ocr/LayoutDetector.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

using C = LayoutClass;

// Model class index to layout class for the three label sets in use.
constexpr std::array<C, 11> kFiveClassMap = {C::Text,    C::Title,   C::List,    C::Table,   C::Figure, C::Unknown,
                                             C::Unknown, C::Unknown, C::Unknown, C::Unknown, C::Unknown};
constexpr std::array<C, 11> kWideMap = {C::Caption, C::Footnote, C::Formula, C::List, C::Footer, C::Header,
                                        C::Figure,  C::Title,    C::Table,   C::Text, C::Title};
constexpr std::array<C, 11> kTenClassMap = {C::Title,    C::Text,    C::Unknown, C::Figure,  C::Caption, C::Table,
                                            C::Caption, C::Footnote, C::Formula, C::Caption, C::Unknown};

// A NaN score must never pass a threshold.
bool reaches(float score, float minScore) { return score >= minScore; }

float clamp01(float v) { return std::isnan(v) ? 0.0f : std::clamp(v, 0.0f, 1.0f); }

}  // namespace

bool LayoutDetector::load(const QString& modelPath) {
  probedPath = modelPath;
  // No model runtime is linked: no file can be used.
  loaded = false;
  return loaded;
}

std::vector<LayoutBlock> LayoutDetector::detect(const QImage& image, float minScore, float iouLimit) const {
  Q_UNUSED(image);
  Q_UNUSED(minScore);
  Q_UNUSED(iouLimit);
  return {};
}

std::vector<float> LayoutDetector::preprocess(const QImage& image, int width, int height) {
  if (image.isNull() || width <= 0 || height <= 0) return {};
  const QImage rgb = image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                         .convertToFormat(QImage::Format_RGB888);
  const std::size_t plane = std::size_t(width) * std::size_t(height);
  std::vector<float> tensor(3 * plane);
  for (int y = 0; y < height; ++y) {
    const uchar* row = rgb.constScanLine(y);
    for (int x = 0; x < width; ++x) {
      const std::size_t at = std::size_t(y) * width + x;
      for (int c = 0; c < 3; ++c) tensor[c * plane + at] = row[3 * x + c] / 255.0f;
    }
  }
  return tensor;
}

std::vector<LayoutBlock> LayoutDetector::decodePostNMS(const float* data, long rows, int inputWidth, int inputHeight,
                                                       float minScore) {
  std::vector<LayoutBlock> blocks;
  if (!data || inputWidth <= 0 || inputHeight <= 0 || rows <= 0) return blocks;
  for (long r = 0; r < rows; ++r) {
    const float* row = data + r * 6;
    const float score = row[4];
    if (!reaches(score, minScore)) continue;
    const float x1 = clamp01(row[0] / float(inputWidth));
    const float y1 = clamp01(row[1] / float(inputHeight));
    const float x2 = clamp01(row[2] / float(inputWidth));
    const float y2 = clamp01(row[3] / float(inputHeight));
    if (!(x1 < x2 && y1 < y2)) continue;
    const float cls = row[5];
    const int classIndex =
        std::isfinite(cls) && std::abs(cls) < float(std::numeric_limits<int>::max()) ? int(cls) : -1;
    blocks.push_back({QRectF(x1, y1, x2 - x1, y2 - y1), classIndex, score});
  }
  return blocks;
}

std::vector<LayoutBlock> LayoutDetector::decodeYolo(const float* data, long dim0, long dim1, int classCount,
                                                    float minScore) {
  std::vector<LayoutBlock> blocks;
  if (!data || dim0 <= 0 || dim1 <= 0) return blocks;
  const bool transposed = dim0 == long(classCount) + 4;
  const long boxes = transposed ? dim1 : dim0;
  const long values = transposed ? dim0 : dim1;
  if (values < 4) return blocks;
  auto at = [&](long box, long k) { return transposed ? data[k * dim1 + box] : data[box * dim1 + k]; };
  for (long i = 0; i < boxes; ++i) {
    int cls = 0;
    float best = 0.0f;
    for (long k = 4; k < values; ++k) {
      const float score = at(i, k);
      if (score > best) {
        best = score;
        cls = int(k - 4);
      }
    }
    if (!reaches(best, minScore)) continue;
    const float cx = at(i, 0), cy = at(i, 1), w = at(i, 2), h = at(i, 3);
    const float x1 = clamp01(cx - w / 2), x2 = clamp01(cx + w / 2);
    const float y1 = clamp01(cy - h / 2), y2 = clamp01(cy + h / 2);
    if (x1 < x2 && y1 < y2) blocks.push_back({QRectF(x1, y1, x2 - x1, y2 - y1), cls, best});
  }
  return blocks;
}

void LayoutDetector::nms(std::vector<LayoutBlock>& blocks, float iouLimit) {
  // NaN scores sort last, so that the order stays a strict weak ordering.
  auto key = [](const LayoutBlock& b) {
    return std::isnan(b.score) ? -std::numeric_limits<float>::infinity() : b.score;
  };
  std::stable_sort(blocks.begin(), blocks.end(),
                   [&](const LayoutBlock& a, const LayoutBlock& b) { return key(a) > key(b); });
  std::vector<char> suppressed(blocks.size(), 0);
  std::vector<LayoutBlock> kept;
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    if (suppressed[i]) continue;
    kept.push_back(blocks[i]);
    for (std::size_t j = i + 1; j < blocks.size(); ++j) {
      if (!suppressed[j] && iou(blocks[i].rect, blocks[j].rect) > iouLimit) suppressed[j] = 1;
    }
  }
  blocks = std::move(kept);
}

float LayoutDetector::iou(const QRectF& a, const QRectF& b) {
  const double w = std::min(a.right(), b.right()) - std::max(a.left(), b.left());
  const double h = std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top());
  if (!(w > 0) || !(h > 0)) return 0.0f;
  const double inter = w * h;
  const double denominator = a.width() * a.height() + b.width() * b.height() - inter;
  return denominator > 0 ? float(inter / denominator) : 0.0f;
}

LayoutClass LayoutDetector::mapClass(int index) const {
  if (index < 0 || index > 10) return LayoutClass::Unknown;
  if (tenClassLabels) return kTenClassMap[std::size_t(index)];
  return classCount < 6 ? kFiveClassMap[std::size_t(index)] : kWideMap[std::size_t(index)];
}

QString LayoutDetector::className(LayoutClass cls) {
  switch (cls) {
    case LayoutClass::Text: return QStringLiteral("text");
    case LayoutClass::Title: return QStringLiteral("title");
    case LayoutClass::List: return QStringLiteral("list");
    case LayoutClass::Table: return QStringLiteral("table");
    case LayoutClass::Figure: return QStringLiteral("figure");
    case LayoutClass::Caption: return QStringLiteral("caption");
    case LayoutClass::Footnote: return QStringLiteral("footnote");
    case LayoutClass::Formula: return QStringLiteral("formula");
    case LayoutClass::Header: return QStringLiteral("header");
    case LayoutClass::Footer: return QStringLiteral("footer");
    case LayoutClass::Unknown: break;
  }
  return QStringLiteral("unknown");
}
