#include "PageRenderCost.h"

#include <QList>

#include <algorithm>
#include <cmath>

QByteArray PageRenderCost::toText() const {
  QByteArray text;
  for (double figure : {pixels, milliseconds, bytes, millisecondsPerPixel, bytesPerPixel})
    text += QByteArray::number(figure, 'g', 9) + ' ';
  return text.trimmed();
}

PageRenderCost PageRenderCost::fromText(const QByteArray& text) {
  const QList<QByteArray> figures = text.split(' ');
  PageRenderCost cost;
  double* fields[] = {&cost.pixels, &cost.milliseconds, &cost.bytes, &cost.millisecondsPerPixel,
                      &cost.bytesPerPixel};
  for (qsizetype i = 0; i < 5 && i < figures.size(); ++i) {
    bool ok = false;
    const double figure = figures[i].toDouble(&ok);
    if (ok && std::isfinite(figure) && figure >= 0) *fields[i] = figure;
  }
  return cost;
}

double PageRenderCost::fixedBytes() const { return std::max(0.0, bytes - bytesPerPixel * pixels); }

double PageRenderCost::fixedMilliseconds() const {
  return std::max(0.0, milliseconds - millisecondsPerPixel * pixels);
}

bool drawsWhole(const std::optional<PageRenderCost>& cost, long long pixels, double mostMilliseconds) {
  return !cost || (cost->fixedBytes() + cost->bytesPerPixel * double(pixels) <= kMostRenderBytes &&
                   cost->fixedMilliseconds() + cost->millisecondsPerPixel * double(pixels) <= mostMilliseconds);
}

RenderPlan planRender(const PageRenderCost& cost, long long pixels) {
  RenderPlan plan;
  plan.tilePixels = std::max(1LL, pixels);
  if (!(cost.pixels > 0)) return plan;
  const double fixedBytes = cost.fixedBytes(), fixedMs = cost.fixedMilliseconds();
  if (fixedBytes + cost.bytesPerPixel * double(pixels) > kWholeRenderBytes) {
    const double fits = cost.bytesPerPixel > 0 ? (kMostRenderBytes - fixedBytes) / cost.bytesPerPixel : 1e18;
    plan.tilePixels = std::min<long long>(plan.tilePixels, (long long)std::min(fits, cost.pixels));
  }
  // A tile narrower than this draws more than its share of the page again.
  if (plan.tilePixels < std::min(pixels, 4096LL)) {
    plan.refused = true;
    return plan;
  }
  const double tiles = std::ceil(double(pixels) / double(plan.tilePixels));
  plan.refused = tiles * fixedMs + cost.millisecondsPerPixel * double(pixels) > kMostRenderMilliseconds;
  return plan;
}
