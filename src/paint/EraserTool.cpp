#include "EraserTool.h"

#include "ToolDrawing.h"

void EraserTool::paintSegment(Document* document, const QPoint& from, const QPoint& to) {
  eraseLine(document, from, to, size);
}
