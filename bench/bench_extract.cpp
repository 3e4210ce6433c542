// Times native text extraction and image-block extraction per page over a
// page range, beside pdftotext on the same pages. The median of several runs,
// as wall time and as CPU time (the latter steadier on a busy machine):
//   ulvo_bench_extract FILE [--first N] [--last N] [--runs R]
// The paired rounds count each page's first load from a document just opened.
// Figures of record: 100 pages of a LaTeX manual (gnuplot.pdf, pages 1-100)
// and 20 pages of a text-heavy manual (valgrind_manual.pdf, unpacked from
// /usr/share/doc/valgrind, pages 21-40).
#include "core/PdfDocument.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

struct Times {
  double wallMs = 0;
  double cpuMs = 0;  // this process, or the children it waited for
};

double processCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double childrenCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

Times medianTimes(int runs, bool children, const std::function<void()>& work) {
  std::vector<double> wall, cpu;
  for (int i = 0; i < runs; ++i) {
    const double cpuStart = children ? childrenCpuMs() : processCpuMs();
    QElapsedTimer timer;
    timer.start();
    work();
    wall.push_back(timer.nsecsElapsed() / 1e6);
    cpu.push_back((children ? childrenCpuMs() : processCpuMs()) - cpuStart);
  }
  return {median(wall), median(cpu)};
}

void report(const char* what, const Times& t, int pages, const QString& note) {
  std::printf("%-16s %8.2f ms/page wall %8.2f ms/page cpu  (%s)\n", what, t.wallMs / pages, t.cpuMs / pages,
              qPrintable(note));
}

}  // namespace

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
  const Times text = medianTimes(runs, false, [&] {
    blocks = 0;
    for (int p = first - 1; p < last; ++p) blocks += doc.extractText(p).size();
  });
  report("extractText", text, pages, QStringLiteral("%1 blocks").arg(blocks));

  const Times images = medianTimes(runs, false, [&] {
    blocks = 0;
    for (int p = first - 1; p < last; ++p) blocks += doc.extractImages(p).size();
  });
  report("extractImages", images, pages, QStringLiteral("%1 blocks").arg(blocks));

  // pdftotext's start-up is taken out: a run over the first page alone is
  // subtracted from the run over the whole range. Each round times both
  // tools back to back, so that a machine busy with other work weighs on
  // both alike; the figure of record is the median of the rounds' ratios.
  bool toolRan = true;
  auto poppler = [&](int from, int to) {
    QProcess tool;
    tool.start(QStringLiteral("pdftotext"),
               {"-f", QString::number(from), "-l", QString::number(to), file, QStringLiteral("/dev/null")});
    toolRan = tool.waitForFinished(600000) && tool.exitCode() == 0 && toolRan;
  };
  std::vector<double> toolCpu, toolWall, ratios, wallRatios;
  for (int r = 0; r < runs && toolRan && pages > 1; ++r) {
    // From a document just opened: every page's first load, with its check
    // in the page check worker, is counted, the worker's time too (it is
    // waited for when the document closes).
    PdfDocument fresh;
    if (!fresh.open(file)) return 1;
    const double childrenBefore = childrenCpuMs();
    Times ours = medianTimes(1, false, [&] {
      for (int p = first - 1; p < last; ++p) fresh.extractText(p);
    });
    fresh.close();
    ours.cpuMs += childrenCpuMs() - childrenBefore;
    const Times range = medianTimes(1, true, [&] { poppler(first, last); });
    const Times onePage = medianTimes(1, true, [&] { poppler(first, first); });
    const double perPage = std::max(1e-6, range.cpuMs - onePage.cpuMs) / (pages - 1);
    toolCpu.push_back(perPage);
    toolWall.push_back(std::max(0.0, range.wallMs - onePage.wallMs) / (pages - 1));
    ratios.push_back((ours.cpuMs / pages) / perPage);
    wallRatios.push_back((ours.wallMs / pages) / std::max(1e-6, toolWall.back()));
  }
  if (!toolRan) {
    std::printf("pdftotext        not available\n");
  } else if (ratios.empty()) {
    std::printf("pdftotext        needs a range of two pages or more\n");
  } else {
    std::printf("%-16s %8.2f ms/page wall %8.2f ms/page cpu  (start-up taken out)\n", "pdftotext", median(toolWall),
                median(toolCpu));
    std::printf("extractText / pdftotext: %.2fx cpu, median of %zu paired rounds (%.2fx..%.2fx)\n", median(ratios),
                ratios.size(), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));
    std::printf("extractText / pdftotext: %.2fx wall, median of the same rounds\n", median(wallRatios));
  }
  return 0;
}
