#include "InkColour.h"

#include <QtGlobal>

#include <algorithm>

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

// Adds row[x] for x in [from, to).
void addRow(const quint32* row, int from, int to, InkSums& sums) {
  int x = from;
#if defined(__SSE2__)
  // Nearly all of a line's box is paper and anti-aliased grey: four pixels at
  // a time when all four are grey (white included) and opaque enough, with
  // the table's values computed in the lanes; any other block pixel by pixel.
  const __m128i lowByte = _mm_set1_epi32(0xFF);
  const __m128i rgb = _mm_set1_epi32(0xFFFFFF);
  const __m128i alphaFloor = _mm_set1_epi32(15);
  const __m128i darkest = _mm_set1_epi32(214);
  const __m128i paper = _mm_set1_epi32(245);
  while (x + 4 <= to) {
    // 32-bit lanes: at most 8192 blocks of products up to 122 x 123 each.
    const int end = std::min(to, x + 4 * 8192);
    __m128i products = _mm_setzero_si128();
    __m128i weights = _mm_setzero_si128();
    for (; x + 4 <= end; x += 4) {
      const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
      const __m128i v = _mm_and_si128(p, lowByte);
      const __m128i grey = _mm_or_si128(_mm_or_si128(v, _mm_slli_epi32(v, 8)), _mm_slli_epi32(v, 16));
      const __m128i usable = _mm_and_si128(_mm_cmpeq_epi32(_mm_and_si128(p, rgb), grey),
                                           _mm_cmpgt_epi32(_mm_srli_epi32(p, 24), alphaFloor));
      if (_mm_movemask_epi8(usable) != 0xFFFF) {
        for (int k = 0; k < 4; ++k) addPixel(row[x + k], sums);
        continue;
      }
      const __m128i weight = _mm_andnot_si128(_mm_cmpgt_epi32(v, darkest), _mm_sub_epi32(paper, v));
      weights = _mm_add_epi32(weights, weight);
      products = _mm_add_epi32(products, _mm_madd_epi16(v, weight));  // high halves are 0
    }
    alignas(16) qint32 p[4];
    alignas(16) qint32 w[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(p), products);
    _mm_store_si128(reinterpret_cast<__m128i*>(w), weights);
    for (int k = 0; k < 4; ++k) {
      sums.greyProduct += p[k];
      sums.greyWeight += w[k];
    }
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
