#include "ReadingOrder.h"

#include <algorithm>
#include <utility>

namespace {

constexpr double kTopBandShare = 0.25;
constexpr double kRightColumnShare = 0.43;
constexpr double kSameLineOverlap = 0.35;

double topOf(const QRectF& r) { return r.y() + r.height(); }

}  // namespace

bool readsBefore(const TextBlock& a, const TextBlock& b, double pageWidth, double pageHeight) {
  const QRectF& ra = a.rect;
  const QRectF& rb = b.rect;
  const double topA = topOf(ra);
  const double topB = topOf(rb);
  const double minH = std::min(ra.height(), rb.height());
  const bool sharingALine =
      minH > 0 && (std::min(topA, topB) - std::max(ra.y(), rb.y())) / minH > kSameLineOverlap && ra.x() != rb.x();

  // Columns of vertical writing side by side are read from the right, at
  // the top of the page too.
  if (a.vertical && b.vertical && sharingALine) return ra.x() > rb.x();

  if (pageHeight - topA < kTopBandShare * pageHeight && pageHeight - topB < kTopBandShare * pageHeight) {
    const bool rightA = ra.x() + ra.width() / 2 >= kRightColumnShare * pageWidth;
    const bool rightB = rb.x() + rb.width() / 2 >= kRightColumnShare * pageWidth;
    if (rightA != rightB) return !rightA;
  }

  // Blocks sharing a line that start at the same x fall through to the
  // height rule, so their order never depends on the order they came in.
  if (sharingALine) return ra.x() < rb.x();
  return topA > topB;
}

void sortReadingOrder(std::vector<TextBlock>& blocks, double pageWidth, double pageHeight) {
  for (size_t i = 1; i < blocks.size(); ++i) {
    for (size_t j = i; j > 0 && readsBefore(blocks[j], blocks[j - 1], pageWidth, pageHeight); --j)
      std::swap(blocks[j], blocks[j - 1]);
  }
}
