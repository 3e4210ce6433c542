// Times the page view on a long document: from setDocument to the first
// painted page, a jump to the last page (layout and paint, then the page's
// image painted), repaints and hit tests at both ends, and the thumbnail
// panel's set-up. Without FILE it writes a PDF of --pages pages (default 2400)
// with text on every page and mixed page sizes.
//   ulvo_bench_view [FILE] [--pages N] [--runs R]
#include "BenchPdf.h"
#include "BenchTiming.h"
#include "core/PdfDocument.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

bool writeLongDocument(const QString& path, int pages) {
  QPdfWriter writer(path);
  QPainter painter;
  if (!beginA4Pdf(writer, painter)) return false;
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSizeF(11);
  painter.setFont(font);
  for (int page = 0; page < pages; ++page) {
    if (page > 0) {
      // Every tenth page lies landscape, like inserted tables.
      writer.setPageSize(QPageSize(page % 10 == 0 ? QSizeF(842, 595) : QSizeF(595, 842), QPageSize::Point));
      if (!writer.newPage()) return false;
    }
    painter.drawText(QPointF(60, 60), QStringLiteral("Страница %1 из %2").arg(page + 1).arg(pages));
    for (int line = 0; line < 30; ++line)
      painter.drawText(QPointF(60, 100 + 18 * line),
                       QStringLiteral("Строка %1: текст для проверки скорости отрисовки длинного документа.")
                           .arg(line + 1));
    painter.fillRect(QRectF(60, 680, 200, 80), QColor(30, 90, 200));
  }
  return painter.end();
}

// Lets the event loop run until the page's image is cached, then paints.
double untilPagePainted(PdfView& view, int page) {
  QElapsedTimer timer;
  timer.start();
  while (view.cachedPage(page).isNull()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (timer.elapsed() > 60000) return -1;
    QThread::usleep(200);
  }
  view.viewport()->repaint();
  return timer.nsecsElapsed() / 1e6;
}

}  // namespace

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  QString file;
  int pages = 2400;
  int runs = 5;
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == "--pages" && i + 1 < args.size()) pages = std::max(1, args[++i].toInt());
    else if (args[i] == "--runs" && i + 1 < args.size()) runs = std::max(1, args[++i].toInt());
    else if (!args[i].startsWith("--")) file = args[i];
  }
  QTemporaryDir dir;
  if (file.isEmpty()) {
    file = dir.filePath(QStringLiteral("long.pdf"));
    QElapsedTimer timer;
    timer.start();
    if (!writeLongDocument(file, pages)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
      return 1;
    }
    std::printf("wrote %d pages in %.0f ms\n", pages, timer.nsecsElapsed() / 1e6);
  }

  PdfDocument doc;
  if (!doc.open(file)) {
    std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(file), qPrintable(doc.lastError()));
    return 1;
  }
  const int last = doc.pageCount() - 1;
  std::printf("file %s pages %d runs %d\n", qPrintable(file), doc.pageCount(), runs);

  PdfView view;
  view.resize(1200, 900);
  view.show();
  QCoreApplication::processEvents();

  std::printf("set_document_to_first_paint_ms %.1f\n", medianMs(runs, [&] {
                view.setDocument(nullptr);
                view.setDocument(&doc);
                untilPagePainted(view, 0);
              }));
  std::printf("repaint_at_start_ms %.3f\n", medianMs(runs * 4, [&] { view.viewport()->repaint(); }));
  std::printf("jump_to_last_layout_and_paint_ms %.3f\n", medianMs(runs, [&] {
                view.setCurrentPage(0);
                view.invalidatePageCache();  // a new layout, as after a zoom
                view.setCurrentPage(last);
                view.viewport()->repaint();
              }));
  std::printf("jump_to_last_until_painted_ms %.1f\n", medianMs(runs, [&] {
                view.setCurrentPage(0);
                view.invalidatePageCache();
                view.setCurrentPage(last);
                untilPagePainted(view, last);
              }));
  std::printf("repaint_at_end_ms %.3f\n", medianMs(runs * 4, [&] { view.viewport()->repaint(); }));
  std::printf("zoom_change_relayout_ms %.3f\n", medianMs(runs, [&] {
                view.setZoom(view.zoomFactor() > 1.0 ? 0.8 : 1.2);
                view.viewport()->repaint();
              }));
  const QPoint middle(view.viewport()->width() / 2, view.viewport()->height() / 2);
  std::printf("hit_test_at_end_us %.3f\n", medianMs(runs, [&] {
                volatile int sink = 0;
                for (int i = 0; i < 10000; ++i) sink = sink + view.pageAtPoint(middle) + view.dominantVisiblePage();
              }) * 1000.0 / 10000);

  PageThumbnailPanel panel;
  panel.resize(170, 900);
  panel.show();
  std::printf("thumbnail_panel_set_document_ms %.1f\n", medianMs(runs, [&] {
                panel.setDocument(nullptr);
                panel.setDocument(&doc);
                QCoreApplication::processEvents();
              }));
  panel.releaseDocument(&doc);
  view.releaseDocument(&doc);
  return 0;
}
