#pragma once
// The layer panel: the layers top first with visibility, name and thumbnail,
// and buttons to add, delete, raise, lower and merge them.

#include <QDockWidget>

#include <functional>

class Document;
class QListWidget;
class QListWidgetItem;
class QUndoStack;

class LayersDock : public QDockWidget {
  Q_OBJECT

 public:
  explicit LayersDock(QWidget* parent = nullptr);
  ~LayersDock() override;

  void setDocument(Document* document);
  // With a stack, adding, deleting and moving layers are undo steps, so that
  // the canvas's pixel steps keep naming the layers they were made on.
  void setUndoStack(QUndoStack* stack);

  Document* document = nullptr;
  QListWidget* list = nullptr;

 public slots:
  void refresh();

 signals:
  // Emitted before the dock changes the layer stack, so a waiting shape can
  // be painted into its own layer first.
  void aboutToChangeLayers();
  void changed();
  void mergeDownRequested();
  void flattenRequested();

 private:
  int selectedLayerIndex() const;
  void changeStack(const QString& text, const std::function<void()>& change);
  void onCurrentRowChanged(int row);
  void onItemChanged(QListWidgetItem* item);

  QUndoStack* undoStack = nullptr;
};
