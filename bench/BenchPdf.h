#pragma once
// Starts painting a benchmark PDF: 72 dpi, no margins, first page A4 portrait.

#include <QMarginsF>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

inline bool beginA4Pdf(QPdfWriter& writer, QPainter& painter) {
  writer.setResolution(72);
  writer.setPageMargins(QMarginsF(0, 0, 0, 0));
  writer.setPageSize(QPageSize(QSizeF(595, 842), QPageSize::Point));
  return painter.begin(&writer);
}
