// The page's own text as editable blocks: extracted, cleaned, checked for a
// real text layer and handed to the view in reading order, images last.
#include "MainWindow.h"

#include "NativeTextLayer.h"
#include "core/ReadingOrder.h"
#include "view/PdfView.h"

#include <QLabel>

#include <algorithm>

namespace {

// Whether the page's own text reaches into the region (top-origin points; an
// empty region is the whole page): a word of it lies there for a quarter of
// its box or more. A region drawn across lines holds none of their centres
// but still covers their words.
bool hasTextIn(const std::vector<TextBlock>& text, const QSizeF& page, const QRectF& topRegion) {
  if (topRegion.isEmpty()) return true;
  const QRectF region(topRegion.x(), page.height() - topRegion.bottom(), topRegion.width(), topRegion.height());
  const auto covers = [&region](const QRectF& box) {
    const QRectF common = box.intersected(region);
    return box.width() > 0 && box.height() > 0 && common.width() * common.height() >= 0.25 * box.width() * box.height();
  };
  return std::any_of(text.begin(), text.end(), [&](const TextBlock& block) {
    if (block.isImage) return false;
    if (block.lines.empty()) return covers(block.rect);
    return std::any_of(block.lines.begin(), block.lines.end(), [&](const TextBlock::Line& line) {
      if (line.words.empty()) return covers(line.rect);
      return std::any_of(line.words.begin(), line.words.end(),
                         [&](const TextBlock::Line::Word& word) { return covers(word.rect); });
    });
  });
}

}  // namespace

bool MainWindow::pageHasOwnTextIn(int page, const QRectF& topRegion) {
  if (!currentDocument->isOpen() || page < 0 || page >= currentDocument->pageCount()) return false;
  const std::vector<TextBlock> kept =
      cleanNativeTextBlocks(currentDocument->extractText(page), currentDocument->extractImages(page));
  const QSizeF size = currentDocument->pageSize(page);
  return !kept.empty() && isUsableNativeTextLayer(kept, size, currentDocument->hasFormFields(page)) &&
         hasTextIn(kept, size, topRegion);
}

bool MainWindow::pageHasTextOrFields(int page) {
  if (!currentDocument->isOpen() || page < 0 || page >= currentDocument->pageCount()) return false;
  if (currentDocument->hasFormFields(page)) return true;
  const std::vector<TextBlock> text = currentDocument->extractText(page);
  return std::any_of(text.begin(), text.end(),
                     [](const TextBlock& block) { return !block.isImage && !block.text.trimmed().isEmpty(); });
}

bool MainWindow::loadNativeTextLayerForPage(int page, bool showStatus, const QRectF& textIn, bool anyText) {
  if (!currentDocument->isOpen() || page < 0 || page >= currentDocument->pageCount()) return false;

  std::vector<TextBlock> images = currentDocument->extractImages(page);
  std::vector<TextBlock> kept = cleanNativeTextBlocks(currentDocument->extractText(page), images);
  if (kept.empty()) return false;

  const QSizeF size = currentDocument->pageSize(page);
  if (!anyText && !isUsableNativeTextLayer(kept, size, currentDocument->hasFormFields(page))) {
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
