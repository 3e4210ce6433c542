// Times repaints of a page in block-edit mode whose text blocks have all been
// retyped, so that every paint cleans the background under each block and
// draws its new text, with a stamp lifted off the page as ink: once redoing
// the per-pixel cleaning and ink restoration on every paint, once with them
// kept per block until the block or the zoom changes.
//   ulvo_bench_overlay [--blocks N] [--runs R]
#include "BenchTiming.h"
#include "core/PdfDocument.h"
#include "view/PdfView.h"

#include <QApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

// The view's overlay is private; the benchmark reaches its switches the way
// the tests do.
struct PdfViewTestAccess {
  static void setOverlayCaching(PdfView& v, bool on) { v.overlayCachingEnabled = on; }
  static int overlayPatchBuilds(const PdfView& v) { return v.overlayPatchBuilds; }
};

namespace {

QRectF lineRect(int i) { return QRectF(40 + (i % 2) * 270, 800 - 36.0 * (i / 2 + 1), 240, 14); }

bool writePage(const QString& path, int lines) {
  QPdfWriter writer(path);
  writer.setResolution(72);
  writer.setPageMargins(QMarginsF(0, 0, 0, 0));
  writer.setPageSize(QPageSize(QSizeF(595, 842), QPageSize::Point));
  QPainter painter;
  if (!painter.begin(&writer)) return false;
  QFont font(QStringLiteral("DejaVu Serif"));
  font.setPixelSize(12);
  painter.setFont(font);
  for (int i = 0; i < lines; ++i) {
    const QRectF r = lineRect(i);
    painter.drawText(QPointF(r.x(), 842 - r.y() - 3), QStringLiteral("Строка %1 исходного текста договора").arg(i + 1));
  }
  return painter.end();
}

std::vector<TextBlock> retypedBlocks(int count) {
  std::vector<TextBlock> blocks;
  for (int i = 0; i < count; ++i) {
    TextBlock::Line line;
    line.text = QStringLiteral("Строка %1 исходного текста договора").arg(i + 1);
    line.rect = lineRect(i);
    line.fontSize = 12.0f;
    line.fontFamily = QStringLiteral("DejaVuSerif");
    TextBlock::Line::Span span;
    span.text = line.text;
    span.fontSize = line.fontSize;
    span.fontFamily = line.fontFamily;
    line.spans.push_back(span);
    TextBlock block;
    block.text = QStringLiteral("Строка %1 после правки пользователем").arg(i + 1);
    block.rect = block.originalRect = line.rect;
    block.fontSize = line.fontSize;
    block.fontFamily = line.fontFamily;
    block.lines.push_back(line);
    blocks.push_back(block);
  }
  QImage ink(240, 160, QImage::Format_ARGB32);
  ink.fill(Qt::transparent);
  QPainter p(&ink);
  p.setPen(QPen(QColor(30, 60, 200), 8));
  p.drawEllipse(QRect(10, 10, 220, 140));
  p.end();
  TextBlock stamp;
  stamp.isImage = true;
  stamp.inkLayer = true;
  stamp.image = ink;
  stamp.rect = stamp.originalRect = QRectF(200, 640, 180, 120);
  blocks.push_back(stamp);
  return blocks;
}

}  // namespace

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  int blockCount = 20;
  int runs = 15;
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == "--blocks" && i + 1 < args.size()) blockCount = std::max(1, args[++i].toInt());
    else if (args[i] == "--runs" && i + 1 < args.size()) runs = std::max(1, args[++i].toInt());
  }

  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("page.pdf"));
  PdfDocument doc;
  if (!writePage(path, blockCount) || !doc.open(path)) {
    std::fprintf(stderr, "cannot prepare the page\n");
    return 1;
  }
  PdfView view;
  view.resize(1300, 1000);
  view.show();
  view.setDocument(&doc);
  view.setEditMode(true);
  view.setOcrBlocks(retypedBlocks(blockCount), 0, true);

  std::printf("repaint of a page with %d retyped blocks and lifted ink, median of %d, ms\n", blockCount, runs);
  std::printf("%-6s %18s %18s\n", "zoom", "clean every paint", "cached per block");
  for (double zoom : {1.0, 2.0}) {
    view.setZoom(zoom);
    QElapsedTimer wait;
    wait.start();
    while (view.cachedPage(0).isNull() && wait.elapsed() < 30000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      QThread::usleep(200);
    }
    view.viewport()->repaint();  // fonts fitted once for both columns
    PdfViewTestAccess::setOverlayCaching(view, false);
    const double uncached = medianMs(runs, [&] { view.viewport()->repaint(); });
    PdfViewTestAccess::setOverlayCaching(view, true);
    view.viewport()->repaint();  // the first paint fills the caches
    const int builds = PdfViewTestAccess::overlayPatchBuilds(view);
    const double cached = medianMs(runs, [&] { view.viewport()->repaint(); });
    if (PdfViewTestAccess::overlayPatchBuilds(view) != builds) std::fprintf(stderr, "cache missed while idle\n");
    std::printf("%-6.0f %18.2f %18.2f\n", zoom * 100, uncached, cached);
  }
  return 0;
}
