// Times the work after a scan of one A4 page at 300 dpi (2480 x 3508): the
// frame conversion of 8- and 16-bit colour data, the post-processing with the
// switches a first start turns on, and writing the page PDF.
//   ulvo_bench_scan [--runs R]
#include "BenchTiming.h"
#include "scan/ScanFrame.h"
#include "scan/ScanPostProcess.h"
#include "scan/ScannedPagePdf.h"

#include <sane/sane.h>

#include <QFile>
#include <QGuiApplication>
#include <QPainter>

#include <cstdio>

namespace {

QImage skewedTextPage() {
  QImage page(2480, 3508, QImage::Format_RGB888);
  page.fill(Qt::white);
  QPainter painter(&page);
  painter.translate(1240, 1754);
  painter.rotate(2);
  painter.translate(-1240, -1754);
  for (int y = 300; y < 3200; y += 60) painter.fillRect(QRect(250, y, 1980, 24), QColor(30, 30, 30));
  painter.end();
  page.setDotsPerMeterX(11811);
  page.setDotsPerMeterY(11811);
  return page;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  int runs = 5;
  const QStringList args = app.arguments();
  if (const qsizetype i = args.indexOf(QStringLiteral("--runs")); i >= 0 && i + 1 < args.size())
    runs = std::max(1, args[i + 1].toInt());

  const QImage page = skewedTextPage();
  const QByteArray rgb8(reinterpret_cast<const char*>(page.constBits()), page.sizeInBytes());
  const ScanFrame frame8{SANE_FRAME_RGB, int(page.bytesPerLine()), page.width(), 8, rgb8};
  const ScanFrame frame16{SANE_FRAME_RGB, page.width() * 6, page.width(), 16,
                          QByteArray(qsizetype(page.width()) * 6 * page.height(), '\x7f')};
  QString error;
  std::printf("frame conversion, 8-bit colour:  %8.1f ms\n",
              medianMs(runs, [&] { imageFromScanFrames({frame8}, &error); }));
  std::printf("frame conversion, 16-bit colour: %8.1f ms\n",
              medianMs(runs, [&] { imageFromScanFrames({frame16}, &error); }));

  ScanParams firstStart;
  firstStart.skew = firstStart.noiseRemove = firstStart.autoBright = firstStart.autoContrast = true;
  firstStart.denoise = firstStart.textEnhance = true;
  std::printf("post-processing, first-start switches: %8.1f ms\n",
              medianMs(runs, [&] { applyPostProcess(page, firstStart); }));
  std::printf("  of which deskew: %8.1f ms\n", medianMs(runs, [&] { scanfilter::deskew(page); }));
  std::printf("page PDF: %8.1f ms\n", medianMs(runs, [&] {
                const QString path = writeScannedPagePdf(page, &error);
                QFile::remove(path);
              }));
  return 0;
}
