#pragma once
// The direction text runs in on the shown page, and the frame that turns it
// to run left to right. Extraction cuts lines along it; search puts the hits
// of text that does not run upright into the order it is read in.

#include "PageSpace.h"
#include "PdfiumApi.h"

#include <QTransform>

#include <optional>

// Coordinates turned so that text running at `angle` (degrees counter-
// clockwise) on the shown page runs left to right; the shown page is the
// frame of angle 0.
inline QTransform readingFrame(double angle) { return QTransform().rotate(-angle); }

// The direction of a character's baseline on the shown page, from its text
// matrix; NaN when pdfium gives no usable matrix. Angles within half a degree
// of a quarter turn are taken as that quarter turn, so that their frames map
// boxes exactly.
double shownAngle(const std::optional<FS_MATRIX>& matrix, const PageSpace& space);

// Two directions within a degree of each other.
bool sameAngle(double a, double b);
