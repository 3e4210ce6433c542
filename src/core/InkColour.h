#pragma once
// The colour of the ink drawn in part of a page rendering, as native text
// extraction gives it to a line whose own colour the page does not show.

#include <QColor>
#include <QImage>
#include <QRect>
#include <QRectF>
#include <QSizeF>

#include "PageRenderCost.h"
#include "PdfiumApi.h"

#include <optional>
#include <utility>

// Over the pixels of the rectangle (clipped to the image, Format_ARGB32):
// pixels with alpha below 16 are ignored; a coloured pixel (11r + 16g + 5b
// below 7520, brightest channel above 55, saturation above 31) weighs
// (245 - lightness) / 2 + saturation, any other pixel with lightness
// (11r + 16g + 5b) / 32 of 214 or less weighs 245 - lightness. The weighted
// mean of the coloured pixels when there are any, else of the dark ones, else
// nothing. Integer arithmetic throughout, so the result is exact.
std::optional<QColor> inkColourOfPixels(const QImage& image, const QRect& rect);

// The page rendered for ink colours, made on the first line that asks: most
// pages give every line its colour themselves and never pay for the rendering.
// Caller holds the pdfium lock.
class LazyInk {
public:
  // With what the page's check cost (`cost`), a page too costly to draw
  // whole has no ink to read.
  explicit LazyInk(FPDF_PAGE page, const std::optional<PageRenderCost>& cost = std::nullopt);
  ~LazyInk();
  LazyInk(const LazyInk&) = delete;
  LazyInk& operator=(const LazyInk&) = delete;

  // The ink drawn inside `box` (shown page space, points): coloured pixels
  // win over dark ones, each weighted by how strongly inked it is.
  std::optional<QColor> colourIn(const QRectF& box, const QSizeF& pageSize);
  // How far up and down ink reaches inside `box` (shown page space, y up):
  // its lowest and highest inked points, by the pixels colourIn weighs.
  std::optional<std::pair<double, double>> inkedSpan(const QRectF& box, const QSizeF& pageSize);

private:
  const QImage& rendering();

  FPDF_PAGE page;
  std::optional<PageRenderCost> cost;
  QImage image;
  bool rendered = false;
};
