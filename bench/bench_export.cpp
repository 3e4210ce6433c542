// Both exports of the export dialogs on a real document beside Ghostscript:
//   ulvo_bench_export FILE [ULVO_BINARY [OUT_DIR]]
// the compressed export at the middle stage (150 dpi, quality 55, as the
// "Среднее сжатие" stage writes it) against gs /ebook, the scanned-look
// export at its default settings (200 dpi, grey) and in colour, and, when the program is
// given, the time the dialog's target-size fit takes to forecast its table.
// The written files stay in OUT_DIR when one is given.
#include "ScannedPdfWriter.h"
#include "core/PdfDocument.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void report(const char* what, const QString& path, double ms) {
  std::printf("  %-34s %10lld bytes in %8.0f ms\n", what, QFileInfo(path).size(), ms);
}

}  // namespace

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  if (args.isEmpty()) {
    std::fprintf(stderr, "usage: %s FILE [ULVO_BINARY [OUT_DIR]]\n", argv[0]);
    return 2;
  }
  const QString file = args.first();
  PdfDocument doc;
  if (!doc.open(file)) {
    std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(file), qPrintable(doc.lastError()));
    return 1;
  }
  QTemporaryDir temporary;
  const QDir dir(args.size() > 2 ? args.at(2) : temporary.path());
  std::printf("file %s pages %d size %lld\n", qPrintable(QFileInfo(file).fileName()), doc.pageCount(),
              QFileInfo(file).size());
  QElapsedTimer timer;

  if (args.size() > 1 && !args.at(1).isEmpty()) {
    QProcess fit;
    timer.start();
    fit.start(args.at(1), {QStringLiteral("--ulvo-compression-fit"), file, QStringLiteral("10485760")});
    fit.waitForFinished(-1);
    std::printf("  %-34s %27.0f ms (exit %d)\n", "fit of the 15-row table", timer.nsecsElapsed() / 1e6, fit.exitCode());
  }

  const QString compressed = dir.filePath(QStringLiteral("compressed.pdf"));
  PdfDocument::CompressionOptions options;  // the middle stage
  timer.start();
  if (!doc.compressTo(compressed, options))
    std::printf("  compressed export failed: %s\n", qPrintable(doc.lastError()));
  report("compressed export 150 dpi q55", compressed, timer.nsecsElapsed() / 1e6);

  const QString scanned = dir.filePath(QStringLiteral("scanned.pdf"));
  ScannedPdfPages pages;
  pages.count = doc.pageCount();
  pages.sizeInPoints = [&doc](int page) { return doc.pageSize(page); };
  pages.render = [&doc](int page, double scale) { return doc.renderPage(page, scale, 0); };
  QString error;
  timer.start();
  if (writeScannedPdf(scanned, ScannedPdfExportOptions(), pages, &error) != 0)
    std::printf("  scanned export failed: %s\n", qPrintable(error));
  report("scanned-look export 200 dpi grey", scanned, timer.nsecsElapsed() / 1e6);
  ScannedPdfExportOptions colour;
  colour.grayscale = false;
  const QString scannedColour = dir.filePath(QStringLiteral("scanned-colour.pdf"));
  timer.start();
  if (writeScannedPdf(scannedColour, colour, pages, &error) != 0)
    std::printf("  scanned export failed: %s\n", qPrintable(error));
  report("scanned-look export 200 dpi colour", scannedColour, timer.nsecsElapsed() / 1e6);

  if (!QStandardPaths::findExecutable(QStringLiteral("gs")).isEmpty()) {
    const QString gsOut = dir.filePath(QStringLiteral("gs-ebook.pdf"));
    QProcess gs;
    timer.start();
    gs.start(QStringLiteral("gs"),
             {QStringLiteral("-q"), QStringLiteral("-dBATCH"), QStringLiteral("-dNOPAUSE"), QStringLiteral("-dSAFER"),
              QStringLiteral("-sDEVICE=pdfwrite"), QStringLiteral("-dPDFSETTINGS=/ebook"),
              QStringLiteral("-sOutputFile=%1").arg(gsOut), file});
    gs.waitForFinished(-1);
    report("gs /ebook", gsOut, timer.nsecsElapsed() / 1e6);
  }
  return 0;
}
