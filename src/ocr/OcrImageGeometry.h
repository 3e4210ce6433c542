#pragma once
// Between page points (bottom-left origin, y up) and the pixels of the page
// rendered at `scale` pixels per point (top-left origin, y down).

#include <QImage>
#include <QRect>
#include <QRectF>

// The pixel rectangle covering pdfRect, grown by marginPx on every side and
// clipped to the image; empty when nothing of it lies on the image.
QRect imageCropForPdfRect(const QRectF& pdfRect, const QImage& image, double scale, double pageHeight,
                          int marginPx);

// A pixel box (left, top, right, bottom exclusive) as page points.
QRectF pdfRectForPixelBox(int left, int top, int right, int bottom, double scale, double pageHeight);
