#pragma once
#include "StrokeTool.h"

// Strokes that clear the layer to transparency.
class EraserTool : public StrokeTool {
 public:
  QString name() const override { return QStringLiteral("Ластик"); }

 protected:
  void paintSegment(Document* document, const QPoint& from, const QPoint& to) override;
};
