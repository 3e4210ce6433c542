// Blocks leaving and entering the loaded page: deleted and cut blocks leave
// an empty block at their old place so that the page loses their content,
// a block dropped on another page is written there, cut or copied blocks are
// pasted back, and the active block's body is dragged or opened for typing.
#include "PdfView.h"

#include "BlockClipboardText.h"
#include "BlockEditorFrame.h"
#include "BlockGeometry.h"
#include "BlockTextRenderer.h"
#include "EditedTextDocument.h"
#include "EditedTextPreview.h"
#include "RotatedTextEdit.h"
#include "core/EditedLineFit.h"
#include "core/InkSilhouette.h"
#include "core/TurnedRect.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextCursor>

#include <algorithm>
#include <cmath>

namespace {

bool realRect(const QRectF& r) { return r.width() > 0 && r.height() > 0; }

// An empty block over the old place of a page's block: the write-back takes
// away what the page drew there and writes nothing in its stead.
TextBlock removalOf(const TextBlock& block) {
  TextBlock removal;
  removal.page = block.page;
  removal.originalRect = block.originalRect;
  removal.originalRotation = block.originalRotation;
  removal.rotation = block.originalRotation;
  removal.textEdited = true;
  if (block.isImage) {
    // No place of its own: only the cover over the old one is written.
    removal.isImage = true;
    removal.inkLayer = block.inkLayer;
    removal.image = block.image;
  } else {
    removal.rect = block.originalRect;
  }
  return removal;
}

// A block as new content of a page: no place of its own there, written where
// it stands, hiding nothing of that page's own blocks when deleted again.
TextBlock asPlacedBlock(TextBlock block, int page) {
  block.page = page;
  block.originalRect = QRectF();
  if (!block.isImage) block.textEdited = true;
  block.originalRotation = block.rotation;
  return block;
}

float writtenSize(const TextBlock::Line& line, const TextBlock& block) {
  if (line.fontSize > 0.5f) return line.fontSize;
  return block.fontSize > 0.5f ? block.fontSize : 10.0f;
}

}  // namespace

bool PdfView::blockCameFromPage(const TextBlock& block) const {
  return realRect(block.originalRect) && !placedBlockPlaces.contains(block.originalRect);
}

void PdfView::rememberRemovedBlock(const TextBlock& block) {
  if (blockCameFromPage(block)) removedOcrBlocks.push_back(removalOf(block));
}

std::vector<TextBlock> PdfView::ocrBlocksToWrite() const {
  std::vector<TextBlock> blocks = ocrBlocksWithEdits();
  blocks.insert(blocks.end(), removedOcrBlocks.begin(), removedOcrBlocks.end());
  return blocks;
}

void PdfView::paintRemovedBlocks(QPainter& painter, const PageGeometry& g, const QImage& pageImage) {
  if (g.page != ocrBlocksPage) return;
  if (removedPatches.size() > removedOcrBlocks.size()) removedPatches.resize(removedOcrBlocks.size());
  for (std::size_t i = 0; i < removedOcrBlocks.size(); ++i) {
    const TextBlock& removed = removedOcrBlocks[i];
    const QRectF was = turnedBounds(removed.originalRect, removed.originalRotation);
    const QRectF place = mappedPageRect(g, was);
    if (removed.isImage && removed.inkLayer && !removed.image.isNull()) {
      QImage& mask = removedInkMasks[removed.image.cacheKey()];
      if (mask.isNull()) mask = whiteSilhouette(removed.image);
      painter.drawImage(place, mask);
    } else if (removed.isImage) {
      painter.fillRect(place.adjusted(-1, -1, 1, 1), Qt::white);
    } else if (!isInvisibleTextBlock(removed)) {
      // Deleted text is taken out of the page, not covered: what lies under it shows.
      if (removedPatches.size() <= i) removedPatches.resize(i + 1);
      paintCleanedBackground(painter, g, pageImage, was, &removedPatches[i]);
    }
  }
}

// A block dropped with its centre on another page belongs to that page; one
// dropped beside every page would be written off its page, so it goes back.
void PdfView::settleActiveBlockPage() {
  if (!document || !blockEditorFrame || !isValidBlockIndex(activeOcrBlock) || ocrBlocksPage < 0) return;
  const QPoint centre = blockEditorFrame->contentScreenRect().center();
  const int target = pageAtPoint(centre);
  if (target == ocrBlocksPage || (isValidPage(target) && moveActiveBlockToPage(target))) return;
  const QRectF page = pdfRectToScreenRect(ocrBlocksPage, QRectF(QPointF(0, 0), document->pageSize(ocrBlocksPage)));
  if (target < 0 && page.contains(centre)) return;
  if (!undoStack.empty()) {
    EditSnapshot before = std::move(undoStack.back());
    undoStack.pop_back();
    restoreEditSnapshot(before);
    emitUndoRedoAvailability();
  }
}

