#pragma once
// Clearing where an ink picture was, and only there.

#include <QImage>

// Transparent image of the ink's size, opaque white wherever ink lies within
// one pixel: covers the old ink without a white box around it.
QImage whiteSilhouette(const QImage& ink);
