#pragma once
// The pages a multi-page TIFF becomes, read without pdfium and so on any
// thread: each readable picture is one page at the given resolution, all in
// one PDF made in memory; a picture that cannot be read is left out and
// named. Time grows with the pictures and their bytes, never with the square
// of their number; memory holds one decoded picture and the PDF.

#include <QByteArray>
#include <QString>
#include <QStringList>

// At most this many pictures of one file become pages; the rest are named.
inline constexpr int kMostImportedPictures = 10000;
// A picture of more pixels (8192 x 8192) is not decoded; the image reader
// may take up to four bytes a pixel for one within it.
inline constexpr qint64 kLargestImportedPicturePixels = qint64(8192) * 8192;
inline constexpr int kLargestDecodedPictureMegabytes = int(kLargestImportedPicturePixels * 4 >> 20);
// The PDF made of a file's pictures stops growing past this.
inline constexpr qint64 kLargestPicturePagesPdf = qint64(1) << 30;

struct PicturePages {
  QByteArray pdf;       // one page per picture read; empty when none was
  int pages = 0;
  QStringList skipped;  // a line per picture left out (or per run of them): which, and why
  QString error;        // why there is no page at all
};

// `bytes` is the whole TIFF file (classic or BigTIFF).
PicturePages readTiffPages(const QByteArray& bytes, double dpi);

// The TIFF file at `path` read (up to 1 GB) and made into pages as above.
PicturePages readTiffFile(const QString& path, double dpi);
