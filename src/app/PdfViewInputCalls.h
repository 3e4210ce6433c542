#pragma once
// Calls into the page view's input layer: the hand and selection tools, the
// selected page text and new text blocks. A view built without that layer
// answers with nothing and these calls do nothing, so the window's commands
// stay safe whichever view they are linked against.

#include <QColor>
#include <QRectF>
#include <QString>

#include <concepts>

template <typename View>
void setViewHandTool(View* view, bool hand) {
  if constexpr (requires(View* v) { v->setEditTool(v->currentEditTool()); }) {
    using Tool = decltype(view->currentEditTool());
    view->setEditTool(hand ? Tool::Hand : Tool::Select);
  }
}

// 1 when the hand tool is chosen, 0 for any other tool, -1 when the view has no tools.
template <typename View>
int viewHandToolState(const View* view) {
  if constexpr (requires(const View* v) { v->currentEditTool(); }) {
    using Tool = decltype(view->currentEditTool());
    return view->currentEditTool() == Tool::Hand ? 1 : 0;
  } else {
    return -1;
  }
}

template <typename View>
QString viewSelectedPageText(const View* view) {
  if constexpr (requires(const View* v) {
                  { v->selectedPageText() } -> std::convertible_to<QString>;
                })
    return view->selectedPageText();
  else
    return {};
}

// False when the view cannot take new text blocks.
template <typename View>
bool appendViewTextBlock(View* view, int page, const QRectF& rect, const QString& text, const QString& family,
                         float size, const QColor& color) {
  if constexpr (requires(View* v) { v->appendEditableTextBlock(page, rect, text, family, size, color); }) {
    view->appendEditableTextBlock(page, rect, text, family, size, color);
    return true;
  } else {
    return false;
  }
}

// Chooses the tool that draws the area of a new text block (or, with image,
// of new images); false when the view has no such tools.
template <typename View>
bool setViewInsertTool(View* view, bool image) {
  if constexpr (requires(View* v) { v->setEditTool(v->currentEditTool()); }) {
    using Tool = decltype(view->currentEditTool());
    view->setEditTool(image ? Tool::InsertImage : Tool::InsertText);
    return true;
  } else {
    return false;
  }
}

// False when the view cannot take new image blocks.
template <typename View, typename Images>
bool appendViewImageBlocks(View* view, int page, const QRectF& rect, const Images& images) {
  if constexpr (requires(View* v) { v->appendEditableImageBlocks(page, rect, images); }) {
    view->appendEditableImageBlocks(page, rect, images);
    return true;
  } else {
    return false;
  }
}

// Lets the view hand the edits of its loaded page to the window before a new
// block on another page would drop them.
template <typename View, typename Handler>
void setViewPendingEditsHandler(View* view, Handler handler) {
  if constexpr (requires(View* v) { v->setPendingEditsHandler(handler); }) view->setPendingEditsHandler(handler);
}
