// Pointer, wheel and keyboard input of the page view: each press, move and
// release becomes one gesture (panning, text or region selection, block
// click or rubber band, frame drag, link, new-block area).
#include "PdfView.h"

#include "BlockEditorFrame.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRubberBand>
#include <QScrollBar>
#include <QTextEdit>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// Points; about a sentence of body text on two lines.
const QSizeF kClickTextBoxSize(200, 40);

QPoint roundedPoint(const QPointF& p) {
  return QPoint(static_cast<int>(std::lround(p.x())), static_cast<int>(std::lround(p.y())));
}

// The pointer shape of a tool other than Select, which shows what lies under it.
Qt::CursorShape toolCursor(EditTool tool) {
  switch (tool) {
    case EditTool::Hand:
      return Qt::OpenHandCursor;
    case EditTool::InsertText:
      return Qt::IBeamCursor;
    default:
      return Qt::CrossCursor;
  }
}

}  // namespace

void PdfView::setEditTool(EditTool tool) {
  hideInlineEditor();
  if (tool != EditTool::InsertImage) clearImagePlacementPreview();
  editTool = tool;
  if (tool == EditTool::Select)
    viewport()->unsetCursor();
  else
    viewport()->setCursor(toolCursor(tool));
}

void PdfView::mousePressEvent(QMouseEvent* event) {
  const QPoint position = roundedPoint(event->position());
  const QPoint global = roundedPoint(event->globalPosition());
  if (event->button() == Qt::RightButton) {
    if (editMode && !ocrBlocks.empty())
      showOcrBlockContextMenu(position, global);
    else
      showDocumentContextMenu(position, global);
    event->accept();
    return;
  }
  if (event->button() != Qt::LeftButton) return;

  if (lastRegionIsRegion && !lastSelectionContainsViewportPoint(position)) clearLastRegionSelection();

  if (editTool == EditTool::Hand) {
    panning = true;
    panStart = position;
    panStartHorizontal = horizontalScrollBar()->value();
    panStartVertical = verticalScrollBar()->value();
    selecting = false;
    if (rubberBand) rubberBand->hide();
    viewport()->setCursor(Qt::ClosedHandCursor);
    event->accept();
    return;
  }

  if (editMode && editTool == EditTool::InsertImage && placementActive && !placementImages.isEmpty()) {
    const int page = pageAtPoint(position);
    if (isValidPage(page)) {
      const QSizeF pageSize = document->pageSize(page);
      const double w = std::min(pageSize.width(), placementSize.width());
      const double h = std::min(pageSize.height(), placementSize.height());
      const QPointF centre = viewToPage(page, position).topLeft();
      const double x = std::clamp(centre.x() - w / 2, 0.0, std::max(pageSize.width() - w, 0.0));
      const double y = std::clamp(centre.y() - h / 2, 0.0, std::max(pageSize.height() - h, 0.0));
      const QRectF rect(x, y, w, h);
      emit selectionRectReady(page, rect);
      emit imageRectReady(page, rect);
      event->accept();
      return;
    }
  }

  if (inlineFrame && inlineTextEdit) {
    inlineFrame->raise();
    inlineTextEdit->setFocus(Qt::OtherFocusReason);
    return;
  }

  // A chosen markup tool marks text in edit mode too: blocks and their
  // frames do not take its drag.
  const bool blocksTakePress = editMode && !markupTool;
  if (blocksTakePress && blockEditorFrame && blockEditorFrame->isVisible() &&
      blockEditorFrame->beginExternalInteraction(position, global)) {
    selecting = false;
    pressedBlock = -1;
    if (rubberBand) rubberBand->hide();
    event->accept();
    return;
  }
  if (blocksTakePress && forwardToActiveEditor(event)) {
    selecting = false;
    event->accept();
    return;
  }

  pressedBlock = -1;
  const bool blocksShown = ocrBlocksPage >= 0 && !ocrBlocks.empty();
  if (blocksTakePress && blocksShown) pressedBlock = hoveredOcrBlock(position);
  if (blocksTakePress && pressedBlock < 0) {
    // A paste goes where the page was last clicked, its text read by then
    // or still being read.
    pastePage = pageAtPoint(position);
    if (isValidPage(pastePage)) pastePoint = viewToPage(pastePage, position).topLeft();
  }
  if (blocksTakePress && blocksShown) {
    if (pressedBlock < 0) {
      deactivateOcrBlock();
      clearOcrBlockSelection();
    }
    if (editTool == EditTool::Select) {
      selectionMode = SelectionMode::Blocks;
      lastRegionIsRegion = false;
      highlightPage = -1;
      highlightRects.clear();
      selectedText.clear();
    } else {
      selectionMode = SelectionMode::Region;
    }
  } else {
    if (!blocksTakePress && editTool == EditTool::Select) {
      highlightPage = -1;
      highlightRects.clear();
      selectedText.clear();
      viewport()->update();
    }
    if (editTool == EditTool::Select && selectableTextAtViewportPoint(position)) {
      selectionMode = SelectionMode::Text;
      lastRegionIsRegion = false;
    } else {
      selectionMode = SelectionMode::Region;
      if (editTool == EditTool::Select) {
        highlightPage = -1;
        highlightRects.clear();
        selectedText.clear();
        clearOcrBlockSelection();
      }
    }
  }

  selectionStart = selectionEnd = position;
  selectionPage = pageAtPoint(position);
  if (!isValidPage(selectionPage)) selectionPage = -1;
  selectionStartOnPage = selectionEndOnPage =
      selectionPage >= 0 ? viewToPage(selectionPage, position).topLeft() : QPointF();
  selecting = true;
  selectionRubberBand()->setGeometry(QRect(position, QSize()));
  if (selectionMode == SelectionMode::Text) {
    selectionRubberBand()->hide();
    viewport()->setCursor(Qt::IBeamCursor);
  } else if (pressedBlock < 0) {
    selectionRubberBand()->show();
  } else {
    selectionRubberBand()->hide();
  }
  event->accept();
}

