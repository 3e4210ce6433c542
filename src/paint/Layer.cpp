#include "Layer.h"

Layer::Layer(const QString& layerName, const QSize& size, bool transparent)
    : name(layerName), image(size, QImage::Format_ARGB32_Premultiplied) {
  image.fill(transparent ? Qt::transparent : Qt::white);
}
