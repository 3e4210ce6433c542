#pragma once
// Writing documents and exports to disk without ever leaving a half-written
// target: bytes go to a temporary file beside the target, are flushed to the
// disk and then renamed over it. Used by saving, export and page extraction.

#include "PdfiumApi.h"

#include <QByteArray>
#include <QString>

// The whole document as pdfium serialises it with `flags`; false when pdfium
// gives up. The caller holds the pdfium lock.
bool serializePdf(FPDF_DOCUMENT document, FPDF_DWORD flags, QByteArray* out);

// Suffix of the temporary copy, appended to the full target path.
inline constexpr char kTemporarySaveSuffix[] = ".~tmp";

// Writes `bytes` to `path` + ".~tmp", checks every write, flushes and fsyncs
// it, gives it the permissions of an existing target and renames it over the
// target. On failure the target is untouched, the temporary file removed and
// `error` (when given) says why.
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error);
