#include "TextDirection.h"

#include <cmath>
#include <numbers>

double shownAngle(const std::optional<FS_MATRIX>& matrix, const PageSpace& space) {
  if (!matrix) return std::nan("");
  const FS_MATRIX& m = *matrix;
  const QPointF origin = space.toShown(QPointF(m.e, m.f));
  const QPointF along = space.toShown(QPointF(m.e + m.a, m.f + m.b)) - origin;
  if (along.y() == 0.0 && along.x() >= 1e-6) return 0.0;  // upright, as atan2 would find
  if (std::hypot(along.x(), along.y()) < 1e-6) return std::nan("");
  double angle = std::atan2(along.y(), along.x()) * 180.0 / std::numbers::pi;
  if (angle < 0) angle += 360.0;
  const double quarter = std::round(angle / 90.0) * 90.0;
  if (std::abs(angle - quarter) < 0.5) angle = quarter;
  return angle >= 360.0 ? angle - 360.0 : angle;
}

bool sameAngle(double a, double b) {
  if (a == b) return true;  // nearly every character: no division to pay
  const double d = std::abs(std::fmod(a - b + 540.0, 360.0) - 180.0);
  return d < 1.0;
}
