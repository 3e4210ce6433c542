#pragma once
// Writing documents and exports to disk without ever leaving a half-written
// target: bytes go to a temporary file beside the target, are flushed to the
// disk and then renamed over it. Used by saving, export and page extraction.

#include "AtomicFileWrite.h"
#include "PdfiumApi.h"

#include <QByteArray>
#include <QString>

// The whole document as pdfium serialises it with `flags`; false when pdfium
// gives up. The caller holds the pdfium lock.
bool serializePdf(FPDF_DOCUMENT document, FPDF_DWORD flags, QByteArray* out);