void PdfView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint position = roundedPoint(event->position());
  if (panning) {
    horizontalScrollBar()->setValue(panStartHorizontal - (position.x() - panStart.x()));
    verticalScrollBar()->setValue(panStartVertical - (position.y() - panStart.y()));
    viewport()->setCursor(Qt::ClosedHandCursor);
    event->accept();
    return;
  }
  if (forwardToActiveEditor(event)) {
    event->accept();
    return;
  }
  if (editMode && blockEditorFrame && blockEditorFrame->isInteracting()) {
    blockEditorFrame->updateExternalInteraction(roundedPoint(event->globalPosition()), event->modifiers());
    event->accept();
    return;
  }
  if (editMode && editTool == EditTool::InsertImage && placementActive && !placementImages.isEmpty()) {
    placementCursor = position;
    viewport()->setCursor(Qt::CrossCursor);
    viewport()->update();
  }
  const bool pressedLoneBlock =
      isValidBlockIndex(pressedBlock) &&
      (pressedBlock >= static_cast<int>(ocrBlockGroupIds.size()) || ocrBlockGroupIds[std::size_t(pressedBlock)] == 0);
  if (selecting && editMode && selectionMode == SelectionMode::Blocks && pressedLoneBlock &&
      (position - selectionStart).manhattanLength() >= QApplication::startDragDistance()) {
    // A drag from a block's body moves the block: it is selected and its
    // frame is carried along from the press.
    const int block = pressedBlock;
    selecting = false;
    pressedBlock = -1;
    selectionMode = SelectionMode::None;
    selectionPage = -1;
    selectionRubberBand()->hide();
    selectOcrBlock(block, false);
    activateOcrBlock(block);
    if (blockEditorFrame && blockEditorFrame->isVisible() &&
        blockEditorFrame->beginInteraction(selectionStart - blockEditorFrame->pos(),
                                           viewport()->mapToGlobal(selectionStart), true))
      blockEditorFrame->updateExternalInteraction(roundedPoint(event->globalPosition()), event->modifiers());
    event->accept();
    return;
  }
  if (selecting) {
    if (!editMode) viewport()->unsetCursor();
    updateSelectionEndFromViewport(position);
    updateInteractiveSelectionPreview();
    return;
  }

  auto hoverRule = [this, &position] {
    const int block = hoveredOcrBlock(position);
    if (block >= 0)
      viewport()->setCursor(ocrBlocks[static_cast<std::size_t>(block)].isImage ? Qt::SizeAllCursor : Qt::IBeamCursor);
    else if (selectableTextAtViewportPoint(position))
      viewport()->setCursor(Qt::IBeamCursor);
    else
      viewport()->unsetCursor();
  };
  if (editMode && blockEditorFrame && blockEditorFrame->isVisible()) {
    if (blockEditorFrame->externalHandleAt(position))
      viewport()->setCursor(Qt::CrossCursor);
    else if (editTool == EditTool::Select)
      hoverRule();
    return;
  }
  if (editTool == EditTool::Select)
    hoverRule();
  else
    viewport()->setCursor(toolCursor(editTool));
}

