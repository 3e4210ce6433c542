#pragma once
// A picture of the page that the user moved, stretched or turned keeps its
// image object: the operator that draws it gets one matrix put before it, so
// its pixels, their order, its mask and its colour space stay as the file
// has them. Drawing it anew from a rendering would lower it at every turn.

#include <QRectF>
#include <QTransform>

#include <optional>

class PageSpace;
struct TextBlock;
struct fpdf_pageobject_t__;

// Whether an object drawn under the content's clip (`clipped`, as the page's
// content sets one) still shows all of `place` (user space): each clip path
// pdfium reads holds it. A clip the content sets but pdfium gives no paths of
// is unknown, and holds nothing.
bool clipHolds(fpdf_pageobject_t__* object, const QRectF& place, bool clipped);

// The matrix to concatenate right before the image's Do (in the space its
// Do is drawn in), so that it lies where block `b` now shows it; none when
// the picture is to be drawn anew: no invertible matrix, or a clip it is
// drawn in would cut the new place. The caller holds the pdfium lock.
std::optional<QTransform> carriedPictureMatrix(fpdf_pageobject_t__* image, const TextBlock& b,
                                               const PageSpace& space, bool clipped);
