#pragma once
// Names of derived PDFs ("compressed", "merged", "scanned") that carry a short
// word for the kind of export in the interface language.

#include <QString>

// The cleaned word for the kind in the interface language; never empty. Kinds
// other than "compressed" and "merged" use the words for "scanned".
QString localizedExportSuffix(const QString& kind);
// The path with "_<word>" added to its base name (once) and ".pdf" as suffix;
// a path without a folder resolves against the current one, an empty one
// becomes "document" in the home folder.
QString withLocalizedPdfSuffix(const QString& path, const QString& kind);
// Such a path beside the source document; a blank base name gives way to
// fallbackBaseName.
QString suggestedSiblingPdfPath(const QString& sourcePath, const QString& kind, const QString& fallbackBaseName);
