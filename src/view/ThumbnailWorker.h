#pragma once
// Renders page thumbnails on the panel's own thread, one request at a time.

#include <QImage>
#include <QObject>

class PdfDocument;

class ThumbnailWorker : public QObject {
  Q_OBJECT

public:
  explicit ThumbnailWorker(PdfDocument* document);

public slots:
  void render(int pageIndex);

signals:
  void thumbnailReady(int pageIndex, QImage image);

private:
  PdfDocument* document = nullptr;  // borrowed; the panel stops this thread before letting it go
};
