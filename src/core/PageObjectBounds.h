#pragma once
// Where a page object lies, in pdfium's user space. Caller holds the pdfium lock.

#include "PdfiumApi.h"

#include <QRectF>

// Image objects (type 3) by the box around their possibly turned quadrilateral,
// everything else by the plain bounds; empty when pdfium knows neither.
QRectF pageObjectBounds(FPDF_PAGEOBJECT object, int type);
