#include "PencilTool.h"

#include "ToolDrawing.h"

#include <QMouseEvent>

void PencilTool::beginStroke(QMouseEvent* event) {
  strokeColor = event->button() == Qt::RightButton ? secondary : primary;
}

void PencilTool::paintSegment(Document* document, const QPoint& from, const QPoint& to) {
  pencilLine(document, from, to, strokeColor);
}
