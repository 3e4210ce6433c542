#pragma once
// Fixtures and external oracles shared by the test suites.

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <utility>

class QPainter;

namespace testsupport {

// Test code waiting for a modal dialog to answer it, and test code answering
// or driving one right now; the watch for dialogs nobody answers (window
// tests) reads both. A guard counts for its lifetime.
struct DialogAttention {
  static int waiting;
  static int driving;
};
template <int* count>
struct CountedWhileAlive {
  CountedWhileAlive() { ++*count; }
  ~CountedWhileAlive() { --*count; }
};
using WaitingForDialog = CountedWhileAlive<&DialogAttention::waiting>;
using DrivingDialog = CountedWhileAlive<&DialogAttention::driving>;

QString corpusDir();
QString testDataDir();

// Runs a program to completion; returns its exit code (-1 when it could not
// start) and fills its standard output.
int runTool(const QString& program, const QStringList& args, QByteArray* output = nullptr,
            int timeoutMs = 120000);
bool hasTool(const QString& program);
// This process's peak resident memory (VmHWM, or another field such as VmRSS) in MB; -1 when unknown.
double peakResidentMb(const QByteArray& field = "VmHWM");

struct PageSpec {
  QString text;          // drawn as real text objects; empty for none
  bool drawShapes = false;  // a filled rectangle and an ellipse
  QSizeF sizePoints{595, 842};
};

// Writes a PDF with one page per entry; returns false on failure.
bool writePdf(const QString& path, const QList<PageSpec>& pages);

// Writes pages of `size` points drawn by `draw` (called once per page, from
// 0) on a 72-dots-per-inch writer without margins, in DejaVu Sans of
// `fontPoints`; returns false on failure.
bool writeDrawnPdf(const QString& path, int pageCount, QSizeF size, double fontPoints,
                   const std::function<void(QPainter&, int)>& draw);

// Mean absolute difference per channel (0..255) of two images of equal size.
double meanChannelDifference(const QImage& a, const QImage& b);
// Of the dark pixels (grey below 128) of `was`, the share still dark in
// `now`; and the pixels dark in `now` (below 100) where `was` was light.
std::pair<double, int> darkChange(const QImage& was, const QImage& now);

// One row of `pdfimages -list`.
struct PdfImageInfo {
  int page = 0;
  QString type;  // image, smask, stencil, ...
  QSize size;
  QString color;
  int bitsPerComponent = 0;
  QString encoding;  // jpeg, image (Flate or raw), ...
  int xPpi = 0;  // the image's resolution as placed on its page
  int yPpi = 0;
};
QList<PdfImageInfo> listPdfImages(const QString& pdf);

// Page sizes in points from pdfinfo, one entry per page; empty when pdfinfo fails.
QList<QSizeF> pdfPageSizes(const QString& pdf);

// A TIFF of these pictures, `samples` of `bits` each (photometric 1 grey, 2
// RGB, 5 CMYK); 8-bit grey is PackBits-packed, so huge ones stay small files.
struct TiffPicture { int width = 1, height = 1, samples = 1, bits = 8, photometric = 1; };
QByteArray tiffFile(const QList<TiffPicture>& pictures);

}  // namespace testsupport
