#pragma once
// Turning points and angles, and moving blocks, the way the block editor
// and its frame do.

#include "core/TextBlock.h"

#include <QPointF>

#include <cmath>
#include <numbers>

// p turned about centre by degrees (clockwise on screen, y down); angles
// below a tenth of a degree count as none.
inline QPointF rotatePoint(QPointF p, QPointF centre, double degrees) {
  if (std::abs(degrees) < 0.1) return p;
  const double radians = degrees * std::numbers::pi / 180.0;
  const double c = std::cos(radians);
  const double s = std::sin(radians);
  const double dx = p.x() - centre.x();
  const double dy = p.y() - centre.y();
  return QPointF(centre.x() + dx * c - dy * s, centre.y() + dx * s + dy * c);
}

// An angle brought into (-180, 180] by steps of 360.
inline double normalizedAngle(double degrees) {
  if (!std::isfinite(degrees)) return 0.0;
  degrees = std::fmod(degrees, 360.0);
  if (degrees > 180.0) degrees -= 360.0;
  if (degrees <= -180.0) degrees += 360.0;
  return degrees;
}

// A block moved with its lines and words, in points.
inline void translateBlock(TextBlock& block, const QPointF& delta) {
  block.rect.translate(delta);
  for (TextBlock::Line& line : block.lines) {
    line.rect.translate(delta);
    for (TextBlock::Line::Word& word : line.words) word.rect.translate(delta);
  }
}
