#include "ImageSizeLimit.h"

#include <QImageReader>

QString editorImageSizeProblem(const QSize& size) {
  const qint64 pixels = qint64(size.width()) * qint64(size.height());
  if (size.width() <= kMaxEditorImageSide && size.height() <= kMaxEditorImageSide && pixels <= kMaxEditorImagePixels)
    return QString();
  return QStringLiteral("Изображение слишком большое для редактора: %1 × %2 пикселей. "
                        "Редактор открывает изображения не больше %3 пикселей по стороне и не больше %4 мегапикселей.")
      .arg(size.width())
      .arg(size.height())
      .arg(kMaxEditorImageSide)
      .arg(kMaxEditorImagePixels >> 20);
}

QImage readEditorImage(const QString& path, QString* problem) {
  if (problem) problem->clear();
  QImageReader reader(path);
  const QString refusal = editorImageSizeProblem(reader.size());
  if (!refusal.isEmpty()) {
    if (problem) *problem = refusal;
    return QImage();
  }
  return reader.read();
}
