#pragma once
// A scanned image as a one-page PDF: the page has the paper size the image's
// resolution gives (300 dpi when it has none) and the image fills it.

#include <QByteArray>
#include <QImage>
#include <QSizeF>
#include <QString>

// The page size in points: pixels x 72 / dpi per axis.
QSizeF scannedPageSizePoints(const QImage& image);

// The one-page PDF itself: the image at its resolution filling the page,
// in the image's own kind (RGB, 8-bit grey or 1-bit).
QByteArray scannedPagePdfBytes(const QImage& image);

// Writes the page into a new private temporary file ("ulvo_scan_...pdf",
// owner-only, unpredictable name) and returns its path, or an empty string
// with `error` set; nothing is left behind on failure.
QString writeScannedPagePdf(const QImage& image, QString* error);
