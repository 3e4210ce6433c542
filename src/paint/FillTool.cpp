#include "FillTool.h"

#include "CanvasWidget.h"
#include "Document.h"

#include <QList>

void FillTool::mousePress(CanvasWidget* canvas, Document* document, QMouseEvent*, const QPoint& point) {
  Layer* layer = document->activeLayer();
  if (!layer || !layer->image.rect().contains(point)) return;
  QImage& image = layer->image;
  const QRgb target = image.pixel(point);
  const QRgb fill = primary.rgba();
  if (fill == target) return;
  before = image.copy();
  if (image.format() != QImage::Format_ARGB32_Premultiplied)
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  // Stored values compare exactly like QImage::pixel's: unpremultiplying is
  // one-to-one for a given alpha. Marking a pixel when it is queued keeps the
  // queue no longer than the region.
  const QRgb rawTarget = reinterpret_cast<const QRgb*>(image.constScanLine(point.y()))[point.x()];
  const QRgb rawFill = qPremultiply(fill);
  const int w = image.width();
  const int h = image.height();
  QList<QPoint> queue;
  auto visit = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= w || y >= h) return;
    QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    if (line[x] != rawTarget) return;
    line[x] = rawFill;
    queue.append(QPoint(x, y));
  };
  visit(point.x(), point.y());
  for (qsizetype i = 0; i < queue.size(); ++i) {
    const QPoint p = queue[i];
    visit(p.x() + 1, p.y());
    visit(p.x() - 1, p.y());
    visit(p.x(), p.y() + 1);
    visit(p.x(), p.y() - 1);
  }
  canvas->commitLayerSnapshot(before, QStringLiteral("Заливка"));
  canvas->update();
}
