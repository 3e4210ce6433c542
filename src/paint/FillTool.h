#pragma once
#include "Tool.h"

#include <QImage>

// Flood fill of the exactly equal, edge-connected pixels with the primary colour.
class FillTool : public Tool {
 public:
  QString name() const override { return QStringLiteral("Заливка"); }
  void mousePress(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;

  QImage before;
};
