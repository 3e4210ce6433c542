#pragma once
// Writes the scanned-look PDF: one JPEG image per page (one grey channel in
// the grey look), each page the size of its document page (turned with the
// effect), streamed into a temporary file that replaces the target only when
// complete.
// A page that cannot be rendered ends the export with its number; no blank
// page is ever written in its place.

#include "ScannedPageEffect.h"

#include <QImage>
#include <QSizeF>
#include <QString>

#include <functional>

struct ScannedPdfPages {
  int count = 0;
  std::function<QSizeF(int page)> sizeInPoints;
  std::function<QImage(int page, double scale)> render;  // the page as shown, at `scale` pixels per point
  std::function<void(int done, int total)> progress;       // after each page; may be empty
};

// 0 on success; otherwise the 1-based number of the page that failed, or -1
// when the file could not be made or written (`error` says why).
int writeScannedPdf(const QString& target, const ScannedPdfExportOptions& options, const ScannedPdfPages& pages,
                    QString* error);
