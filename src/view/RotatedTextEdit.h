#pragma once
// The rich-text editor of a block: an ordinary QTextEdit that can show its
// document turned by an angle inside a content rectangle of its viewport and
// maps pointer input back through the turn, so that clicks and drags land on
// the turned characters. It paints the document itself (selection and caret
// included) so that the turn applies to everything; the page view may
// suppress that painting and draw the text on its own.

#include <QTextEdit>

class RotatedTextEdit : public QTextEdit {
  Q_OBJECT

public:
  explicit RotatedTextEdit(QWidget* parent = nullptr);
  ~RotatedTextEdit() override;

  void setRotationAngle(double degrees);
  double rotation() const { return rotationAngle; }
  void setPaintContentRect(const QRect& rect);
  QRect contentPaintRect() const { return paintContentRect; }
  void setPaintingSuppressed(bool suppressed);
  bool isPaintingSuppressed() const { return paintingSuppressed; }
  bool isRotated() const;
  QRect effectiveContentRect() const;
  // A viewport position to a position in the unturned document, relative to
  // the top-left corner of the content rectangle.
  QPointF mapFromRotatedViewport(const QPointF& viewportPos) const;

protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

private:
  void forwardMappedMouseEvent(QMouseEvent* event);

  double rotationAngle = 0.0;
  QRect paintContentRect;
  bool paintingSuppressed = false;
};
