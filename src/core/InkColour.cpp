#include "InkColour.h"

#include "PdfBitmapHelpers.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

struct InkSums {
  qint64 coloured[4] = {0, 0, 0, 0};  // r, g, b, weight
  qint64 dark[4] = {0, 0, 0, 0};
  // Grey pixels add the same product to all three dark channel sums.
  qint64 greyProduct = 0;
  qint64 greyWeight = 0;
};

// A grey pixel (r = g = b = v) is never coloured: its dark weight and the
// product it adds come from a table. White weighs nothing.
struct GreyInk {
  int weight[256];
  int product[256];  // v x weight
  constexpr GreyInk() : weight(), product() {
    for (int v = 0; v < 256; ++v) {
      weight[v] = v <= 214 ? 245 - v : 0;
      product[v] = v * weight[v];
    }
  }
};
constexpr GreyInk kGreyInk;

void addPixel(quint32 px, InkSums& sums) {
  if (qAlpha(px) < 16) return;
  const int r = qRed(px), g = qGreen(px), b = qBlue(px);
  if (r == g && g == b) {
    sums.greyProduct += kGreyInk.product[r];
    sums.greyWeight += kGreyInk.weight[r];
    return;
  }
  const int mx = std::max({r, g, b});
  const int sat = mx - std::min({r, g, b});
  const int s = 11 * r + 16 * g + 5 * b;
  const int lightness = s / 32;
  qint64* target = nullptr;
  int weight = 0;
  if (s < 7520 && mx > 55 && sat > 31) {
    target = sums.coloured;
    weight = (245 - lightness) / 2 + sat;
  } else if (lightness <= 214) {
    target = sums.dark;
    weight = 245 - lightness;
  } else {
    return;
  }
  target[0] += qint64(r) * weight;
  target[1] += qint64(g) * weight;
  target[2] += qint64(b) * weight;
  target[3] += weight;
}

#if defined(__SSE2__)
// Lane sums of four pixels at a time, flushed into InkSums before they can
// overflow: at most 8192 blocks, each adding below 2^16 to a lane.
struct LaneSums {
  __m128i greyProducts = _mm_setzero_si128();
  __m128i greyWeights = _mm_setzero_si128();
  __m128i dark[4] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};

  static qint64 total(__m128i lanes) {
    alignas(16) qint32 v[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(v), lanes);
    return qint64(v[0]) + v[1] + v[2] + v[3];
  }
  void flushInto(InkSums& sums) const {
    sums.greyProduct += total(greyProducts);
    sums.greyWeight += total(greyWeights);
    for (int i = 0; i < 4; ++i) sums.dark[i] += total(dark[i]);
  }
};

// Adds four pixels unless one of them is coloured or nearly transparent;
// false leaves them to the pixel-by-pixel rule.
inline bool addBlock(__m128i p, LaneSums& lanes) {
  const __m128i lowByte = _mm_set1_epi32(0xFF);
  const __m128i opaqueEnough = _mm_cmpgt_epi32(_mm_srli_epi32(p, 24), _mm_set1_epi32(15));
  const __m128i b = _mm_and_si128(p, lowByte);
  const __m128i g = _mm_and_si128(_mm_srli_epi32(p, 8), lowByte);
  const __m128i r = _mm_and_si128(_mm_srli_epi32(p, 16), lowByte);
  const __m128i darkest = _mm_set1_epi32(214);
  const __m128i paper = _mm_set1_epi32(245);

  // Grey (white included), the common case: lightness is the value itself.
  const __m128i grey = _mm_or_si128(_mm_or_si128(b, _mm_slli_epi32(b, 8)), _mm_slli_epi32(b, 16));
  const __m128i isGrey = _mm_cmpeq_epi32(_mm_and_si128(p, _mm_set1_epi32(0xFFFFFF)), grey);
  if (_mm_movemask_epi8(_mm_and_si128(isGrey, opaqueEnough)) == 0xFFFF) {
    const __m128i weight = _mm_andnot_si128(_mm_cmpgt_epi32(b, darkest), _mm_sub_epi32(paper, b));
    lanes.greyWeights = _mm_add_epi32(lanes.greyWeights, weight);
    lanes.greyProducts = _mm_add_epi32(lanes.greyProducts, _mm_madd_epi16(b, weight));  // high halves are 0
    return true;
  }

  // Tinted dark ink (black mixed from colours): dark unless one is coloured.
  // Channels stay below 2^15, so the 16-bit operations act on the low halves.
  const __m128i mx = _mm_max_epi16(_mm_max_epi16(r, g), b);
  const __m128i sat = _mm_sub_epi32(mx, _mm_min_epi16(_mm_min_epi16(r, g), b));
  const __m128i s = _mm_add_epi32(_mm_add_epi32(_mm_mullo_epi16(r, _mm_set1_epi32(11)), _mm_slli_epi32(g, 4)),
                                  _mm_mullo_epi16(b, _mm_set1_epi32(5)));
  const __m128i coloured =
      _mm_and_si128(_mm_and_si128(_mm_cmplt_epi32(s, _mm_set1_epi32(7520)), _mm_cmpgt_epi32(mx, _mm_set1_epi32(55))),
                    _mm_cmpgt_epi32(sat, _mm_set1_epi32(31)));
  if (_mm_movemask_epi8(_mm_andnot_si128(coloured, opaqueEnough)) != 0xFFFF) return false;
  const __m128i lightness = _mm_srli_epi32(s, 5);
  const __m128i weight = _mm_andnot_si128(_mm_cmpgt_epi32(lightness, darkest), _mm_sub_epi32(paper, lightness));
  lanes.dark[0] = _mm_add_epi32(lanes.dark[0], _mm_madd_epi16(r, weight));
  lanes.dark[1] = _mm_add_epi32(lanes.dark[1], _mm_madd_epi16(g, weight));
  lanes.dark[2] = _mm_add_epi32(lanes.dark[2], _mm_madd_epi16(b, weight));
  lanes.dark[3] = _mm_add_epi32(lanes.dark[3], weight);
  return true;
}
#endif

