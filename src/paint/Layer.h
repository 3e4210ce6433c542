#pragma once
// One raster layer of the image editor's document.

#include <QImage>
#include <QSize>
#include <QString>

class Layer {
 public:
  Layer(const QString& name, const QSize& size, bool transparent);

  QString name;
  QImage image;  // Format_ARGB32_Premultiplied, of the document's size
  bool visible = true;
  double opacity = 1.0;
};
