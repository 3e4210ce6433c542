#pragma once
#include "Tool.h"

#include <QImage>

// Drags the whole active layer; what leaves the picture is lost.
class MoveTool : public Tool {
 public:
  QString name() const override { return QStringLiteral("Перемещение"); }
  QCursor cursor() const override { return QCursor(Qt::SizeAllCursor); }
  void mousePress(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
  void mouseMove(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;
  void mouseRelease(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) override;

  bool dragging = false;
  QPoint start;
  QImage before;
};
