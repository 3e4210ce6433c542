// Times one mouse move of a text selection drag on a dense page (80 lines
// of small text): with the page's selectable lines cached, as the view runs,
// and with the cache dropped before every move, as each move cost before.
//   ulvo_bench_selection [--runs R]
#include "BenchPdf.h"
#include "BenchTiming.h"
#include "core/PdfDocument.h"
#include "view/PdfView.h"

#include <QApplication>
#include <QFont>
#include <QMouseEvent>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <cstdio>

namespace {

bool writeDensePage(const QString& path) {
  QPdfWriter writer(path);
  QPainter painter;
  if (!beginA4Pdf(writer, painter)) return false;
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSizeF(7);
  painter.setFont(font);
  for (int line = 0; line < 80; ++line)
    painter.drawText(QPointF(30, 30 + 9.8 * line),
                     QStringLiteral("%1. Плотная строка текста для проверки выделения мышью, слово за словом, до края.")
                         .arg(line + 1));
  return painter.end();
}

void move(PdfView& view, const QPoint& p) {
  QMouseEvent event(QEvent::MouseMove, QPointF(p), view.viewport()->mapToGlobal(QPointF(p)), Qt::NoButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view.viewport(), &event);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int runs = 40;
  const QStringList args = app.arguments();
  if (const qsizetype i = args.indexOf(QStringLiteral("--runs")); i >= 0 && i + 1 < args.size())
    runs = std::max(1, args[i + 1].toInt());

  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("dense.pdf"));
  PdfDocument doc;
  if (!writeDensePage(path) || !doc.open(path)) {
    std::fprintf(stderr, "could not write or open the dense page\n");
    return 1;
  }
  PdfView view;
  view.resize(900, 1000);
  view.show();
  view.setDocument(&doc);
  view.setZoom(1.0);

  const QPoint start = view.viewportPointForPageTopPoint(0, {32, 26});
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(start), view.viewport()->mapToGlobal(QPointF(start)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view.viewport(), &press);
  int step = 0;
  auto nextPoint = [&] {
    ++step;
    return view.viewportPointForPageTopPoint(0, {60.0 + (step * 37) % 480, 40.0 + (step * 53) % 700});
  };
  const double cached = medianMs(runs, [&] { move(view, nextPoint()); });
  const double uncached = medianMs(runs, [&] {
    view.invalidateSelectableTextCache();
    move(view, nextPoint());
  });
  std::printf("text-selection mouse move on a dense page (80 lines), median of %d:\n", runs);
  std::printf("  lines extracted on every move: %8.3f ms\n", uncached);
  std::printf("  lines cached per page:         %8.3f ms\n", cached);
  return 0;
}
