#pragma once
// Writers of non-text page objects on an already loaded page. Rectangles are
// in the shown page's space (see PageSpace). The caller holds the document
// lock, regenerates the content and marks the document modified.

#include "PdfiumApi.h"

#include <QByteArray>
#include <QImage>
#include <QRectF>

// An image object showing `image` stretched over `rect`, on top of the page
// content. False (nothing added) for null handles, a null image or a side of
// 0.1 pt or less.
bool insertImageObject(FPDF_DOCUMENT document, FPDF_PAGE page, const QRectF& rect, const QImage& image);
// The same without the size floor, for callers that accept hairline images;
// false for null handles, a null image or a non-positive side.
bool placeImageObject(FPDF_DOCUMENT document, FPDF_PAGE page, const QRectF& rect, const QImage& image);
// An image object holding the JPEG data as it is (DCT-encoded, no re-encoding),
// stretched over `rect`; false when pdfium does not take the data.
bool placeJpegObject(FPDF_DOCUMENT document, FPDF_PAGE page, const QRectF& rect, const QByteArray& jpeg);

// A filled white rectangle over `rect` grown by `margin` on every side, on top
// of the page content; nothing is added when the grown rectangle is degenerate.
void insertWhiteRect(FPDF_PAGE page, const QRectF& rect, double margin);
