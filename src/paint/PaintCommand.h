#pragma once
// One change of one layer's pixels.

#include <QImage>
#include <QUndoCommand>

class Document;

class PaintCommand : public QUndoCommand {
 public:
  PaintCommand(Document* document, int layerIndex, const QImage& before, const QImage& after, const QString& text);
  ~PaintCommand() override;

  void undo() override;
  void redo() override;

  Document* document;
  int layerIndex;
  QImage before;
  QImage after;
};
