// The right-button menus of the page view, the hit test that finds the block
// under the pointer, and copying selected blocks to the clipboard.
#include "PdfView.h"

#include "BlockClipboardText.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QTransform>

#include <algorithm>
#include <cmath>

int PdfView::hoveredOcrBlock(QPointF viewportPos) const {
  if (ocrBlocks.empty() || ocrBlocksPage < 0) return -1;
  const QPoint rounded(static_cast<int>(std::lround(viewportPos.x())), static_cast<int>(std::lround(viewportPos.y())));
  if (pageAtPoint(rounded) != ocrBlocksPage) return -1;
  // Pictures first: a picture under a text block is otherwise unreachable.
  for (const bool imagePass : {true, false}) {
    for (int i = static_cast<int>(ocrBlocks.size()) - 1; i >= 0; --i) {
      const TextBlock& block = ocrBlocks[static_cast<std::size_t>(i)];
      if (block.isImage != imagePass) continue;
      const QRectF r = QRectF(ocrBlockScreenRect(i));
      if (r.width() < 0 || r.height() < 0) continue;
      const QRectF grown = r.adjusted(-3, -3, 3, 3);
      QPointF p = viewportPos;
      if (std::abs(block.rotation) >= 0.1) {
        const QPointF c = grown.center();
        p = QTransform().translate(c.x(), c.y()).rotate(-block.rotation).translate(-c.x(), -c.y()).map(p);
      }
      if (grown.contains(p)) return i;
    }
  }
  // Typed words the preview draws past their block's box are the block's
  // too; they stay on its lines, so only blocks level with the point are laid out.
  for (int i = static_cast<int>(ocrBlocks.size()) - 1; i >= 0; --i) {
    const TextBlock& block = ocrBlocks[static_cast<std::size_t>(i)];
    const QRect box = ocrBlockScreenRect(i);
    if (block.isImage || viewportPos.y() < box.top() - 3 || viewportPos.y() > box.bottom() + 3) continue;
    if ((i == activeOcrBlock || blockTextEdited(block)) && shownTextScreenRect(i).adjusted(-3, -3, 3, 3).contains(viewportPos))
      return i;
  }
  return -1;
}

void PdfView::contextMenuEvent(QContextMenuEvent* event) { event->accept(); }

QRectF PdfView::ocrGroupScreenRect(int groupId) const { return groupScreenRect(groupId); }

void PdfView::showDocumentContextMenu(const QPoint& viewportPos, const QPoint& globalPos) {
  if (!lastSelectionContainsViewportPoint(viewportPos)) return;
  QMenu menu(this);
  QAction* recognise = menu.addAction(tr("Распознать текст"));
  if (menu.exec(globalPos) != recognise) return;
  if (lastRegionPage >= 0 && lastRegionRect.width() > 0 && lastRegionRect.height() > 0)
    emit ocrRegionRequested(lastRegionPage, lastRegionRect);
}

