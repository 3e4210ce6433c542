#include "MergeCommand.h"

#include "Document.h"

#include <QUndoStack>

namespace {

bool sameStack(const QList<MergeCommand::LayerSnap>& a, const QList<MergeCommand::LayerSnap>& b) {
  if (a.size() != b.size()) return false;
  for (qsizetype i = 0; i < a.size(); ++i) {
    if (a[i].name != b[i].name || a[i].visible != b[i].visible || a[i].opacity != b[i].opacity ||
        a[i].image.cacheKey() != b[i].image.cacheKey())
      return false;
  }
  return true;
}

}  // namespace

MergeCommand::MergeCommand(Document* doc, const QList<LayerSnap>& beforeSnaps, int beforeIndex,
                           const QList<LayerSnap>& afterSnaps, int afterIndex, const QString& text)
    : QUndoCommand(text),
      document(doc),
      before(beforeSnaps),
      beforeActive(beforeIndex),
      after(afterSnaps),
      afterActive(afterIndex) {}

MergeCommand::~MergeCommand() = default;

void MergeCommand::undo() { apply(document, before, beforeActive); }
void MergeCommand::redo() { apply(document, after, afterActive); }

void MergeCommand::apply(Document* document, const QList<LayerSnap>& snaps, int active) {
  if (!document) return;
  document->layers.clear();
  for (const LayerSnap& snap : snaps) {
    auto layer = std::make_shared<Layer>(snap.name, document->size, true);
    layer->image = snap.image;
    layer->visible = snap.visible;
    layer->opacity = snap.opacity;
    document->layers.append(layer);
  }
  document->activeIndex = active;
}

QList<MergeCommand::LayerSnap> snapLayers(const Document* document) {
  QList<MergeCommand::LayerSnap> snaps;
  if (!document) return snaps;
  for (const auto& layer : document->layers)
    snaps.append(MergeCommand::LayerSnap{layer->name, layer->image, layer->visible, layer->opacity});
  return snaps;
}

void recordLayerStackChange(QUndoStack* stack, Document* document, const QString& text,
                            const std::function<void()>& change) {
  if (!document) return;
  const QList<MergeCommand::LayerSnap> before = snapLayers(document);
  const int beforeActive = document->activeIndex;
  change();
  const QList<MergeCommand::LayerSnap> after = snapLayers(document);
  if (!stack || sameStack(before, after)) return;
  stack->push(new MergeCommand(document, before, beforeActive, after, document->activeIndex, text));
}
