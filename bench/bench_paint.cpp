// Times the image editor's per-event work on a large picture (3000 x 2000,
// four layers): composing the layers (every repaint), one repaint of the
// canvas, one brush segment, a flood fill of the whole layer, and one
// tolerance step of the background removal (every slider move).
//   ulvo_bench_paint [--runs R]
#include "BenchTiming.h"
#include "paint/BackgroundRemoval.h"
#include "paint/CanvasWidget.h"
#include "paint/Document.h"
#include "paint/FillTool.h"
#include "paint/ToolDrawing.h"

#include <QApplication>
#include <QMouseEvent>

#include <cstdio>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int runs = 7;
  for (int i = 1; i + 1 < argc; ++i)
    if (QByteArray(argv[i]) == "--runs") runs = std::max(1, atoi(argv[i + 1]));

  Document document(QSize(3000, 2000));
  for (int i = 0; i < 3; ++i) {
    document.addLayer();
    drawLine(&document, QPoint(100, 100 + 400 * i), QPoint(2900, 1900 - 400 * i), Qt::darkBlue, 12);
  }
  document.layers[2]->opacity = 0.6;
  CanvasWidget canvas;
  canvas.resize(1200, 800);
  canvas.setDocument(&document);
  canvas.fitToView();

  const double merge = medianMs(runs, [&] { (void)document.mergedImage(); });
  const double repaint = medianMs(runs, [&] { (void)canvas.grab(); });
  const double segment = medianMs(runs, [&] { drawLine(&document, {500, 500}, {560, 530}, Qt::red, 8); });
  FillTool fill;
  fill.size = 8;
  int colour = 0;
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  const double flood = medianMs(runs, [&] {
    document.activeIndex = 0;
    fill.primary = QColor::fromHsv((colour += 40) % 360, 200, 200);
    fill.mousePress(&canvas, &document, &press, QPoint(1, 1));
  });
  const QImage scan = document.layers[0]->image;
  const double removal = medianMs(runs, [&] { (void)removeBackground(scan, fill.primary, 18); });
  std::printf("{\"picture\":\"3000x2000x4\",\"mergeMs\":%.1f,\"canvasRepaintMs\":%.1f,\"brushSegmentMs\":%.2f,"
              "\"floodFillMs\":%.1f,\"backgroundStepMs\":%.1f}\n",
              merge, repaint, segment, flood, removal);
  canvas.setDocument(nullptr);
  return 0;
}
