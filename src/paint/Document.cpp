#include "Document.h"

#include <QCoreApplication>
#include <QPainter>

#include <algorithm>

Document::Document(const QSize& pictureSize) : size(pictureSize) {
  layers.append(std::make_shared<Layer>(QStringLiteral("Фон"), size, false));
}

Layer* Document::activeLayer() {
  if (activeIndex < 0 || activeIndex >= layers.size()) return nullptr;
  return layers[activeIndex].get();
}

const Layer* Document::activeLayer() const {
  if (activeIndex < 0 || activeIndex >= layers.size()) return nullptr;
  return layers[activeIndex].get();
}

void Document::addLayer(const QString& name) {
  const QString layerName = name.isEmpty() ? QCoreApplication::translate("ulvo", "Слой %1").arg(layers.size() + 1) : name;
  layers.append(std::make_shared<Layer>(layerName, size, true));
  activeIndex = int(layers.size()) - 1;
}

void Document::removeLayer(int index) {
  if (layers.size() < 2 || index < 0 || index >= layers.size()) return;
  layers.removeAt(index);
  activeIndex = std::min(int(layers.size()) - 1, std::max(activeIndex, 0));
}

void Document::moveLayer(int from, int to) {
  const int count = int(layers.size());
  if (from < 0 || from >= count || to < 0 || to >= count || from == to) return;
  layers.move(from, to);
  activeIndex = to;
}

void Document::crop(const QRect& rect) {
  size = rect.size();
  for (const auto& layer : layers) layer->image = layer->image.copy(rect);
}

void Document::restoreState(const QSize& newSize, const QList<QImage>& images) {
  size = newSize;
  const qsizetype count = std::min(images.size(), layers.size());
  for (qsizetype i = 0; i < count; ++i) layers[i]->image = images[i];
}

QImage Document::mergedImage() const {
  QImage merged(size, QImage::Format_ARGB32_Premultiplied);
  merged.fill(Qt::transparent);
  QPainter painter(&merged);
  for (const auto& layer : layers) {
    if (!layer->visible) continue;
    painter.setOpacity(layer->opacity);
    painter.drawImage(0, 0, layer->image);
  }
  painter.end();
  return merged;
}