void PdfView::showOcrBlockContextMenu(const QPoint& viewportPos, const QPoint& globalPos) {
  if (!editMode || ocrBlocks.empty()) {
    showDocumentContextMenu(viewportPos, globalPos);
    return;
  }
  const int hit = hoveredOcrBlock(viewportPos);
  if (hit >= 0) {
    if (!selectedOcrBlocks.contains(hit)) selectOcrBlock(hit, false);
  } else if (lastSelectionContainsViewportPoint(viewportPos) || selectedOcrBlocks.isEmpty()) {
    showDocumentContextMenu(viewportPos, globalPos);
    return;
  }

  int imageCount = 0;
  int imageIndex = -1;
  for (int i : selectedOcrBlocks) {
    if (isValidBlockIndex(i) && ocrBlocks[static_cast<std::size_t>(i)].isImage) {
      ++imageCount;
      imageIndex = i;
    }
  }
  const bool oneImage = selectedOcrBlocks.size() == 1 && imageCount == 1;

  QMenu menu(this);
  menu.setToolTipsVisible(true);
  QAction* edit = menu.addAction(tr("Редактировать"));
  edit->setEnabled(oneImage && !ocrBlocks[static_cast<std::size_t>(imageIndex)].image.isNull());
  // The image editor is for pictures; text is typed into its own block.
  if (selectedOcrBlocks.size() == 1 && imageCount == 0)
    edit->setToolTip(tr("Текст правится прямо в блоке: щёлкните по нему"));
  QAction* recognise = menu.addAction(tr("Распознать текст"));
  recognise->setEnabled(oneImage);
  menu.addSeparator();
  QAction* cut = menu.addAction(tr("Вырезать"));
  QAction* copy = menu.addAction(tr("Копировать"));
  QAction* remove = menu.addAction(tr("Удалить"));
  menu.addSeparator();
  QMenu* order = menu.addMenu(tr("Порядок"));
  QAction* forward = order->addAction(tr("Вперёд"));
  QAction* backward = order->addAction(tr("Назад"));
  QAction* front = order->addAction(tr("На передний план"));
  QAction* back = order->addAction(tr("На задний план"));
  menu.addSeparator();
  QAction* group = menu.addAction(tr("Группировать"));
  group->setEnabled(selectedOcrBlocks.size() >= 2 && imageCount == 0);
  QAction* ungroup = menu.addAction(tr("Расгруппировать по словам"));
  ungroup->setEnabled(!selectedOcrBlocks.isEmpty());

  QAction* chosen = menu.exec(globalPos);
  if (!chosen) return;
  if (chosen == edit) {
    emit imageBlockEditRequested(ocrBlocks[static_cast<std::size_t>(imageIndex)].image.copy());
  } else if (chosen == recognise) {
    if (!document || ocrBlocksPage < 0) return;
    const QRectF r = ocrBlocks[static_cast<std::size_t>(imageIndex)].rect;
    const double height = document->pageSize(ocrBlocksPage).height();
    const QRectF top = QRectF(r.x(), height - r.y() - r.height(), r.width(), r.height()).normalized();
    markArea(ocrBlocksPage, top);
    emit ocrRegionRequested(ocrBlocksPage, top);
  } else if (chosen == cut) {
    cutSelectedOcrBlocks();
  } else if (chosen == copy) {
    copySelectedOcrBlocksToClipboard();
  } else if (chosen == remove) {
    deleteSelectedOcrBlocks();
  } else if (chosen == forward) {
    reorderSelectedOcrBlocks(0);
  } else if (chosen == backward) {
    reorderSelectedOcrBlocks(1);
  } else if (chosen == front) {
    reorderSelectedOcrBlocks(2);
  } else if (chosen == back) {
    reorderSelectedOcrBlocks(3);
  } else if (chosen == group) {
    groupSelectedOcrBlocks();
  } else if (chosen == ungroup) {
    ungroupSelectedOcrBlocksToWords();
  }
}

QString PdfView::storeSelectedOcrBlocks() {
  QList<int> indices(selectedOcrBlocks.begin(), selectedOcrBlocks.end());
  std::sort(indices.begin(), indices.end());
  QStringList texts;
  QImage image;
  for (int i : indices) {
    if (!isValidBlockIndex(i)) continue;
    const TextBlock& block = ocrBlocks[static_cast<std::size_t>(i)];
    if (block.isImage && image.isNull() && !block.image.isNull()) image = block.image;
    const QString text = ocrBlockTextForClipboard(block);
    if (!text.isEmpty()) texts.append(text);
  }
  // The blocks themselves are kept for a paste while the clipboard holds
  // what went with them.
  blockClipboard.clear();
  blockClipboardText.clear();
  const std::vector<TextBlock> current = ocrBlocksWithEdits();
  if (!texts.isEmpty() || !image.isNull()) {
    for (int i : indices) {
      if (!isValidBlockIndex(i)) continue;
      blockClipboard.push_back(current[static_cast<std::size_t>(i)]);
      keepBaselinesForAnotherPlace(blockClipboard.back(), ocrBlocksPage);
    }
  }
  if (!texts.isEmpty()) {
    const QString joined = texts.join(QLatin1Char('\n'));
    blockClipboardText = joined;
    QGuiApplication::clipboard()->setText(joined, QClipboard::Clipboard);
    return joined;
  }
  if (!image.isNull()) QGuiApplication::clipboard()->setImage(image, QClipboard::Clipboard);
  return QString();
}

void PdfView::copySelectedOcrBlocksToClipboard() {
  const QString text = storeSelectedOcrBlocks();
  if (!text.isEmpty()) emit textSelected(text);
}

void PdfView::cutSelectedOcrBlocks() {
  const int count = static_cast<int>(selectedOcrBlocks.size());
  if (count == 0) return;
  storeSelectedOcrBlocks();
  deleteSelectedOcrBlocks();
  // Said after the removal, which reports the first change of the page.
  emit ocrBlocksCut(count);
}
