// Times opening a PDF, reading its page metrics and rendering a page range in
// each layer. One line per figure, the median of several runs:
//   ulvo_bench_render FILE [--first N] [--last N] [--dpi D] [--runs R]
// The first pass over the range from a document just opened (every page's
// first load, with its check, included) is paired with raw pdfium rendering
// the same pages from the same bytes; the ratio printed is the median of the
// rounds. Figure of record: the R reference manual (package r-doc-pdf),
// pages 101-120 at 150 dpi.
#include "BenchTiming.h"
#include "core/PdfDocument.h"
#include "core/PdfiumApi.h"
#include "core/PdfiumLock.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>

#include <QDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// The largest peak resident memory of this process's page check workers
// that are running, in MB. (The kernel's account of waited-for children
// counts this process's own memory for a child started by vfork.)
double workerPeakMb() {
  double peak = 0;
  const QString self = QString::number(QCoreApplication::applicationPid());
  for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) continue;
    const QString text = QString::fromLatin1(status.readAll());
    if (!text.contains(QStringLiteral("Name:\tulvo-page-check")) || !text.contains("PPid:\t" + self + "\n")) continue;
    const qsizetype at = text.indexOf(QStringLiteral("VmHWM:"));
    if (at >= 0) peak = std::max(peak, text.mid(at + 6).section(QLatin1Char('k'), 0, 0).trimmed().toDouble() / 1024.0);
  }
  return peak;
}

}  // namespace

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
  doc.close();

  QFile input(file);
  const QByteArray bytes = input.open(QIODevice::ReadOnly) ? input.readAll() : QByteArray();
  const double scale = dpi / 72.0;
  std::vector<double> ours, raw, ratios;
  double workerPeak = 0;
  for (int r = 0; r < runs; ++r) {
    PdfDocument fresh;
    if (!fresh.open(file)) return 1;
    ours.push_back(medianMs(1, [&] {
      for (int p = first - 1; p < last; ++p) fresh.renderPage(p, scale, 0);
    }));
    workerPeak = std::max(workerPeak, workerPeakMb());
    fresh.close();
    PdfiumLock lock;
    FPDF_DOCUMENT plain = FPDF_LoadMemDocument64(bytes.constData(), size_t(bytes.size()), nullptr);
    if (!plain) return 1;
    raw.push_back(medianMs(1, [&] {
      for (int p = first - 1; p < last; ++p) {
        FPDF_PAGE page = FPDF_LoadPage(plain, p);
        if (!page) continue;
        const int w = std::max(1, int(std::ceil(FPDF_GetPageWidthF(page) * scale)));
        const int h = std::max(1, int(std::ceil(FPDF_GetPageHeightF(page) * scale)));
        FPDF_BITMAP bitmap = FPDFBitmap_Create(w, h, 1);
        FPDFBitmap_FillRect(bitmap, 0, 0, w, h, 0xFFFFFFFF);
        FPDF_RenderPageBitmap(bitmap, page, 0, 0, w, h, 0, FPDF_ANNOT | FPDF_LCD_TEXT);
        FPDFBitmap_Destroy(bitmap);
        FPDF_ClosePage(page);
      }
    }));
    FPDF_CloseDocument(plain);
    ratios.push_back(ours.back() / std::max(1e-6, raw.back()));
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  std::printf("first_pass_ms %.1f raw_pdfium_ms %.1f ratio %.3f (median of %d rounds)\n", median(ours), median(raw),
              median(ratios), runs);
  std::printf("check_worker_peak_mb %.1f\n", workerPeak);
  return 0;
}
