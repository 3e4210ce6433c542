#pragma once
#include "StrokeTool.h"

#include <QColor>

// Hard one-pixel lines; the right button draws in the secondary colour.
class PencilTool : public StrokeTool {
 public:
  QString name() const override { return QStringLiteral("Карандаш"); }

  QColor strokeColor;

 protected:
  void beginStroke(QMouseEvent* event) override;
  void paintSegment(Document* document, const QPoint& from, const QPoint& to) override;
};
