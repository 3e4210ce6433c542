#pragma once
// Turning a plain background transparent: every pixel whose stored red,
// green and blue each lie within `tolerance` of `color` becomes fully
// transparent; the rest stay as they were. No flood fill, no feathering.

#include <QColor>
#include <QImage>

QImage removeBackground(const QImage& source, const QColor& color, int tolerance);
