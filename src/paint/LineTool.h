#pragma once
#include "ShapeTool.h"

class LineTool : public ShapeTool {
 public:
  QString name() const override { return QStringLiteral("Линия"); }

 protected:
  QPoint constrained(const QPoint& point) const override;
  void paintPreview(QPainter& painter, const QPoint& end) const override;
  PendingShape shapeFor(const QPoint& end) const override;
};
