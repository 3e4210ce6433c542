#pragma once
// Drawing helpers shared by the stroke and shape tools; all paint on the
// active layer and do nothing without one.

#include <QColor>
#include <QPoint>

class Document;

void drawLine(Document* document, const QPoint& from, const QPoint& to, const QColor& color, int width);
void eraseLine(Document* document, const QPoint& from, const QPoint& to, int width);
void pencilLine(Document* document, const QPoint& from, const QPoint& to, const QColor& color);
// With Control held, a line's end snaps to the nearest 15 degrees.
QPoint angleSnap(const QPoint& start, const QPoint& point);
// With Control held, a rectangle or ellipse becomes a square or circle.
QPoint squareEndPoint(const QPoint& start, const QPoint& point);
