#pragma once
// The largest picture the editor opens. Every layer, every undo step and the
// composed view hold a full copy, so a hostile size (a PDF image claiming
// 60000 x 60000 pixels) would otherwise ask for tens of gigabytes.

#include "core/PicturePages.h"

#include <QImage>
#include <QSize>
#include <QString>

constexpr int kMaxEditorImageSide = 20000;
// What a page takes as a picture the editor opens too: a picture placed or
// stored as a facsimile can always be edited.
constexpr qint64 kMaxEditorImagePixels = kLargestImportedPicturePixels;

// Empty when the editor can take a picture of this size, else the message
// that tells the user why it refuses.
QString editorImageSizeProblem(const QSize& size);

// Reads a picture for the editor. A size read from the file's header that
// the editor cannot hold is refused before any pixel is decoded: the result
// is null and `problem` says why. An unreadable file gives a null image and
// leaves `problem` empty.
QImage readEditorImage(const QString& path, QString* problem);
