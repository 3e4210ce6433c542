#pragma once
#include "SelectTool.h"

// Selects like the rectangle selection and crops to it on release or Return.
class CropTool : public SelectTool {
 public:
  QString name() const override { return QStringLiteral("Обрезка"); }
  void mouseRelease(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
  bool wantsCropOnEnter() const override { return true; }
};
