#pragma once
#include "ShapeTool.h"

class EllipseTool : public BoxShapeTool {
 public:
  QString name() const override { return QStringLiteral("Эллипс"); }

 protected:
  int kind() const override { return PendingShape::Ellipse; }
};
