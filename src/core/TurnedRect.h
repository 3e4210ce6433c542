#pragma once
// A turned block keeps its unturned box in `rect` and shows it turned
// clockwise, as the reader sees it, by its rotation about the box's centre.
// These map such boxes in the page's space (y upwards).

#include <QPointF>
#include <QRectF>
#include <QTransform>

#include <cmath>

// Turns points clockwise as shown by `degrees` about `centre`, y upwards.
inline QTransform turnAbout(const QPointF& centre, double degrees) {
  if (std::abs(degrees) < 0.1) return QTransform();
  return QTransform().translate(centre.x(), centre.y()).rotate(-degrees).translate(-centre.x(), -centre.y());
}

// The upright rectangle that holds `rect` turned about `centre`.
inline QRectF turnedBounds(const QRectF& rect, double degrees, const QPointF& centre) {
  if (std::abs(degrees) < 0.1) return rect;
  return turnAbout(centre, degrees).mapRect(rect);
}

inline QRectF turnedBounds(const QRectF& rect, double degrees) { return turnedBounds(rect, degrees, rect.center()); }
