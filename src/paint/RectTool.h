#pragma once
#include "ShapeTool.h"

class RectTool : public BoxShapeTool {
 public:
  QString name() const override { return QStringLiteral("Прямоугольник"); }

 protected:
  int kind() const override { return PendingShape::Rectangle; }
};
