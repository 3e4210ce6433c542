#pragma once
// A shown image editor on a white picture at zoom 1, driven by real mouse
// events in image coordinates, with the oracles the paint tests share.

#include "paint/CanvasWidget.h"
#include "paint/Document.h"
#include "paint/FacsimilePaintHost.h"

#include <QImage>
#include <QList>
#include <QPoint>
#include <QStringList>

#include <functional>

namespace painttest {

class EditorRig {
 public:
  explicit EditorRig(const QSize& size = QSize(120, 90));

  CanvasWidget* canvas() const { return host.canvas; }
  Document* document() const { return host.document; }
  QImage layerImage(int index) const { return host.document->layers[index]->image; }
  QImage activeImage() const { return host.document->activeLayer()->image; }

  // Widget point over image pixel (x, y).
  QPoint at(const QPoint& image) const;
  // Clicks the tool bar's button of that tool.
  void chooseTool(const QString& id);
  void press(const QPoint& image, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers mods = {});
  void moveTo(const QPoint& image, Qt::KeyboardModifiers mods = {});
  void release(const QPoint& image, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers mods = {});
  // Press at the first point, move through the others, release at the last.
  void drag(const QList<QPoint>& path, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers mods = {});
  void key(Qt::Key key);
  QStringList undoTexts() const;

  FacsimilePaintHost host;
};

// Polls for a shown modal dialog and hands it to `answer` until that returns
// true (it answered).
void whenModalShows(const std::function<bool(QWidget*)>& answer);

// The state of every layer (name, visibility, pixels), bottom first; two
// states are equal when every layer is.
struct StackState {
  QStringList names;
  QList<QImage> images;
  int active = -1;
  bool operator==(const StackState& other) const;
};
StackState stackState(const Document* document);

int countPixels(const QImage& image, const std::function<bool(QRgb)>& test);

}  // namespace painttest
