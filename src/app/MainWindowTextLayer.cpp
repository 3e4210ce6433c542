// The page's own text as editable blocks: extracted, cleaned, checked for a
// real text layer and handed to the view in reading order, images last.
#include "MainWindow.h"

#include "NativeTextLayer.h"
#include "core/ReadingOrder.h"
#include "view/PdfView.h"

#include <QLabel>

#include <algorithm>

namespace {

// Whether a block of the page's text has its centre in the region (top-origin
// points; an empty region is the whole page).
bool hasTextIn(const std::vector<TextBlock>& text, const QSizeF& page, const QRectF& topRegion) {
  if (topRegion.isEmpty()) return true;
  return std::any_of(text.begin(), text.end(), [&](const TextBlock& block) {
    const QPointF centre = block.rect.center();
    return topRegion.contains(QPointF(centre.x(), page.height() - centre.y()));
  });
}

}  // namespace

bool MainWindow::pageHasOwnTextIn(int page, const QRectF& topRegion) {
  if (!currentDocument->isOpen() || page < 0 || page >= currentDocument->pageCount()) return false;
  const std::vector<TextBlock> kept =
      cleanNativeTextBlocks(currentDocument->extractText(page), currentDocument->extractImages(page));
  const QSizeF size = currentDocument->pageSize(page);
  return !kept.empty() && isUsableNativeTextLayer(kept, size) && hasTextIn(kept, size, topRegion);
}

bool MainWindow::loadNativeTextLayerForPage(int page, bool showStatus, const QRectF& textIn) {
  if (!currentDocument->isOpen() || page < 0 || page >= currentDocument->pageCount()) return false;

  std::vector<TextBlock> images = currentDocument->extractImages(page);
  std::vector<TextBlock> kept = cleanNativeTextBlocks(currentDocument->extractText(page), images);
  if (kept.empty()) return false;

  const QSizeF size = currentDocument->pageSize(page);
  if (!isUsableNativeTextLayer(kept, size)) {
    if (showStatus) statusLabel->setText(tr("На странице нет полноценного текстового слоя, запускаю OCR."));
    return false;
  }
  if (!hasTextIn(kept, size, textIn)) return false;

  sortReadingOrder(kept, size.width(), size.height());
  const size_t imageCount = images.size();
  kept.insert(kept.end(), std::make_move_iterator(images.begin()), std::make_move_iterator(images.end()));

  ocrPage = page;
  view->setOcrBlocks(kept, page, false);
  if (ocrBar) ocrBar->hide();

  if (showStatus) {
    statusLabel->setText(
        imageCount > 0
            ? tr("Текстовый слой PDF готов; изображений, доступных как объекты: %1.").arg(imageCount)
            : tr("Текстовый слой PDF готов: можно выделять, копировать и редактировать блоки."));
  }
  return true;
}
