// Times native text extraction and image-block extraction per page over a
// page range, beside pdftotext on the same pages. The median of several runs:
//   ulvo_bench_extract FILE [--first N] [--last N] [--runs R]
// Figures of record: 100 pages of a LaTeX manual (gnuplot.pdf, pages 1-100)
// and 20 pages of a text-heavy manual (valgrind_manual.pdf, unpacked from
// /usr/share/doc/valgrind, pages 21-40).
#include "BenchTiming.h"
#include "core/PdfDocument.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: %s FILE [--first N] [--last N] [--runs R]\n", argv[0]);
    return 2;
  }
  const QString file = args.at(1);
  int first = 1, last = 50, runs = 3;
  for (int i = 2; i + 1 < args.size(); i += 2) {
    if (args[i] == "--first") first = args[i + 1].toInt();
    else if (args[i] == "--last") last = args[i + 1].toInt();
    else if (args[i] == "--runs") runs = std::max(1, args[i + 1].toInt());
  }
  PdfDocument doc;
  if (!doc.open(file)) {
    std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(file), qPrintable(doc.lastError()));
    return 1;
  }
  first = std::max(1, first);
  last = std::min(last, doc.pageCount());
  const int pages = std::max(1, last - first + 1);
  std::printf("file %s pages %d range %d-%d runs %d\n", qPrintable(file), doc.pageCount(), first, last, runs);

  size_t blocks = 0;
  const double textMs = medianMs(runs, [&] {
    blocks = 0;
    for (int p = first - 1; p < last; ++p) blocks += doc.extractText(p).size();
  });
  std::printf("extractText      %8.2f ms/page  (%zu blocks)\n", textMs / pages, blocks);

  const double imageMs = medianMs(runs, [&] {
    blocks = 0;
    for (int p = first - 1; p < last; ++p) blocks += doc.extractImages(p).size();
  });
  std::printf("extractImages    %8.2f ms/page  (%zu blocks)\n", imageMs / pages, blocks);

  // pdftotext's start-up is taken out: one run over the first page alone is
  // subtracted from the run over the whole range.
  bool toolRan = true;
  auto popplerRangeMs = [&](int from, int to) {
    return medianMs(runs, [&] {
      QProcess tool;
      tool.start(QStringLiteral("pdftotext"),
                 {"-f", QString::number(from), "-l", QString::number(to), file, QStringLiteral("/dev/null")});
      toolRan = tool.waitForFinished(600000) && tool.exitCode() == 0 && toolRan;
    });
  };
  const double rangeMs = popplerRangeMs(first, last);
  const double onePageMs = popplerRangeMs(first, first);
  if (!toolRan)
    std::printf("pdftotext        not available\n");
  else if (pages > 1)
    std::printf("pdftotext        %8.2f ms/page  (start-up %.2f ms taken out)\n",
                std::max(0.0, rangeMs - onePageMs) / (pages - 1), onePageMs);
  else
    std::printf("pdftotext        %8.2f ms/page  (start-up included: one page)\n", rangeMs);
  return 0;
}
