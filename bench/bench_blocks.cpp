// Times repaints of a page whose text blocks have all been edited, so that
// the view draws every line itself, at 100% and 200% zoom: once fitting the
// line fonts on every paint (the cache switched off) and once with the
// fitted fonts cached per block and line.
//   ulvo_bench_blocks [--blocks N] [--runs R]
#include "BenchTiming.h"
#include "core/PdfDocument.h"
#include "view/PdfView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

// The view's overlay is private; the benchmark reaches its font cache the
// way the tests do.
struct PdfViewTestAccess {
  static BlockTextRenderer& renderer(PdfView& v) { return v.blockTextRenderer; }
};

namespace {

bool writePage(const QString& path) {
  QPdfWriter writer(path);
  writer.setResolution(72);
  writer.setPageMargins(QMarginsF(0, 0, 0, 0));
  writer.setPageSize(QPageSize(QSizeF(595, 842), QPageSize::Point));
  QPainter painter;
  if (!painter.begin(&writer)) return false;
  painter.drawText(QPointF(40, 40), QStringLiteral("Edited page"));
  return painter.end();
}

// Edited native lines down the page, as extraction gives them with PDF font
// names, each with its text changed.
std::vector<TextBlock> editedBlocks(int count) {
  std::vector<TextBlock> blocks;
  const QStringList families{QStringLiteral("ABCDEF+TimesNewRomanPSMT"), QStringLiteral("Arial-BoldMT"),
                             QStringLiteral("CourierNewPSMT")};
  for (int i = 0; i < count; ++i) {
    const QRectF rect(40 + (i % 2) * 270, 800 - 15.5 * (i / 2 + 1), 240, 12);
    TextBlock::Line line;
    line.text = QStringLiteral("Строка %1 исходного текста договора").arg(i + 1);
    line.rect = rect;
    line.fontSize = 11.0f;
    line.fontFamily = families[i % families.size()];
    TextBlock::Line::Span span;
    span.text = line.text;
    span.fontSize = line.fontSize;
    span.fontFamily = line.fontFamily;
    line.spans.push_back(span);
    TextBlock block;
    block.text = QStringLiteral("Строка %1 после правки пользователем").arg(i + 1);
    block.rect = block.originalRect = rect;
    block.fontSize = line.fontSize;
    block.fontFamily = line.fontFamily;
    block.lines.push_back(line);
    blocks.push_back(block);
  }
  return blocks;
}

}  // namespace

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  int blockCount = 50;
  int runs = 15;
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == "--blocks" && i + 1 < args.size()) blockCount = std::max(1, args[++i].toInt());
    else if (args[i] == "--runs" && i + 1 < args.size()) runs = std::max(1, args[++i].toInt());
  }

  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("page.pdf"));
  PdfDocument doc;
  if (!writePage(path) || !doc.open(path)) {
    std::fprintf(stderr, "cannot prepare the page\n");
    return 1;
  }
  PdfView view;
  view.resize(1300, 1000);
  view.show();
  view.setDocument(&doc);
  view.setEditMode(true);
  view.setOcrBlocks(editedBlocks(blockCount), 0, true);
  BlockTextRenderer& renderer = PdfViewTestAccess::renderer(view);

  std::printf("repaint of a page with %d edited blocks, median of %d, ms\n", blockCount, runs);
  std::printf("%-6s %14s %14s\n", "zoom", "fit per paint", "cached fits");
  for (double zoom : {1.0, 2.0}) {
    view.setZoom(zoom);
    QElapsedTimer wait;
    wait.start();
    while (view.cachedPage(0).isNull() && wait.elapsed() < 30000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      QThread::usleep(200);
    }
    renderer.setCachingEnabled(false);
    const double uncached = medianMs(runs, [&] { view.viewport()->repaint(); });
    renderer.setCachingEnabled(true);
    view.viewport()->repaint();  // the first paint fits and fills the cache
    const double cached = medianMs(runs, [&] { view.viewport()->repaint(); });
    std::printf("%-6.0f %14.2f %14.2f\n", zoom * 100, uncached, cached);
  }
  return 0;
}
