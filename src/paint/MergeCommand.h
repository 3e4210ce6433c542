#pragma once
// Any change of the layer stack (merges, and adding, removing or moving
// layers), recorded as the whole stack before and after.

#include <QImage>
#include <QList>
#include <QString>
#include <QUndoCommand>

#include <functional>

class Document;
class QUndoStack;

class MergeCommand : public QUndoCommand {
 public:
  struct LayerSnap {
    QString name;
    QImage image;
    bool visible = true;
    // Kept so that undoing a stack change gives back the same composite.
    double opacity = 1.0;
  };

  MergeCommand(Document* document, const QList<LayerSnap>& before, int beforeActive, const QList<LayerSnap>& after,
               int afterActive, const QString& text);
  ~MergeCommand() override;

  void undo() override;
  void redo() override;
  static void apply(Document* document, const QList<LayerSnap>& snaps, int active);

  Document* document;
  QList<LayerSnap> before;
  int beforeActive;
  QList<LayerSnap> after;
  int afterActive;
};

QList<MergeCommand::LayerSnap> snapLayers(const Document* document);

// Runs `change` on the document and records it on `stack` as one step, so
// that later undo steps, which name layers by index, never land in another
// layer. A change that leaves the stack as it was records nothing.
void recordLayerStackChange(QUndoStack* stack, Document* document, const QString& text,
                            const std::function<void()>& change);
