// Times opening a PDF, reading its page metrics and rendering a page range in
// each layer. One line per figure, the median of several runs:
//   ulvo_bench_render FILE [--first N] [--last N] [--dpi D] [--runs R]
#include "BenchTiming.h"
#include "core/PdfDocument.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: %s FILE [--first N] [--last N] [--dpi D] [--runs R]\n", argv[0]);
    return 2;
  }
  const QString file = args.at(1);
  int first = 1, last = 10, runs = 5;
  double dpi = 150;
  for (int i = 2; i + 1 < args.size(); i += 2) {
    if (args[i] == "--first") first = args[i + 1].toInt();
    else if (args[i] == "--last") last = args[i + 1].toInt();
    else if (args[i] == "--dpi") dpi = args[i + 1].toDouble();
    else if (args[i] == "--runs") runs = std::max(1, args[i + 1].toInt());
  }

  PdfDocument doc;
  bool ok = true;
  const double openMs = medianMs(runs, [&] { ok = doc.open(file) && ok; });
  if (!ok) {
    std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(file), qPrintable(doc.lastError()));
    return 1;
  }
  last = std::min(last, doc.pageCount());
  first = std::max(1, first);
  const int pages = std::max(0, last - first + 1);
  std::printf("file %s pages %d range %d-%d dpi %.0f runs %d\n", qPrintable(file), doc.pageCount(), first, last,
              dpi, runs);
  std::printf("open_ms %.2f\n", openMs);
  std::printf("metrics_ms %.3f\n", medianMs(runs, [&] {
                volatile double sum = 0;
                for (int i = 0; i < doc.pageCount(); ++i) sum = sum + doc.pageSize(i).width();
              }));
  const struct {
    const char* name;
    PdfRenderLayer layer;
  } layers[] = {{"full", PdfRenderLayer::Full}, {"notext", PdfRenderLayer::NoText}, {"textonly", PdfRenderLayer::TextOnly}};
  for (const auto& l : layers) {
    const double ms = medianMs(runs, [&] {
      for (int p = first - 1; p < last; ++p) doc.renderPageLayer(p, dpi / 72.0, 0, l.layer, false);
    });
    std::printf("render_%s_ms %.1f per_page_ms %.1f\n", l.name, ms, pages ? ms / pages : 0.0);
  }
  return 0;
}