bool PdfView::moveActiveBlockToPage(int target) {
  const int index = activeOcrBlock;
  const int source = ocrBlocksPage;
  deactivateOcrBlock();
  TextBlock moved = ocrBlocks[static_cast<std::size_t>(index)];
  keepBaselinesForAnotherPlace(moved, source);
  // Where the block shows on the target page, in that page's points.
  const QRectF onScreen = pdfRectToScreenRect(source, moved.rect);
  const QRectF top = pageTopToViewport(target).inverted().mapRect(onScreen);
  const double targetHeight = document->pageSize(target).height();
  translateBlock(moved, QPointF(top.x(), targetHeight - top.y() - top.height()) - moved.rect.topLeft());

  std::vector<TextBlock> written;
  for (int i = 0; i < static_cast<int>(ocrBlocks.size()); ++i)
    if (i != index) written.push_back(ocrBlocks[static_cast<std::size_t>(i)]);
  written.insert(written.end(), removedOcrBlocks.begin(), removedOcrBlocks.end());
  if (blockCameFromPage(moved)) written.push_back(removalOf(ocrBlocks[static_cast<std::size_t>(index)]));
  // The old page is written now: the overlay holds one page at a time.
  if (!written.empty() && (!pendingEditsHandler || !pendingEditsHandler(source, written))) return false;

  clearOcrBlocks();
  ocrBlocksPage = target;
  ocrBlocks.push_back(asPlacedBlock(moved, target));
  ocrBlockGroupIds.assign(ocrBlocks.size(), 0);
  selectOcrBlock(0, false);
  if (editMode) activateOcrBlock(0);
  markOcrBlocksDirty();
  viewport()->update();
  return true;
}

// A line written where its page has nothing of it is placed by the lower
// edge of its box; the box is set so that the baseline keeps the place it
// had in the box on its own page.
void PdfView::keepBaselinesForAnotherPlace(TextBlock& block, int page) const {
  const QRectF& was = block.originalRect;
  if (!document || !blockCameFromPage(block) || !block.richTextHtml.trimmed().isEmpty() ||
      std::abs(block.rotation) >= 0.1 || std::abs(block.originalRotation) >= 0.1 ||
      std::abs(block.rect.width() - was.width()) >= 0.25 || std::abs(block.rect.height() - was.height()) >= 0.25)
    return;
  const QPointF shift = block.rect.topLeft() - was.topLeft();
  std::vector<QRectF> places;
  for (const TextBlock::Line& line : block.lines) places.push_back(line.rect.translated(-shift));
  const std::vector<double> baselines = document->textBaselines(page, places);
  for (std::size_t j = 0; j < places.size() && j < baselines.size(); ++j) {
    if (std::isnan(baselines[j])) continue;
    TextBlock::Line& line = block.lines[j];
    line.rect.translate(0, baselines[j] - places[j].y() - 0.12 * writtenSize(line, block));
  }
}

bool PdfView::hasPastableBlocks() const {
  return !blockClipboard.empty() && QGuiApplication::clipboard()->text(QClipboard::Clipboard) == blockClipboardText;
}

bool PdfView::pasteOcrBlocks() {
  if (!document || !hasPastableBlocks()) return false;
  int page = pastePage;
  if (!isValidPage(page)) page = ocrBlocksPage >= 0 ? ocrBlocksPage : currentPage;
  if (!isValidPage(page)) return false;
  if (!prepareOverlayForPage(page)) return false;
  pushUndoSnapshot(QStringLiteral("Вставка блоков"), true);
  switchOverlayToPage(page);
  deactivateOcrBlock();

  QRectF bounds;
  for (const TextBlock& block : blockClipboard) bounds = bounds.united(block.rect);
  QPointF delta;
  const QSizeF pageSize = document->pageSize(page);
  if (pastePage == page) {
    // The top-left corner of what was cut goes to the clicked place.
    const QPointF corner(pastePoint.x(), pageSize.height() - pastePoint.y());
    delta = corner - QPointF(bounds.left(), bounds.bottom());
  }
  // Kept inside the page, its left and upper edges first when it is the
  // larger (y grows upwards: bottom() is the upper edge).
  const QRectF placed = bounds.translated(delta);
  delta.rx() += std::max(std::min(pageSize.width() - placed.right(), 0.0), -placed.left());
  delta.ry() += std::min(std::max(-placed.top(), 0.0), pageSize.height() - placed.bottom());
  selectedOcrBlocks.clear();
  ocrBlockGroupIds.resize(ocrBlocks.size(), 0);
  for (TextBlock block : blockClipboard) {
    translateBlock(block, delta);
    ocrBlocks.push_back(asPlacedBlock(block, page));
    ocrBlockGroupIds.push_back(0);
    selectedOcrBlocks.insert(static_cast<int>(ocrBlocks.size()) - 1);
  }
  pastePage = -1;
  markOcrBlocksDirty();
  viewport()->update();
  emit ocrBlocksPasted(page, static_cast<int>(blockClipboard.size()));
  return true;
}

