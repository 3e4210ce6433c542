#include "EyedropperTool.h"

#include "CanvasWidget.h"
#include "Document.h"

#include <QMouseEvent>

void EyedropperTool::mousePress(CanvasWidget* canvas, Document* document, QMouseEvent* event, const QPoint& point) {
  const QImage merged = document->mergedImage();
  if (!merged.rect().contains(point)) return;
  const QColor color = merged.pixelColor(point);
  if (event->button() == Qt::RightButton)
    canvas->setSecondaryColor(color);
  else
    canvas->reportColorPicked(color);
}
