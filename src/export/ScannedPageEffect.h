#pragma once
// The scanned look of the scanned-look export: a page image laid on
// off-white paper inside white margins, tilted a little, darkened, with paper
// grain, scanner bands, vertical streaks, shadowed edges and a folded corner.
// A pure function: every random decision is seeded from the page index.

#include <QImage>
#include <QString>

struct ScannedPdfExportOptions {
  QString outputPath;
  int dpi = 200;
  int rotation = 0;  // 0, 90, 180, 270, clockwise
  double marginMm = 1.2;
  double maxSkewDegrees = 0.35;
  int darkness = 8;
  int contrast = 10;
  int noise = 4;
  int stripes = 12;
  int verticalStreaks = 8;
  int edgeShadow = 10;
  int foldedCorner = 10;
  bool grayscale = true;
  bool randomize = true;
};

// The page image (at the export resolution) with the scanned look: opaque
// ARGB32, the page's size after the turn, dots per metre from `dpi`. A null
// page gives a null image. `preview` changes only the tilt of a page.
QImage applyScannedPdfEffect(const QImage& page, const ScannedPdfExportOptions& options, int pageIndex, bool preview);
