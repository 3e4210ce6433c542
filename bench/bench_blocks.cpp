// Times repaints of a page whose text blocks have all been edited, so that
// the view cleans the background under every block and draws every line
// itself, with a stamp lifted off the page as ink, at 100% and 200% zoom:
// with nothing cached (fonts fitted and background cleaned on every paint),
// with the fitted fonts cached per block and line, and with the cleaning and
// ink restoration kept per block as well.
//   ulvo_bench_blocks [--blocks N] [--runs R]
#include "BenchPdf.h"
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

// The view's overlay is private; the benchmark reaches its caches the way
// the tests do.
struct PdfViewTestAccess {
  static BlockTextRenderer& renderer(PdfView& v) { return v.blockTextRenderer; }
  static void setOverlayCaching(PdfView& v, bool on) { v.overlayCachingEnabled = on; }
};

namespace {

QRectF lineRect(int i) { return QRectF(40 + (i % 2) * 270, 800 - 15.5 * (i / 2 + 1), 240, 12); }

// The original lines stand on the page, so that cleaning has glyphs to hide.
bool writePage(const QString& path, int lines) {
  QPdfWriter writer(path);
  QPainter painter;
  if (!beginA4Pdf(writer, painter)) return false;
  QFont font(QStringLiteral("DejaVu Serif"));
  font.setPixelSize(11);
  painter.setFont(font);
  for (int i = 0; i < lines; ++i) {
    const QRectF r = lineRect(i);
    painter.drawText(QPointF(r.x(), 842 - r.y() - 2), QStringLiteral("Строка %1 исходного текста договора").arg(i + 1));
  }
  return painter.end();
}

// A round stamp lifted off the page as an ink-layer image block.
TextBlock liftedStamp() {
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
  stamp.rect = stamp.originalRect = QRectF(200, 680, 180, 120);
  return stamp;
}

// Edited native lines down the page, as extraction gives them with PDF font
// names, each with its text changed.
std::vector<TextBlock> editedBlocks(int count) {
  std::vector<TextBlock> blocks;
  const QStringList families{QStringLiteral("ABCDEF+TimesNewRomanPSMT"), QStringLiteral("Arial-BoldMT"),
                             QStringLiteral("CourierNewPSMT")};
  for (int i = 0; i < count; ++i) {
    const QRectF rect = lineRect(i);
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
  if (!writePage(path, blockCount) || !doc.open(path)) {
    std::fprintf(stderr, "cannot prepare the page\n");
    return 1;
  }
  PdfView view;
  view.resize(1300, 1000);
  view.show();
  view.setDocument(&doc);
  view.setEditMode(true);
  std::vector<TextBlock> blocks = editedBlocks(blockCount);
  blocks.push_back(liftedStamp());
  view.setOcrBlocks(blocks, 0, true);
  BlockTextRenderer& renderer = PdfViewTestAccess::renderer(view);

  std::printf("repaint of a page with %d edited blocks and lifted ink, median of %d, ms\n", blockCount, runs);
  std::printf("%-6s %14s %14s %18s\n", "zoom", "nothing cached", "fonts cached", "fonts and cleaning");
  for (double zoom : {1.0, 2.0}) {
    view.setZoom(zoom);
    QElapsedTimer wait;
    wait.start();
    while (view.cachedPage(0).isNull() && wait.elapsed() < 30000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      QThread::usleep(200);
    }
    const auto timed = [&](bool fonts, bool cleaning) {
      renderer.setCachingEnabled(fonts);
      PdfViewTestAccess::setOverlayCaching(view, cleaning);
      view.viewport()->repaint();  // the first paint fills what is cached
      return medianMs(runs, [&] { view.viewport()->repaint(); });
    };
    const double none = timed(false, false);
    const double fonts = timed(true, false);
    const double both = timed(true, true);
    std::printf("%-6.0f %14.2f %14.2f %18.2f\n", zoom * 100, none, fonts, both);
  }
  return 0;
}
