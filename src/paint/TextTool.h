#pragma once
#include "Tool.h"

// Asks for a text and hands the canvas a pending text shape at the click.
class TextTool : public Tool {
 public:
  QString name() const override { return QStringLiteral("Текст"); }
  QCursor cursor() const override { return QCursor(Qt::IBeamCursor); }
  void mousePress(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;

  QString fontFamily;  // empty: the default font
  bool bold = false;
  bool italic = false;
};
