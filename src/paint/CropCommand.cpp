#include "CropCommand.h"

#include "Document.h"

CropCommand::CropCommand(Document* doc, const QSize& size, const QList<QImage>& images, const QRect& cropRect)
    : QUndoCommand(QStringLiteral("Обрезка")), document(doc), oldSize(size), oldImages(images), rect(cropRect) {}

CropCommand::~CropCommand() = default;

void CropCommand::undo() {
  if (document) document->restoreState(oldSize, oldImages);
}

void CropCommand::redo() {
  if (document) document->crop(rect);
}
