#pragma once
// One recognised word as it travels between the recognition stages.

#include <QRectF>
#include <QString>

struct OcrWord {
  QString text;
  // PDF points, origin at the bottom-left corner of the page.
  QRectF rect;
  // 0 to 100, as the recogniser reports it.
  float confidence = 0.0f;
  // The recogniser's layout block the word belongs to; -1 when unknown.
  // Words of different blocks (columns, side notes) never share a line.
  int layoutBlock = -1;
};
