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
};