void PdfView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint position = roundedPoint(event->position());
  if (panning) {
    panning = false;
    viewport()->setCursor(editTool == EditTool::Hand ? Qt::OpenHandCursor : Qt::ArrowCursor);
    event->accept();
    return;
  }
  if (forwardToActiveEditor(event)) {
    event->accept();
    return;
  }
  if (editMode && blockEditorFrame && blockEditorFrame->isInteracting()) {
    blockEditorFrame->endExternalInteraction(position);
    event->accept();
    return;
  }
  if (!selecting) return;
  finishSelectionDrag(position, event->modifiers());
  event->accept();
}

void PdfView::finishSelectionDrag(const QPoint& position, Qt::KeyboardModifiers modifiers) {
  updateSelectionEndFromViewport(position);
  const QRect viewRect = currentSelectionViewportRect();
  const QRectF pageRect = currentSelectionPageTopRect();
  selecting = false;
  const QRect spanned = QRect(selectionStart, selectionEnd).normalized();
  auto endDrag = [this] {
    selectionPage = -1;
    selectionMode = SelectionMode::None;
  };

  // A click: at most a pixel or two of travel.
  if (spanned.right() - spanned.left() <= 1 && spanned.bottom() - spanned.top() <= 1) {
    selectionRubberBand()->hide();
    selectionMode = SelectionMode::None;
    if (editMode && editTool == EditTool::InsertText && selectionPage >= 0 && document) {
      // A click with the text tool asks for a box of the default size there.
      const int page = selectionPage;
      pressedBlock = -1;
      endDrag();
      const QSizeF pageSize = document->pageSize(page);
      QRectF area(selectionStartOnPage, kClickTextBoxSize);
      area.moveLeft(std::clamp(area.left(), 0.0, std::max(pageSize.width() - area.width(), 0.0)));
      area.moveTop(std::clamp(area.top(), 0.0, std::max(pageSize.height() - area.height(), 0.0)));
      area = area.intersected(QRectF(QPointF(0, 0), pageSize));
      editTool = EditTool::Select;
      viewport()->unsetCursor();
      showInlineEditor(page, area);
      return;
    }
    if (!editMode) {
      activateLinkAtViewportPoint(position);
    } else if (pressedBlock >= 0) {
      const int clicked = pressedBlock;
      selectOcrBlock(clicked, modifiers & Qt::ControlModifier);
      if (selectedOcrBlocks.size() == 1)
        activateOcrBlock(clicked);
      else
        deactivateOcrBlock();
    }
    pressedBlock = -1;
    endDrag();
    return;
  }
  if (selectionPage < 0 || !document) {
    pressedBlock = -1;
    selectionRubberBand()->hide();
    endDrag();
    // Nothing is marked now: a copy never takes an area marked before.
    emit selectionRectReady(-1, QRectF());
    return;
  }

  const int page = selectionPage;
  pressedBlock = -1;
  selectionRubberBand()->hide();
  // A level drag that starts beside a line selects the letters it crosses:
  // as a region it would span no height and mark nothing.
  if (selectionMode == SelectionMode::Region && editTool == EditTool::Select && levelDragCrossesText(page))
    selectionMode = SelectionMode::Text;
  lastRegionPage = page;
  lastRegionRect = pageRect;
  lastRegionIsRegion = selectionMode == SelectionMode::Region;
  // The text a drag selected, taken before anything hears of the selection:
  // marks follow the selected letters, not the rectangle the pointer spanned.
  QList<QRectF> textSpans;
  QString draggedText;
  QList<QRectF> textRects;
  const bool textDrag = selectionMode == SelectionMode::Text &&
                        !(editMode && (editTool == EditTool::InsertText || editTool == EditTool::InsertImage));
  if (textDrag) {
    const double height = document->pageSize(page).height();
    textRects = collectTextSelectionHighlights(
        page, QPointF(selectionStartOnPage.x(), height - selectionStartOnPage.y()),
        QPointF(selectionEndOnPage.x(), height - selectionEndOnPage.y()), &draggedText, &textSpans);
    for (QRectF& span : textSpans) span = QRectF(span.x(), height - span.bottom(), span.width(), span.height());
  }
  emit selectionRectReady(page, pageRect);
  if (textDrag && !draggedText.isEmpty() && !textSpans.isEmpty()) emit textSpansSelected(page, textSpans);
  if (markupTool) {
    endDrag();
    emit markupDragFinished(page);
    viewport()->update();
    return;
  }

  if (editMode && (editTool == EditTool::InsertText || editTool == EditTool::InsertImage)) {
    const EditTool used = editTool;
    hideInlineEditor();
    clearImagePlacementPreview();
    editTool = EditTool::Select;
    viewport()->unsetCursor();
    lastRegionIsRegion = false;
    if (used == EditTool::InsertText)
      showInlineEditor(page, pageRect);
    else
      emit imageRectReady(page, pageRect);
  } else if (selectionMode == SelectionMode::Region) {
    highlightPage = -1;
    highlightRects.clear();
    selectedText.clear();
    clearOcrBlockSelection();
    viewport()->update();
  } else if (selectionMode == SelectionMode::Blocks && editTool == EditTool::Select && ocrBlocksPage == page &&
             !ocrBlocks.empty()) {
    selectOcrBlocksInRect(viewRect);
    if (!selectedOcrBlocks.isEmpty()) selectedText.clear();
    // Over no block the drag marked an area, which Copy takes: it is drawn.
    lastRegionIsRegion = selectedOcrBlocks.isEmpty();
    viewport()->update();
  } else if (selectionMode == SelectionMode::Text) {
    selectedText = draggedText;
    if (!selectedText.isEmpty()) {
      lastRegionIsRegion = false;
      highlightPage = page;
      highlightRects = textRects;
      const QString trimmed = selectedText.trimmed();
      QGuiApplication::clipboard()->setText(trimmed, QClipboard::Clipboard);
      emit textSelected(trimmed);
    } else {
      highlightPage = -1;
      highlightRects.clear();
    }
    viewport()->update();
  }
  if (lastRegionIsRegion) emit areaMarked(page, pageRect);
  endDrag();
}

