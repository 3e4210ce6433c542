#pragma once
#include "Tool.h"

// Picks the colour of the composed picture; the right button sets the
// secondary colour, any other reports the pick.
class EyedropperTool : public Tool {
 public:
  QString name() const override { return QStringLiteral("Пипетка"); }
  void mousePress(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
};
