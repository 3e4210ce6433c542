#pragma once
// The image streams of a document read by qpdf, found again from what pdfium
// draws by their raw (still encoded) bytes, so that a compressed copy can swap
// the data of a stream and leave every page's content as it was.
//
// A stream may be swapped only when nothing else can tell: it shows no part of
// the page through it (no mask of any kind), and every reference to it is an
// XObject resource of a page or of a form the pages reach. The images pdfium
// finds on the pages are then all the places it is drawn; one that is also a
// pattern's, a glyph's, an annotation's or another image's mask stays as it is.

#include <QByteArray>
#include <QHash>
#include <QSize>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <vector>

struct ImageStreamGroup {
  std::vector<QPDFObjectHandle> streams;  // every image stream holding these bytes
  qsizetype rawSize = 0;
  // All of them alike and each one free to be swapped.
  bool replaceable = false;
};

// Streams deeper in nested forms than this are left alone.
constexpr int kMaxImageFormDepth = 8;

// The key under which an image's raw stream data is found.
QByteArray imageStreamKey(const QByteArray& raw);

// Every image stream of `pdf`, by imageStreamKey. qpdf's exceptions reach the caller.
QHash<QByteArray, ImageStreamGroup> collectImageStreams(QPDF& pdf);

// Makes `jpeg`, of `size` pixels, the data of every stream of the group.
void replaceWithJpeg(ImageStreamGroup& group, const QByteArray& jpeg, QSize size, bool grey);
