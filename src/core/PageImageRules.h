#pragma once
// Pure geometric rules of page images, free of pdfium.

#include <QRectF>
#include <QSize>
#include <QSizeF>

// The most pixels one page render may have (about 800 MB as ARGB32). A
// hostile /MediaBox or scale must not ask for gigabytes.
inline constexpr qint64 kMaxRenderPixels = 200'000'000;

// Pixel size of a page of `points` at `scale` pixels per point, at least 1 x 1;
// an empty size when the render would exceed the pixel budget.
QSize renderPixelSize(const QSizeF& points, double scale);
// Whether an image of this size on this page is worth offering as an image block:
// not tiny, not a rule or thin strip, not a scan or background covering the page.
bool isUsablePageImageRect(const QRectF& rect, const QSizeF& pageSize);
