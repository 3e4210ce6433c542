#pragma once
// The picture the image editor works on: a stack of layers of one size,
// index 0 at the bottom, and the index of the active layer.

#include "Layer.h"

#include <QList>
#include <QRect>
#include <QSize>

#include <memory>

class Document {
 public:
  explicit Document(const QSize& size);

  Layer* activeLayer();
  const Layer* activeLayer() const;

  // The new layer goes on top and becomes active; an empty name numbers it.
  void addLayer(const QString& name = QString());
  void removeLayer(int index);
  void moveLayer(int from, int to);
  // The caller has clipped `rect` to the picture.
  void crop(const QRect& rect);
  void restoreState(const QSize& size, const QList<QImage>& images);
  // Visible layers bottom up, each with its opacity, over transparency.
  QImage mergedImage() const;

  int activeIndex = 0;
  QSize size;
  QList<std::shared_ptr<Layer>> layers;
};
