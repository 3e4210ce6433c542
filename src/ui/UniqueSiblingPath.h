#pragma once
// Names for output files beside existing ones that never overwrite anything:
// "name (1).ext", "name (2).ext", ... like a browser's repeated downloads.

#include <QString>

// The wanted path made absolute when nothing exists there, else the first free
// numbered variant in the same folder. Creates no file.
QString uniqueSiblingPathLikeChrome(const QString& path);
