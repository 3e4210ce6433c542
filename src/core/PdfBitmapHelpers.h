#pragma once
// Bitmap and page-image helpers shared by the document model's rendering,
// extraction and insertion code. All expect the pdfium lock to be held.

#include "PageImageRules.h"
#include "PageRenderCost.h"
#include "PdfiumApi.h"

#include <QImage>
#include <QRectF>
#include <QSizeF>

#include <optional>
#include <vector>

// A BGRA pdfium bitmap over the image's own pixels (no copy); destroy it before the image.
FPDF_BITMAP createBitmapFromQImage(QImage& image);
// A loaded page rendered whole on white, rotation 0, with its form fields when
// given its document's `form` (and its widgets no field holds when given the
// document and the page's index); null for a scale of 0 or less.
QImage renderLoadedPageImage(FPDF_PAGE page, double scale, FPDF_FORMHANDLE form = nullptr,
                             const std::optional<PageRenderCost>& cost = std::nullopt, FPDF_DOCUMENT doc = nullptr,
                             int index = -1);
// A loaded page rendered at `pixels`, turned by `quarterTurns`, on white or
// transparent, with its fields when given `form`. With what the page's check
// cost (`cost`), a rendering past the bounds is drawn in tiles, or refused
// (null) when the tiles would take too long.
QImage renderLoadedPageBounded(FPDF_PAGE page, const QSize& pixels, int quarterTurns, bool transparent,
                               FPDF_FORMHANDLE form, const std::optional<PageRenderCost>& cost,
                               FPDF_DOCUMENT doc = nullptr, int index = -1);
// The size of a drawing the program reads for itself at `scale`; empty when
// the page's check (`cost`) says it does not draw whole within the reading bound.
QSize readingPixelSize(FPDF_PAGE page, double scale, const std::optional<PageRenderCost>& cost);
// A loaded page drawn whole on white without its fields, into pixels the
// caller keeps for reuse (grown when too small). The image reads those pixels without owning them: it is valid while
// they are neither written, grown nor freed. Null when the page's check
// (`cost`) says it does not draw whole at this size within the bounds.
QImage renderLoadedPageIntoBuffer(FPDF_PAGE page, double scale, std::vector<quint32>& pixels,
                                  const std::optional<PageRenderCost>& cost = std::nullopt);
// Copies any pdfium bitmap into a new image.
QImage qImageFromPdfiumBitmap(FPDF_BITMAP bitmap);

// FPDF_FILEACCESS reader over the QByteArray its parameter points to.
int readBytesBlock(void* param, unsigned long position, unsigned char* buffer, unsigned long size);
// The image as Format_ARGB32, ready to become the bitmap of an image object.
QImage imageForPdfiumBitmap(const QImage& image);
// True when the form (or a form nested up to five levels) holds an image object.
bool formContainsImageObject(FPDF_PAGEOBJECT form, int depth);
