// The canvas's editing operations that are not tools: recording layer
// edits, deleting and cropping to the selection, merging layers.
#include "CanvasWidget.h"

#include "CropCommand.h"
#include "Document.h"
#include "MergeCommand.h"
#include "PaintCommand.h"

#include <QPainter>

void CanvasWidget::commitLayerSnapshot(const QImage& before, const QString& text) {
  if (!document) return;
  commitLayerSnapshot(document->activeIndex, before, text);
}

void CanvasWidget::commitLayerSnapshot(int layerIndex, const QImage& before, const QString& text) {
  if (!document || layerIndex < 0 || layerIndex >= document->layers.size()) return;
  const QImage current = document->layers[layerIndex]->image;
  if (before == current) return;
  undoStack.push(new PaintCommand(document, layerIndex, before, current, text));
}

void CanvasWidget::deleteSelection() {
  if (selection.isEmpty() || !document) return;
  Layer* layer = document->activeLayer();
  if (!layer) return;
  const QImage before = layer->image.copy();
  QPainter painter(&layer->image);
  painter.setCompositionMode(QPainter::CompositionMode_Clear);
  painter.fillPath(selection, QBrush(Qt::black, Qt::SolidPattern));
  painter.end();
  commitLayerSnapshot(before, QStringLiteral("Удаление выделения"));
  update();
}

// A waiting shape belongs to a layer by index, so it is painted in before
// the layer stack or the picture's size changes under it.
void CanvasWidget::cropToSelection() {
  if (!document || selection.isEmpty()) return;
  commitPendingShape();
  const QRect r = selection.boundingRect().toRect().intersected(QRect(QPoint(0, 0), document->size));
  if (r.right() < r.left() || r.bottom() < r.top()) return;
  QList<QImage> images;
  for (const auto& layer : document->layers) images.append(layer->image);
  undoStack.push(new CropCommand(document, document->size, images, r));
  selection = QPainterPath();
  offset = QPointF(0, 0);
  emit zoomChanged(zoom);
  update();
}

void CanvasWidget::mergeDown() {
  if (!document) return;
  const int a = document->activeIndex;
  if (a < 1 || a >= document->layers.size()) return;
  commitPendingShape();
  const QList<MergeCommand::LayerSnap> before = snapLayers(document);
  QImage merged = document->layers[a - 1]->image.copy();
  {
    QPainter painter(&merged);
    painter.setOpacity(document->layers[a]->opacity);
    painter.drawImage(0, 0, document->layers[a]->image);
  }
  QList<MergeCommand::LayerSnap> after;
  for (int i = 0; i < document->layers.size(); ++i) {
    if (i == a) continue;
    MergeCommand::LayerSnap snap = before[i];
    if (i == a - 1) snap.image = merged;
    after.append(snap);
  }
  undoStack.push(new MergeCommand(document, before, a, after, a - 1, QStringLiteral("Объединить с нижним")));
  emit zoomChanged(zoom);
  update();
}

void CanvasWidget::flattenAll() {
  if (!document || document->layers.size() < 2) return;
  commitPendingShape();
  const QList<MergeCommand::LayerSnap> before = snapLayers(document);
  const QList<MergeCommand::LayerSnap> after{
      MergeCommand::LayerSnap{document->layers.first()->name, document->mergedImage(), true, 1.0}};
  undoStack.push(new MergeCommand(document, before, document->activeIndex, after, 0,
                                  QStringLiteral("Объединить все слои")));
  emit zoomChanged(zoom);
  update();
}
