#pragma once
// A scanned image as a one-page PDF: the page has the paper size the image's
// resolution gives (300 dpi when it has none) and the image fills it.

#include <QImage>
#include <QSizeF>
#include <QString>

// The page size in points: pixels x 72 / dpi per axis.
QSizeF scannedPageSizePoints(const QImage& image);

// Writes the page into a new private temporary file ("ulvo_scan_...pdf",
// owner-only, unpredictable name) and returns its path, or an empty string
// with `error` set; nothing is left behind on failure.
QString writeScannedPagePdf(const QImage& image, QString* error);