void PdfView::wheelEvent(QWheelEvent* event) {
  if (event->modifiers() & Qt::ControlModifier) {
    const double factor = event->angleDelta().y() > 0 ? 1.1 : 1.0 / 1.1;
    setZoomAround(zoom * factor, roundedPoint(event->position()));
    event->accept();
    return;
  }
  QAbstractScrollArea::wheelEvent(event);
  if (selecting) {
    updateSelectionEndFromViewport(roundedPoint(event->position()));
    updateInteractiveSelectionPreview();
  }
  event->accept();
}

void PdfView::activateNeighbourTextBlock(bool forward) {
  const int n = static_cast<int>(ocrBlocks.size());
  int index = activeOcrBlock;
  if (forward && !isValidBlockIndex(index)) index = -1;
  if (!forward && (!isValidBlockIndex(index) || index == 0)) index = n;
  for (int step = 0; step < n; ++step) {
    index = forward ? (index + 1) % n : (index - 1 + n) % n;
    if (!ocrBlocks[static_cast<std::size_t>(index)].isImage) {
      activateOcrBlock(index);
      return;
    }
  }
}

void PdfView::goToPageByKey(int page) {
  currentPage = page;
  ensurePageVisible(page);
  emit pageChanged(page);
}

// The copy, cut and paste keys are the page's while it has something to copy
// or blocks to paste; otherwise the window's commands answer them.
bool PdfView::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool blocksSelected = editMode && !selectedOcrBlocks.isEmpty();
    const bool pastable = editMode && hasPastableBlocks();
    if ((key->matches(QKeySequence::Copy) && (blocksSelected || !selectedText.trimmed().isEmpty())) ||
        (key->matches(QKeySequence::Cut) && blocksSelected) || (key->matches(QKeySequence::Paste) && pastable)) {
      event->accept();
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

void PdfView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    const QString trimmed = selectedText.trimmed();
    if (!trimmed.isEmpty()) {
      QGuiApplication::clipboard()->setText(trimmed, QClipboard::Clipboard);
      emit textSelected(trimmed);
      event->accept();
      return;
    }
  }
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  const bool blocksLoaded = editMode && ocrBlocksPage >= 0 && !ocrBlocks.empty();
  const int key = event->key();
  if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && blocksLoaded) {
    activateNeighbourTextBlock(key == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier));
    event->accept();
    return;
  }
  if (key == Qt::Key_Escape && lastRegionIsRegion) {
    clearLastRegionSelection();
    if (editMode && activeOcrBlock >= 0) deactivateOcrBlock();
    event->accept();
    return;
  }
  if (key == Qt::Key_Escape && editMode && activeOcrBlock >= 0) {
    deactivateOcrBlock();
    event->accept();
    return;
  }
  if (key == Qt::Key_Delete && editMode && !selectedOcrBlocks.isEmpty()) {
    deleteSelectedOcrBlocks();
    event->accept();
    return;
  }
  if (editMode && event->matches(QKeySequence::Cut) && !selectedOcrBlocks.isEmpty()) {
    cutSelectedOcrBlocks();
    event->accept();
    return;
  }
  if (editMode && event->matches(QKeySequence::Copy) && !selectedOcrBlocks.isEmpty()) {
    copySelectedOcrBlocksToClipboard();
    event->accept();
    return;
  }
  if (editMode && event->matches(QKeySequence::Paste) && pasteOcrBlocks()) {
    event->accept();
    return;
  }
  const int pages = pageCountOrZero();
  if ((key == Qt::Key_Home || key == Qt::Key_End) && pages > 0) {
    goToPageByKey(key == Qt::Key_Home ? 0 : pages - 1);
    event->accept();
    return;
  }
  if (viewMode == ViewMode::SinglePage && pages > 0) {
    const bool back = key == Qt::Key_Left || key == Qt::Key_Up || key == Qt::Key_PageUp;
    const bool ahead = key == Qt::Key_Right || key == Qt::Key_Down || key == Qt::Key_PageDown;
    if (back || ahead) {
      const int target = currentPage + (ahead ? 1 : -1);
      if (target >= 0 && target < pages) goToPageByKey(target);
      event->accept();
      return;
    }
  }
  if (key == Qt::Key_0 || key == Qt::Key_Plus || key == Qt::Key_Equal || key == Qt::Key_Minus) {
    if (ctrl) {
      if (key == Qt::Key_0)
        zoomFit();
      else if (key == Qt::Key_Minus)
        setZoom(zoom / 1.25);
      else
        setZoom(zoom * 1.25);
    }
    event->accept();
    return;
  }
  QAbstractScrollArea::keyPressEvent(event);
}

bool PdfView::focusNextPrevChild(bool next) {
  if (editMode && ocrBlocksPage >= 0 && !ocrBlocks.empty()) return false;
  return QAbstractScrollArea::focusNextPrevChild(next);
}
