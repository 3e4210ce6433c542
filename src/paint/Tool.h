#pragma once
// A paint tool: turns the canvas's mouse events into edits of the active
// layer, selections or view changes. Tools never push undo steps themselves;
// they hand the canvas the layer as it was (CanvasWidget::commitLayerSnapshot).

#include <QColor>
#include <QCursor>
#include <QPoint>
#include <QString>

class CanvasWidget;
class Document;
class QMouseEvent;

class Tool {
 public:
  virtual ~Tool() = default;
  virtual QString name() const = 0;
  virtual QCursor cursor() const { return QCursor(Qt::CrossCursor); }
  virtual void mousePress(CanvasWidget*, Document*, QMouseEvent*, const QPoint&) {}
  virtual void mouseMove(CanvasWidget*, Document*, QMouseEvent*, const QPoint&) {}
  virtual void mouseRelease(CanvasWidget*, Document*, QMouseEvent*, const QPoint&) {}
  virtual void setPrimaryColor(const QColor& color) { primary = color; }
  virtual void setSecondaryColor(const QColor& color) { secondary = color; }
  virtual void setSize(int value) { size = value; }
  virtual bool wantsCropOnEnter() const { return false; }

  QColor primary = Qt::black;
  QColor secondary = Qt::white;
  int size = 8;
};