// The editor's position whose insertion point the view's preview shows
// nearest to a point of the editor: the editor's own layout is never painted
// and differs from the preview, so it must not place the caret.
int PdfView::previewPositionForEditorPoint(const QPoint& editorViewportPos) const {
  QTextEdit* editor = activeTextEditor();
  if (!editor || !blockEditorFrame || !isValidBlockIndex(activeOcrBlock)) return -1;
  QRectF r;
  const TextBlock shown = activeShownBlock(&r);
  QPointF p = editor->viewport()->mapTo(viewport(), editorViewportPos);
  if (std::abs(shown.rotation) >= 0.1) p = rotatePoint(p, r.center(), -shown.rotation);
  int position = previewPositionAt(editor->toPlainText(), shown, p, r, zoom, pageTextColumn(ocrBlocks));
  if (position < 0) position = editor->cursorForPosition(editorViewportPos).position();
  return std::clamp(position, 0, std::max(editor->document()->characterCount() - 1, 0));
}

TextBlock PdfView::activeShownBlock(QRectF* screenRect) const {
  QTextEdit* editor = activeTextEditor();
  TextBlock shown = ocrBlocks[static_cast<std::size_t>(activeOcrBlock)];
  if (editor && !(shown.textEdited && blockHasRichTextPreview(shown))) shown.text = editor->toPlainText();
  const QRect content = blockEditorFrame ? blockEditorFrame->contentScreenRect() : QRect();
  *screenRect = content.isValid() ? QRectF(content) : pdfRectToScreenRect(ocrBlocksPage, shown.rect);
  return shown;
}

QRectF PdfView::shownTextScreenRect(int i) const {
  const TextBlock& b = ocrBlocks[static_cast<std::size_t>(i)];
  const QRectF box = QRectF(ocrBlockScreenRect(i));
  if (b.isImage || std::abs(b.rotation) >= 0.1) return box;
  QTextEdit* editor = i == activeOcrBlock ? activeTextEditor() : nullptr;
  if (editor) {
    QRectF r;
    const TextBlock shown = activeShownBlock(&r);
    return previewLinesRect(editor->toPlainText(), shown, r, zoom, pageTextColumn(ocrBlocks)) | box;
  }
  if (!blockTextEdited(b)) return box;
  return previewLinesRect(b.text, b, pdfRectToScreenRect(ocrBlocksPage, b.rect), zoom, pageTextColumn(ocrBlocks)) | box;
}

// A press on the active block's typed words where they reach past its frame
// goes to the block as a press inside the frame would: it places the caret
// there, or opens the block with the caret there.
bool PdfView::forwardToActiveEditor(QMouseEvent* event) {
  QTextEdit* editor = activeTextEditor();
  if (!editor || !blockEditorFrame || !blockEditorFrame->isVisible() || !isValidBlockIndex(activeOcrBlock)) return false;
  const QEvent::Type type = event->type();
  const QPoint position = event->position().toPoint();
  if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
    if (event->button() != Qt::LeftButton || blockEditorFrame->geometry().contains(position) ||
        !shownTextScreenRect(activeOcrBlock).contains(position))
      return false;
    editorTakesPointer = true;
  } else if (!editorTakesPointer) {
    return false;
  }
  if (type == QEvent::MouseButtonRelease) editorTakesPointer = false;
  QMouseEvent mapped(type, editor->viewport()->mapFrom(viewport(), event->position()), event->globalPosition(),
                     event->button(), event->buttons(), event->modifiers());
  handleActiveEditorEvent(editor->viewport(), &mapped);
  return true;
}

