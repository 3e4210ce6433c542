#pragma once
// The six fixed stages of the compressed export's slider, from almost
// lossless to a monochrome minimum, and the rule that maps any options back
// to the stage that describes them best. Pure: no widgets, no settings.

#include "core/PdfDocument.h"

#include <QString>

struct CompressionStageUi {
  QString title;
  QString shortLabel;  // tick label and badge text
  QString description;
  QString warning;
  QString textColor;        // #rrggbb
  QString backgroundColor;  // #rrggbb
  PdfDocument::CompressionOptions options;
};

inline constexpr int kCompressionStageCount = 6;

// The stage of the index clamped to 0..5.
CompressionStageUi compressionStage(int index);
// The stage index 0..5 that describes the options best.
int stageForOptions(const PdfDocument::CompressionOptions& options);
// All six fields equal.
bool sameCompressionOptions(const PdfDocument::CompressionOptions& a, const PdfDocument::CompressionOptions& b);
