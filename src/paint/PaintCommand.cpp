#include "PaintCommand.h"

#include "Document.h"

namespace {

void assign(Document* document, int index, const QImage& image) {
  if (!document || index < 0 || index >= document->layers.size()) return;
  document->layers[index]->image = image;
}

}  // namespace

PaintCommand::PaintCommand(Document* doc, int index, const QImage& beforeImage, const QImage& afterImage,
                           const QString& text)
    : QUndoCommand(text), document(doc), layerIndex(index), before(beforeImage), after(afterImage) {}

PaintCommand::~PaintCommand() = default;

void PaintCommand::undo() { assign(document, layerIndex, before); }
void PaintCommand::redo() { assign(document, layerIndex, after); }