void PdfView::openActiveBlockForTyping(const QPoint& editorViewportPos, bool placeCaret) {
  QTextEdit* editor = activeTextEditor();
  if (!editor) return;
  blockOpenForTyping = true;
  if (placeCaret) {
    QTextCursor cursor(editor->document());
    cursor.setPosition(previewPositionForEditorPoint(editorViewportPos));
    editor->setTextCursor(cursor);
  }
  editor->setFocus(Qt::MouseFocusReason);
  viewport()->update();
}

// A block open for typing: the pointer places the caret and selects by the
// preview's layout; the frame's handles stay the frame's.
bool PdfView::handleOpenEditorMouse(QWidget* watched, QMouseEvent* mouse) {
  QTextEdit* editor = activeTextEditor();
  if (!editor) return false;
  const QEvent::Type type = mouse->type();
  const QPoint pos = mouse->position().toPoint();
  if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
    if (mouse->button() != Qt::LeftButton) return false;
    const BlockEditorFrame::Hit hit = blockEditorFrame->hitTest(watched->mapTo(blockEditorFrame, pos));
    if (hit != BlockEditorFrame::Hit::Move && hit != BlockEditorFrame::Hit::None) return false;
    QTextCursor cursor = editor->textCursor();
    const int position = previewPositionForEditorPoint(pos);
    if (type == QEvent::MouseButtonDblClick) {
      cursor.setPosition(position);
      cursor.select(QTextCursor::WordUnderCursor);
    } else {
      cursor.setPosition(position, (mouse->modifiers() & Qt::ShiftModifier) ? QTextCursor::KeepAnchor
                                                                             : QTextCursor::MoveAnchor);
    }
    editor->setTextCursor(cursor);
    editor->setFocus(Qt::MouseFocusReason);
    textPointerHeld = true;
    viewport()->update();
    return true;
  }
  if (!textPointerHeld) return false;
  if (type == QEvent::MouseMove && (mouse->buttons() & Qt::LeftButton)) {
    QTextCursor cursor = editor->textCursor();
    cursor.setPosition(previewPositionForEditorPoint(pos), QTextCursor::KeepAnchor);
    editor->setTextCursor(cursor);
    viewport()->update();
    return true;
  }
  if (type == QEvent::MouseButtonRelease) {
    textPointerHeld = false;
    return true;
  }
  return false;
}

