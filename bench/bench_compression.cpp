// Compresses real PDFs with the raster writer beside Ghostscript and reports
// output size, wall time and how far the forecast lies from the written size:
//   ulvo_bench_compression FILE... [--make-scanned SOURCE OUT PAGES]
// --make-scanned first builds a scanned-looking document from the first PAGES
// pages of SOURCE (page images at 200 dpi, slightly grey and noisy) and adds it
// to the files measured.
#include "core/PdfDocument.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

namespace {

bool writeNoisyPages(PdfDocument& doc, const QString& out, int pages) {
  QPdfWriter writer(out);
  writer.setResolution(200);
  writer.setPageMargins(QMarginsF(0, 0, 0, 0));
  QPainter painter;
  QRandomGenerator noise(7);
  for (int i = 0; i < std::min(pages, doc.pageCount()); ++i) {
    QImage image = doc.renderPage(i, 200 / 72.0, 0).convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < image.width(); ++x) {
        const int jitter = int(noise.bounded(24)) - 12;
        const int v = std::clamp(qGray(row[x]) * 236 / 255 + 8 + jitter, 0, 255);
        row[x] = qRgb(v, v, std::max(0, v - 6));
      }
    }
    writer.setPageSize(QPageSize(doc.pageSize(i), QPageSize::Point));
    if (i == 0 ? !painter.begin(&writer) : !writer.newPage()) return false;
    painter.drawImage(QRectF(0, 0, writer.width(), writer.height()), image);
  }
  return painter.end();
}

// Noisy page images, drawn losslessly by QPdfWriter and then stored as
// JPEG pages at 200 dpi, as a scanner would deliver them.
bool makeScanned(const QString& source, const QString& out, int pages) {
  PdfDocument doc;
  if (!doc.open(source)) return false;
  const QString lossless = out + QStringLiteral(".lossless.pdf");
  if (!writeNoisyPages(doc, lossless, pages)) return false;
  PdfDocument scan;
  PdfDocument::CompressionOptions options;
  options.imageDpi = 200;
  options.jpegQuality = 85;
  const bool ok = scan.open(lossless) && scan.compressTo(out, options);
  QFile::remove(lossless);
  return ok;
}

void measure(const QString& file, const QString& outDir) {
  PdfDocument doc;
  if (!doc.open(file)) {
    std::printf("%s: cannot open: %s\n", qPrintable(file), qPrintable(doc.lastError()));
    return;
  }
  std::printf("file %s pages %d size %lld\n", qPrintable(QFileInfo(file).fileName()), doc.pageCount(),
              QFileInfo(file).size());
  const struct {
    int dpi;
    int quality;
    const char* gsPreset;
  } runs[] = {{150, 55, "/ebook"}, {72, 28, "/screen"}};
  for (const auto& run : runs) {
    PdfDocument::CompressionOptions options;
    options.imageDpi = run.dpi;
    options.jpegQuality = run.quality;
    QElapsedTimer timer;
    timer.start();
    bool sampled = false;
    const qint64 forecast = doc.estimateCompressedSize(options, &sampled);
    const double forecastMs = timer.nsecsElapsed() / 1e6;
    const QString out = outDir + QStringLiteral("/ulvo-%1.pdf").arg(run.dpi);
    timer.restart();
    const bool written = doc.compressTo(out, options);
    const double writeMs = timer.nsecsElapsed() / 1e6;
    const qint64 size = written ? QFileInfo(out).size() : -1;
    std::printf("  ulvo %d dpi q%d: %lld bytes in %.0f ms; forecast %lld (%s) in %.0f ms, off by %+.2f%%\n", run.dpi,
                run.quality, size, writeMs, forecast, sampled ? "sampled" : "exact", forecastMs,
                size > 0 ? 100.0 * double(forecast - size) / double(size) : 0.0);
    if (QStandardPaths::findExecutable(QStringLiteral("gs")).isEmpty()) continue;
    const QString gsOut = outDir + QStringLiteral("/gs-%1.pdf").arg(run.dpi);
    QProcess gs;
    timer.restart();
    gs.start(QStringLiteral("gs"), {QStringLiteral("-q"), QStringLiteral("-dBATCH"), QStringLiteral("-dNOPAUSE"),
                                    QStringLiteral("-dSAFER"), QStringLiteral("-sDEVICE=pdfwrite"),
                                    QStringLiteral("-dPDFSETTINGS=%1").arg(run.gsPreset),
                                    QStringLiteral("-sOutputFile=%1").arg(gsOut), file});
    gs.waitForFinished(-1);
    std::printf("  gs %s: %lld bytes in %.0f ms\n", run.gsPreset, QFileInfo(gsOut).size(), timer.nsecsElapsed() / 1e6);
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);
  QTemporaryDir dir;
  const int make = int(args.indexOf(QStringLiteral("--make-scanned")));
  if (make >= 0 && make + 3 < args.size()) {
    const QString out = args.at(make + 2);
    if (!makeScanned(args.at(make + 1), out, args.at(make + 3).toInt())) {
      std::fprintf(stderr, "cannot make %s\n", qPrintable(out));
      return 1;
    }
    args.remove(make, 4);
    args.append(out);
  }
  if (args.isEmpty()) {
    std::fprintf(stderr, "usage: %s FILE... [--make-scanned SOURCE OUT PAGES]\n", argv[0]);
    return 2;
  }
  for (const QString& file : args) measure(file, dir.path());
  return 0;
}
