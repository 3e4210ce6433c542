#pragma once
#include "StrokeTool.h"

// Smooth round strokes in the primary colour, whatever the button.
class BrushTool : public StrokeTool {
 public:
  QString name() const override { return QStringLiteral("Кисть"); }

 protected:
  void paintSegment(Document* document, const QPoint& from, const QPoint& to) override;
};
