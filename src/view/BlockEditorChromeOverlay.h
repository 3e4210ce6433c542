#pragma once
// Paints the chrome of a BlockEditorFrame (outline, handles, rotate handle)
// from a sibling widget above the editor, so the editor never covers it.

#include <QWidget>

class BlockEditorFrame;

class BlockEditorChromeOverlay : public QWidget {
public:
  BlockEditorChromeOverlay(BlockEditorFrame* frame, QWidget* parent);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  BlockEditorFrame* frame;
};
