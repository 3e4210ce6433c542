#pragma once
// The widget laid over the active block: hosts the block's text editor in a
// content rectangle, draws the editing chrome (dashed outline, eight resize
// handles, a rotate handle above the top edge) and turns drags on that chrome
// into moves, resizes and rotations, reported by signals. Coordinates are
// integer pixels, frame-local unless said otherwise; screen rectangles are in
// the parent's coordinates.

#include <QPointer>
#include <QRect>
#include <QWidget>

class BlockEditorChromeOverlay;
class QPainter;
class RotatedTextEdit;

class BlockEditorFrame : public QWidget {
  Q_OBJECT

public:
  enum class Hit : int {
    None = 0,
    Move = 1,
    Rotate = 2,
    Top = 3,
    Bottom = 4,
    Right = 5,
    Left = 6,
    TopRight = 7,
    TopLeft = 8,
    BottomRight = 9,
    BottomLeft = 10,
  };

  explicit BlockEditorFrame(QWidget* parent = nullptr);
  ~BlockEditorFrame() override;

  RotatedTextEdit* textEditor() const { return editor; }
  QRect contentRect() const;
  QRect contentScreenRect() const;
  void setContentScreenRect(const QRect& rect);
  QRect outerRectForContentRect(const QRect& content) const;
  void setContentRectOverride(const QRect& rect);
  void setRotationAngle(double degrees);
  void setImageMode(bool on);
  bool isImageMode() const { return imageMode; }
  void setTextPaintingSuppressed(bool suppressed);
  double visualRotationAngle() const { return rotationAngle; }
  void setPlaceholderText(const QString& text);
  void layoutEditor();
  void syncChromeOverlay();
  void raiseChromeOverlay() { syncChromeOverlay(); }

  QRect handleRect(Hit hit) const;
  QRect rotationHandleRect() const;
  Hit hitTest(const QPoint& local) const;

  bool beginInteraction(const QPoint& local, const QPoint& global, bool allowMove);
  void updateInteraction(const QPoint& global, Qt::KeyboardModifiers modifiers);
  void endInteraction(const QPoint& local);
  bool isInteracting() const { return activeHit != Hit::None; }

  // For the view's own mouse handling; positions in the parent's coordinates.
  bool externalHandleAt(const QPoint& parentPos) const;
  bool beginExternalInteraction(const QPoint& parentPos, const QPoint& global);
  void updateExternalInteraction(const QPoint& global, Qt::KeyboardModifiers modifiers);
  void endExternalInteraction(const QPoint& parentPos);

  double pointerAngleDegrees(const QPoint& global) const;
  void paintChrome(QPainter& painter) const;

signals:
  void rectChanged(QRect rect);
  void rotationChanged(double degrees);
  void interactionStarted();
  void interactionFinished();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

private:
  QPoint contentCentre() const;
  void updateCursorForHit(Hit hit);
  void applyEditorRotation();

  RotatedTextEdit* editor = nullptr;
  QPointer<BlockEditorChromeOverlay> chromeOverlay;
  bool imageMode = false;
  bool textPaintingSuppressed = false;
  double rotationAngle = 0.0;
  QRect contentRectOverride;
  Hit activeHit = Hit::None;
  QPoint pressGlobalPos;
  QRect startContentScreenRect;
  double startRotationAngle = 0.0;
  double startPointerAngle = 0.0;
};
