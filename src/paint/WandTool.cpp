#include "WandTool.h"

#include "CanvasWidget.h"
#include "Document.h"

#include <QList>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

bool near(QRgb a, QRgb b, int tolerance) {
  return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
         std::abs(qBlue(a) - qBlue(b)) <= tolerance && std::abs(qAlpha(a) - qAlpha(b)) <= tolerance;
}

}  // namespace

void WandTool::mousePress(CanvasWidget* canvas, Document* document, QMouseEvent*, const QPoint& point) {
  const Layer* layer = document->activeLayer();
  if (!layer) return;
  const QImage image = layer->image.convertToFormat(QImage::Format_ARGB32);
  if (!image.rect().contains(point)) return;
  const int tolerance = std::clamp(2 * size, 0, 255);
  const int w = image.width();
  const int h = image.height();
  const QRgb seed = image.pixel(point);
  std::vector<bool> visited(std::size_t(w) * std::size_t(h), false);
  auto index = [w](int x, int y) { return std::size_t(y) * std::size_t(w) + std::size_t(x); };
  QList<QPoint> queue{point};
  visited[index(point.x(), point.y())] = true;
  int left = point.x(), right = point.x(), top = point.y(), bottom = point.y();
  for (qsizetype i = 0; i < queue.size(); ++i) {
    const QPoint p = queue[i];
    left = std::min(left, p.x());
    right = std::max(right, p.x());
    top = std::min(top, p.y());
    bottom = std::max(bottom, p.y());
    const QPoint neighbours[] = {{p.x() + 1, p.y()}, {p.x() - 1, p.y()}, {p.x(), p.y() + 1}, {p.x(), p.y() - 1}};
    for (const QPoint& n : neighbours) {
      if (n.x() < 0 || n.y() < 0 || n.x() >= w || n.y() >= h || visited[index(n.x(), n.y())]) continue;
      visited[index(n.x(), n.y())] = true;
      const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(n.y()));
      if (near(line[n.x()], seed, tolerance)) queue.append(n);
    }
  }
  canvas->setSelection(QRect(QPoint(left, top), QPoint(right, bottom)));
}
