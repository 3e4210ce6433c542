#pragma once
// Writers of non-text page objects on an already loaded page. Rectangles are
// in the shown page's space (see PageSpace). The caller holds the document
// lock, regenerates the content and marks the document modified.

#include "PdfiumApi.h"

#include <QByteArray>
#include <QImage>
#include <QRectF>
#include <QTransform>

#include <optional>

class PageSpace;

// A picture is written at most this dense over the place it is drawn in: more
// pixels than any printer puts there only make the file larger.
inline constexpr double kDensestPlacedPicturePpi = 600.0;

// An image object showing `image` stretched over `rect`, on top of the page
// content; false for null handles, a null image or a non-positive side. A
// picture denser there than kDensestPlacedPicturePpi is written scaled down.
bool placeImageObject(FPDF_DOCUMENT document, FPDF_PAGE page, const QRectF& rect, const QImage& image);
// The same drawn by `unitToUser`, the image matrix onto the page's user space.
bool placeImageObject(FPDF_DOCUMENT document, FPDF_PAGE page, const QTransform& unitToUser, const QImage& image);
// The image matrix that stands a picture upright in `rect` of the shown page,
// turned clockwise by `degrees` about its centre as a turned block is.
QTransform shownImageMatrix(FPDF_PAGE page, const QRectF& rect, double degrees);

// How an image object drawn by `unitToUser` shows its pixels on the page:
// the quarter turns and mirrors (a transform of pixel coordinates, rows
// downwards) that take its pixels to the page as shown; none when the picture
// stands at another angle.
std::optional<QTransform> shownPixelOrder(const QTransform& unitToUser, const PageSpace& space);
// `image` with its pixels moved by such an order, pixel for pixel; unchanged
// for any other transform.
QImage reorderedPixels(const QImage& image, const QTransform& order);
// An image object holding the JPEG data as it is (DCT-encoded, no re-encoding),
// stretched over `rect`; false when pdfium does not take the data.
bool placeJpegObject(FPDF_DOCUMENT document, FPDF_PAGE page, const QRectF& rect, const QByteArray& jpeg);

// A filled white rectangle over `rect` grown by `margin` on every side, on top
// of the page content; nothing is added when the grown rectangle is degenerate.
void insertWhiteRect(FPDF_PAGE page, const QRectF& rect, double margin);
