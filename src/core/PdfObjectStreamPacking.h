#pragma once
// A full rewrite by pdfium unpacks a file's object streams, so a small edit of
// a compact file (pdfTeX writes most objects into object streams) would more
// than double its size. Files that came with object streams are packed again.

#include <QByteArray>

// Whether the file keeps objects in object streams.
bool usesObjectStreams(const QByteArray& pdf);

// The same document with its objects packed into object streams and its
// streams compressed. False, leaving `packed` alone, when the input cannot be
// read without warnings or the rewrite fails.
bool packObjectStreams(const QByteArray& pdf, QByteArray* packed);
