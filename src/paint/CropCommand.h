#pragma once
// Cropping every layer to one rectangle.

#include <QImage>
#include <QList>
#include <QRect>
#include <QSize>
#include <QUndoCommand>

class Document;

class CropCommand : public QUndoCommand {
 public:
  CropCommand(Document* document, const QSize& oldSize, const QList<QImage>& oldImages, const QRect& rect);
  ~CropCommand() override;

  void undo() override;
  void redo() override;

  Document* document;
  QSize oldSize;
  QList<QImage> oldImages;  // bottom first
  QRect rect;
};
