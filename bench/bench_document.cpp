// Times the whole-document reading and writing operations: text of every
// page, search on every page, the outline, and saving. One line per figure,
// the median of several runs:
//   ulvo_bench_document FILE [--word W] [--runs R]
#include "BenchTiming.h"
#include "core/PdfDocument.h"
#include "core/TextBlock.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QRandomGenerator>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: %s FILE [--word W] [--runs R]\n", argv[0]);
    return 2;
  }
  QString word = QStringLiteral("the");
  int runs = 5;
  for (int i = 2; i + 1 < args.size(); i += 2) {
    if (args[i] == "--word") word = args[i + 1];
    else if (args[i] == "--runs") runs = std::max(1, args[i + 1].toInt());
  }
  QTemporaryDir dir;
  const QString copy = dir.filePath("copy.pdf");
  if (!dir.isValid() || !QFile::copy(args.at(1), copy)) {
    std::fprintf(stderr, "cannot copy %s\n", qPrintable(args.at(1)));
    return 1;
  }
  PdfDocument doc;
  if (!doc.open(copy)) {
    std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(args.at(1)), qPrintable(doc.lastError()));
    return 1;
  }
  const int pages = doc.pageCount();
  std::printf("file %s pages %d word %s runs %d\n", qPrintable(args.at(1)), pages, qPrintable(word), runs);

  qsizetype chars = 0;
  std::printf("all_text_ms %.1f\n", medianMs(runs, [&] { chars = doc.extractAllTextAllPages().size(); }));
  std::printf("all_text_chars %lld\n", static_cast<long long>(chars));
  const struct {
    const char* name;
    PdfDocument::FindOptions options;
  } searches[] = {{"plain", {}}, {"whole_word", {false, true, false}}, {"expression", {false, false, true}}};
  for (const auto& s : searches) {
    qsizetype hits = 0;
    const double ms = medianMs(runs, [&] {
      hits = 0;
      for (int p = 0; p < pages; ++p) hits += doc.findTextWithOptions(p, word, s.options).size();
    });
    std::printf("search_%s_ms %.1f hits %lld\n", s.name, ms, static_cast<long long>(hits));
  }
  std::printf("outline_ms %.2f\n", medianMs(runs, [&] { doc.outline(); }));

  // One edited line written back: the first write embeds a font subset,
  // later ones reuse it.
  for (int p = 0; p < pages; ++p) {
    std::vector<TextBlock> blocks = doc.extractText(p);
    auto line = std::find_if(blocks.begin(), blocks.end(),
                             [](const TextBlock& b) { return !b.isImage && b.text.size() >= 40; });
    if (line == blocks.end()) continue;
    line->text = QStringLiteral("An edited line of the document, written back in place");
    line->textEdited = true;
    std::printf("edit_line_first_ms %.1f page %d\n", medianMs(1, [&] { doc.overlayOcrText(p, blocks, false); }), p);
    std::printf("edit_line_ms %.1f\n", medianMs(runs, [&] { doc.overlayOcrText(p, blocks, false); }));
    break;
  }
  std::printf("save_copy_ms %.1f\n", medianMs(runs, [&] { doc.saveCopy(dir.filePath("out.pdf")); }));
  std::printf("save_in_place_ms %.1f\n", medianMs(runs, [&] { doc.save(copy); }));

  // A facsimile of 7600 x 7000 pixels placed 40 mm wide on the first page:
  // writing it into the page, saving, and what the file grew by.
  // Scanned: the paper's grain under the ink, as a photographed signature has.
  QImage facsimile(7600, 7000, QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < facsimile.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(facsimile.scanLine(y));
    for (int x = 0; x < facsimile.width(); ++x) {
      const int grain = 235 + int(QRandomGenerator::global()->bounded(20));
      row[x] = qRgb(grain, grain, grain - 5);
    }
  }
  {
    QPainter ink(&facsimile);
    ink.setPen(QPen(QColor(20, 40, 160), 60));
    for (int stroke = 0; stroke < 12; ++stroke)
      ink.drawLine(400 + stroke * 500, 6000 - stroke * 300, 1200 + stroke * 450, 800 + stroke * 350);
  }
  TextBlock placed;
  placed.text = QStringLiteral("[image]");
  placed.isImage = true;
  placed.page = 0;
  placed.rect = QRectF(60, 60, 40 / 25.4 * 72, 40 / 25.4 * 72 * 7000 / 7600);
  placed.image = facsimile;
  const qint64 before = QFileInfo(copy).size();
  std::printf("place_facsimile_ms %.1f\n", medianMs(1, [&] { doc.overlayOcrText(0, {placed}, false); }));
  std::printf("save_with_facsimile_ms %.1f\n", medianMs(1, [&] { doc.save(copy); }));
  std::printf("facsimile_grew_bytes %lld\n", static_cast<long long>(QFileInfo(copy).size() - before));
  return 0;
}
