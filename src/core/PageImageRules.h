#pragma once
// Pure geometric rules of page images, free of pdfium.

#include <QRectF>
#include <QSize>
#include <QSizeF>

// Pixel size of a page of `points` at `scale` pixels per point, at least 1 x 1.
QSize renderPixelSize(const QSizeF& points, double scale);
// Whether an image of this size on this page is worth offering as an image block:
// not tiny, not a rule or thin strip, not a scan or background covering the page.
bool isUsablePageImageRect(const QRectF& rect, const QSizeF& pageSize);
