#pragma once
// What drawing a page cost the page check worker, and what drawing it at
// another size may therefore cost. The worker draws each page with its form
// fields; a page that is not cheap it draws again at a smaller size, and from
// the two it learns how memory grows with the pixels drawn at once and how
// time grows with the pixels drawn. A rendering larger than the check is then drawn in tiles no
// larger than what the check drew, each within the memory bound, or refused
// when all its tiles together would take longer than the time bound.

#include <QByteArray>

#include <optional>

struct PageRenderCost {
  double pixels = 0;        // the larger of the two drawings
  double milliseconds = 0;  // its processor time
  double bytes = 0;         // the memory it took at its peak
  double millisecondsPerPixel = 0;
  double bytesPerPixel = 0;

  // What a drawing costs whatever its size: loading fonts and images, laying out fields.
  double fixedBytes() const;
  double fixedMilliseconds() const;

  // "<pixels> <ms> <bytes> <ms per pixel> <bytes per pixel>", as the worker says it.
  QByteArray toText() const;
  static PageRenderCost fromText(const QByteArray& text);
};

// Memory one rendering may take beside the open document.
inline constexpr double kMostRenderBytes = 768.0 * (1 << 20);
// Below this, a rendering is drawn whole, as pdfium draws it fastest.
inline constexpr double kWholeRenderBytes = 128.0 * (1 << 20);
// Time all the drawings of one rendering may take together.
inline constexpr double kMostRenderMilliseconds = 15000;

struct RenderPlan {
  bool refused = false;
  long long tilePixels = 0;  // the largest tile; the whole image when not smaller
};

// How to draw `pixels` of the page whose check cost `cost`.
RenderPlan planRender(const PageRenderCost& cost, long long pixels);
// Whether `pixels` of the page draw at once within the memory bound and
// `mostMilliseconds`; unknown cost (no check ran) counts as cheap.
bool drawsWhole(const std::optional<PageRenderCost>& cost, long long pixels, double mostMilliseconds);
// What a drawing the program reads for itself (the ink under text, pictures
// drawn by paths) may take: it is read as a page is shown, on the window's
// thread. Far above what a real page's estimate comes to on a loaded machine,
// so that what is read never depends on the machine's load.
inline constexpr double kMostReadingMilliseconds = 5000;