// Events of the active block's editor before the editor and its frame see
// them: a selected block is not yet open for typing, so Delete removes it and
// its body moves it; a click into it opens it with the caret there. A right
// click anywhere on it brings the block menu, never the editor's own.
bool PdfView::handleActiveEditorEvent(QObject* watched, QEvent* event) {
  RotatedTextEdit* editor = blockEditorFrame ? blockEditorFrame->textEditor() : nullptr;
  if (!editor || (watched != editor && watched != editor->viewport())) return false;
  auto* widget = static_cast<QWidget*>(watched);
  const QEvent::Type type = event->type();
  // The block menu opens on the right press; the context-menu event that the
  // platform sends after it (even once the menu closed the editor) must not
  // open the editor's own menu as well.
  if (type == QEvent::ContextMenu) return true;
  if (type == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    showOcrBlockContextMenu(widget->mapTo(viewport(), mouse->position().toPoint()),
                            mouse->globalPosition().toPoint());
    return true;
  }
  if (!isValidBlockIndex(activeOcrBlock) || ocrBlocks[std::size_t(activeOcrBlock)].isImage) return false;
  // Cut and copy of a selected block take the block, as its menu does; the
  // editor would take its (empty) text selection.
  const auto blockClipboardKey = [](QEvent* e) {
    auto* key = static_cast<QKeyEvent*>(e);
    return key->matches(QKeySequence::Cut) || key->matches(QKeySequence::Copy);
  };
  if (type == QEvent::ShortcutOverride && watched == editor && !blockOpenForTyping && blockClipboardKey(event)) {
    event->accept();
    return true;
  }
  if (type == QEvent::KeyPress && watched == editor && !blockOpenForTyping && blockClipboardKey(event)) {
    selectOcrBlock(activeOcrBlock, true);
    if (static_cast<QKeyEvent*>(event)->matches(QKeySequence::Cut))
      cutSelectedOcrBlocks();
    else
      copySelectedOcrBlocksToClipboard();
    return true;
  }
  // Keys that would change text the page cannot take say why and go no further.
  if (type == QEvent::KeyPress && watched == editor && editor->isReadOnly()) {
    auto* key = static_cast<QKeyEvent*>(event);
    const int k = key->key();
    const bool changes = (!key->text().isEmpty() && key->text().at(0).isPrint()) || k == Qt::Key_Backspace ||
                         k == Qt::Key_Return || k == Qt::Key_Enter || (k == Qt::Key_Delete && blockOpenForTyping) ||
                         key->matches(QKeySequence::Paste);
    if (changes && !(key->modifiers() & Qt::ControlModifier && !key->matches(QKeySequence::Paste))) {
      refuseActiveBlockEdit();
      return true;
    }
  }
  if (type == QEvent::KeyPress && watched == editor && !blockOpenForTyping) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
      selectOcrBlock(activeOcrBlock, true);
      deleteSelectedOcrBlocks();
      return true;
    }
    const int k = key->key();
    const bool modifierOnly = k == Qt::Key_Shift || k == Qt::Key_Control || k == Qt::Key_Alt || k == Qt::Key_Meta;
    if (!modifierOnly && !(key->modifiers() & Qt::ControlModifier)) {
      blockOpenForTyping = true;
      viewport()->update();
    }
    return false;
  }
  if (watched != editor->viewport()) return false;
  if (blockOpenForTyping) {
    const bool mouse = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick ||
                       type == QEvent::MouseMove || type == QEvent::MouseButtonRelease;
    return mouse && handleOpenEditorMouse(widget, static_cast<QMouseEvent*>(event));
  }
  if (type == QEvent::MouseButtonDblClick) {
    // The second press of a double click: open, and take the word there.
    bodyPressed = false;
    blockOpenForTyping = true;
    return handleOpenEditorMouse(widget, static_cast<QMouseEvent*>(event));
  }
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
    return false;
  auto* mouse = static_cast<QMouseEvent*>(event);
  const QPoint local = widget->mapTo(blockEditorFrame, mouse->position().toPoint());
  const QPoint global = mouse->globalPosition().toPoint();
  if (type == QEvent::MouseButtonPress) {
    if (mouse->button() != Qt::LeftButton) return false;
    const BlockEditorFrame::Hit hit = blockEditorFrame->hitTest(local);
    if (hit != BlockEditorFrame::Hit::Move && hit != BlockEditorFrame::Hit::None) return false;  // a handle
    bodyPressGlobal = global;
    bodyPressLocal = local;
    bodyPressed = true;
    return true;
  }
  if (!bodyPressed) return false;
  if (type == QEvent::MouseMove) {
    if (!blockEditorFrame->isInteracting()) {
      if ((global - bodyPressGlobal).manhattanLength() < QApplication::startDragDistance()) return true;
      blockEditorFrame->beginInteraction(bodyPressLocal, bodyPressGlobal, true);
    }
    blockEditorFrame->updateInteraction(global, mouse->modifiers());
    return true;
  }
  bodyPressed = false;
  if (blockEditorFrame->isInteracting()) {
    blockEditorFrame->endInteraction(local);
    return true;
  }
  openActiveBlockForTyping(mouse->position().toPoint(), true);
  return true;
}

// Lines a block gains push what lies under it down by as much, so that they
// are laid out below its own and never drawn over the next block; a block
// pushed into the one under it pushes that one too, and a gap as wide as
// the growth stops the push. Undo takes it back with the typing.
void PdfView::pushBlocksBelow(int index, double oldBottom) {
  if (!isValidBlockIndex(index)) return;
  const TextBlock& grown = ocrBlocks[static_cast<std::size_t>(index)];
  const double growth = oldBottom - grown.rect.y();
  if (!(growth > 0.5)) return;
  std::vector<int> below;
  for (int i = 0; i < static_cast<int>(ocrBlocks.size()); ++i) {
    const QRectF& r = ocrBlocks[static_cast<std::size_t>(i)].rect;
    if (i == index || r.center().y() >= oldBottom || r.right() <= grown.rect.left() || r.left() >= grown.rect.right())
      continue;
    below.push_back(i);
  }
  // Top down: each block is pushed when the text above it now reaches it.
  std::sort(below.begin(), below.end(), [this](int a, int b) {
    return ocrBlocks[static_cast<std::size_t>(a)].rect.bottom() > ocrBlocks[static_cast<std::size_t>(b)].rect.bottom();
  });
  double reached = grown.rect.y();  // the lowest edge the pushed text reaches
  for (int i : below) {
    TextBlock& block = ocrBlocks[static_cast<std::size_t>(i)];
    if (block.rect.bottom() <= reached + 0.1) continue;
    translateBlock(block, QPointF(0, -std::min(growth, std::max(block.rect.y(), 0.0))));
    reached = std::min(reached, block.rect.y());
  }
}
