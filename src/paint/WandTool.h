#pragma once
#include "Tool.h"

// Selects the bounding rectangle of the colour region around the click; the
// tool size sets the tolerance.
class WandTool : public Tool {
 public:
  QString name() const override { return QStringLiteral("Волшебная палочка"); }
  void mousePress(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
};
