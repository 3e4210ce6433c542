#pragma once
// The widget on which the layered picture is shown and edited: zoom and pan,
// the undo stack, the selection, the colours and size handed to the current
// tool, and the pending shape with its handles.

#include "PendingShape.h"

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QRect>
#include <QUndoStack>
#include <QWidget>

class Document;
class Tool;

class CanvasWidget : public QWidget {
  Q_OBJECT

 public:
  explicit CanvasWidget(QWidget* parent = nullptr);
  ~CanvasWidget() override;

  // ---- View and coordinates (CanvasWidget.cpp) ----
  QRect imageRectOnWidget() const;
  QPoint widgetToImage(const QPoint& p) const;
  QPointF widgetToImageF(const QPointF& p) const;
  QPoint imageToWidget(const QPoint& p) const;
  void applyZoomAt(double factor, const QPoint& widgetPos);
  void adjustOffset(const QPointF& delta);
  void fitToView();

  void setPrimaryColor(const QColor& color);
  void setSecondaryColor(const QColor& color);
  void setToolSize(int size);

  void setDocument(Document* document);
  void setSelection(const QRect& rect);
  void setSelectionPath(const QPainterPath& path);
  void clearSelection();
  void reportColorPicked(const QColor& color);

  // ---- Edits (CanvasWidgetEditing.cpp) ----
  // The one way tools record an edit of the active layer.
  void commitLayerSnapshot(const QImage& before, const QString& text);
  void commitLayerSnapshot(int layerIndex, const QImage& before, const QString& text);
  void deleteSelection();
  void cropToSelection();
  void mergeDown();
  void flattenAll();

  // ---- Pending shapes (CanvasPendingShape.cpp) ----
  void setPendingShape(const PendingShape& shape);
  bool hasPendingShape() const { return pending.kind != PendingShape::None; }
  QList<QPointF> pendingHandleWidgetPoints() const;
  int pendingHitTest(const QPoint& q) const;
  void updatePendingDrag(const QPoint& q);
  void drawPendingOverlay(QPainter& painter);
  void commitPendingShape();
  void cancelPendingShape();
  void setPendingTextFontFamily(const QString& family);
  void setPendingTextBold(bool bold);
  void setPendingTextItalic(bool italic);

  Document* document = nullptr;
  Tool* tool = nullptr;
  double zoom = 1.0;
  QPointF offset;
  QUndoStack undoStack;
  QColor primaryColor = Qt::black;
  QColor secondaryColor = Qt::white;
  int toolSize = 8;
  QPainterPath selection;

  PendingShape pending;
  int dragHandle = 0;
  QPoint dragStart;
  QRectF dragStartRect;
  QPointF dragStartP1;
  QPointF dragStartP2;
  double dragStartRotation = 0;
  bool overrideCursorSet = false;

 signals:
  void imagePositionChanged(QPoint pos);
  void zoomChanged(double zoom);
  void colorPicked(QColor color);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QPoint eventImagePoint(const QMouseEvent* event) const;
  void restoreOverrideCursor();
  void pendingPress(const QPoint& position);
  void pendingHover(const QPoint& position);
  void resetPendingShape();
};
