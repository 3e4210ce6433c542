#pragma once
// Proposed names of derived PDFs (compressed, merged, scanned-look copies):
// the kind's word in the interface language is appended to the base name,
// report.pdf becoming report_сжатый.pdf in Russian, report_compressed.pdf in English.

#include <QString>

// The word for "compressed", "merged" or "scanned" (any other kind counts as
// "scanned") in the interface language, cleaned for file names; never empty.
QString localizedExportSuffix(const QString& kind);
// folder/base_word.pdf; the word is not doubled, the old suffix is dropped.
QString withLocalizedPdfSuffix(const QString& path, const QString& kind);
// A path of that kind beside the source (the home folder when it has none).
QString suggestedSiblingPdfPath(const QString& sourcePath, const QString& kind, const QString& fallbackBaseName);
