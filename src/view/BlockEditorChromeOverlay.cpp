#include "BlockEditorChromeOverlay.h"

#include "BlockEditorFrame.h"

#include <QPainter>

BlockEditorChromeOverlay::BlockEditorChromeOverlay(BlockEditorFrame* owner, QWidget* parent)
    : QWidget(parent), frame(owner) {
  setAttribute(Qt::WA_TransparentForMouseEvents, true);
  setAttribute(Qt::WA_TranslucentBackground, true);
  setAttribute(Qt::WA_NoSystemBackground, true);
  setAutoFillBackground(false);
}

void BlockEditorChromeOverlay::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // On the frame's parent the chrome is drawn in the parent's coordinates
  // shifted to this widget, which lies exactly over the frame.
  frame->paintChrome(painter);
}
