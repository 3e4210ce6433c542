#pragma once
// A rectangle, ellipse, line or text that waits on the canvas, with handles,
// before it is painted into its layer.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QString>

struct PendingShape {
  enum Kind { None = 0, Rectangle = 1, Ellipse = 2, Line = 3, Text = 4 };

  int kind = None;
  QRectF rect;        // image pixels, before rotation (rectangle, ellipse, text)
  QPointF p1, p2;     // ends of a line
  double rotation = 0;  // degrees, clockwise on screen about the centre of rect
  QColor color;
  int penWidth = 1;
  QImage before;  // the layer as it was when the shape was made
  QString text;
  QFont font;
  // The layer the shape belongs to, so that choosing another layer while it
  // waits never paints it (or its saved pixels) into the wrong one. -1: the
  // active layer when the canvas receives the shape.
  int layerIndex = -1;
};

// Turns `point` by `degrees` about `centre`, in the sense of QPainter::rotate.
QPointF rotateAround(const QPointF& point, const QPointF& centre, double degrees);
