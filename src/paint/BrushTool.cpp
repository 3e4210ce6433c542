#include "BrushTool.h"

#include "ToolDrawing.h"

void BrushTool::paintSegment(Document* document, const QPoint& from, const QPoint& to) {
  drawLine(document, from, to, primary, size);
}