// Adds row[x] for x in [from, to).
void addRow(const quint32* row, int from, int to, InkSums& sums) {
  int x = from;
#if defined(__SSE2__)
  // Nearly all of a line's box is paper and anti-aliased dark ink: four
  // pixels at a time, and only blocks holding a coloured or nearly
  // transparent pixel go pixel by pixel.
  while (x + 4 <= to) {
    const int end = std::min(to, x + 4 * 8192);
    LaneSums lanes;
    for (; x + 4 <= end; x += 4) {
      if (!addBlock(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x)), lanes))
        for (int k = 0; k < 4; ++k) addPixel(row[x + k], sums);
    }
    lanes.flushInto(sums);
  }
#endif
  for (; x < to; ++x) addPixel(row[x], sums);
}

}  // namespace

std::optional<QColor> inkColourOfPixels(const QImage& image, const QRect& rect) {
  if (image.format() != QImage::Format_ARGB32) return std::nullopt;
  const QRect pixels = rect.intersected(image.rect());
  if (pixels.isEmpty()) return std::nullopt;
  InkSums sums;
  for (int y = pixels.top(); y <= pixels.bottom(); ++y)
    addRow(reinterpret_cast<const quint32*>(image.constScanLine(y)), pixels.left(), pixels.right() + 1, sums);
  for (int i = 0; i < 3; ++i) sums.dark[i] += sums.greyProduct;
  sums.dark[3] += sums.greyWeight;
  const qint64* chosen = sums.coloured[3] > 0 ? sums.coloured : (sums.dark[3] >= 1 ? sums.dark : nullptr);
  if (!chosen) return std::nullopt;
  return QColor(int(chosen[0] / chosen[3]), int(chosen[1] / chosen[3]), int(chosen[2] / chosen[3]), 255);
}

namespace {

// The ink colour of a line comes from this rendering, in pixels per point.
constexpr double kInkScale = 2.5;
// Pixels are kept per thread: at scale 2.5 a page is about 12 MB, and
// allocating and faulting it in on every page costs as much as filling it.
// Pixels grown for an unusually large page are let go with the page.
constexpr size_t kKeptPixels = 8'000'000;  // 32 MB: an A3 page at scale 2.5

std::vector<quint32>& keptPixels() {
  thread_local std::vector<quint32> kept;
  return kept;
}

}  // namespace

LazyInk::LazyInk(FPDF_PAGE page, const std::optional<PageRenderCost>& cost) : page(page), cost(cost) {}

LazyInk::~LazyInk() {
  image = QImage();
  if (keptPixels().size() > kKeptPixels) keptPixels() = {};
}

const QImage& LazyInk::rendering() {
  if (!rendered) {
    image = renderLoadedPageIntoBuffer(page, kInkScale, keptPixels(), cost);
    rendered = true;
  }
  return image;
}

std::optional<QColor> LazyInk::colourIn(const QRectF& box, const QSizeF& pageSize) {
  rendering();
  if (image.isNull() || box.width() <= 0 || box.height() <= 0) return std::nullopt;
  const double pad = std::max(1.25 / kInkScale, 0.35);
  const QRectF area = box.adjusted(-pad, -pad, pad, pad).intersected(QRectF(QPointF(0, 0), pageSize));
  if (area.width() <= 0 || area.height() <= 0) return std::nullopt;
  const QRect pixels = QRect(int(std::floor(area.x() * kInkScale)),
                             int(std::floor((pageSize.height() - (area.y() + area.height())) * kInkScale)),
                             int(std::ceil(area.width() * kInkScale)), int(std::ceil(area.height() * kInkScale)));
  return inkColourOfPixels(image, pixels);
}

std::optional<std::pair<double, double>> LazyInk::inkedSpan(const QRectF& box, const QSizeF& pageSize) {
  if (rendering().format() != QImage::Format_ARGB32 || box.width() <= 0 || box.height() <= 0) return std::nullopt;
  const QRect pixels = QRect(int(std::floor(box.x() * kInkScale)),
                             int(std::floor((pageSize.height() - (box.y() + box.height())) * kInkScale)),
                             int(std::ceil(box.width() * kInkScale)), int(std::ceil(box.height() * kInkScale)))
                           .intersected(image.rect());
  int top = -1, bottom = -1;  // pixel rows, downwards
  for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
    const auto* row = reinterpret_cast<const quint32*>(image.constScanLine(y));
    bool inked = false;
    for (int x = pixels.left(); x <= pixels.right() && !inked; ++x) {
      InkSums sums;
      addPixel(row[x], sums);
      inked = sums.greyWeight > 0 || sums.dark[3] > 0 || sums.coloured[3] > 0;
    }
    if (!inked) continue;
    if (top < 0) top = y;
    bottom = y;
  }
  if (top < 0) return std::nullopt;
  return std::pair{pageSize.height() - (bottom + 1) / kInkScale, pageSize.height() - top / kInkScale};
}
