// The page's own text as editable blocks: extracted, cleaned, checked for a
// real text layer and handed to the view in reading order, images last.
#include "MainWindow.h"

#include "NativeTextLayer.h"
#include "core/ReadingOrder.h"
#include "view/PdfView.h"

#include <QEventLoop>
#include <QLabel>
#include <QScopedValueRollback>
#include <QSemaphore>
#include <QThreadPool>

#include <atomic>

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

// What a page's own text layer is made of, read from the document in one go.
struct OwnPageText {
  std::vector<TextBlock> text;
  std::vector<TextBlock> images;
  QSizeF size;
  bool hasFields = false;
};

namespace {

OwnPageText readOwnPageText(const PdfDocument& document, int page) {
  OwnPageText own;
  own.images = document.extractImages(page);
  own.text = document.extractText(page);
  own.size = document.pageSize(page);
  own.hasFields = document.hasFormFields(page);
  return own;
}

}  // namespace

struct MainWindow::PageTextRead {
  PdfDocument* document = nullptr;
  int page = -1;
  std::atomic<bool> stale{false};
  QSemaphore done;
  OwnPageText own;
  QEventLoop* waiting = nullptr;  // the window's wait for it, when an action needs it now
};

void MainWindow::forgetPageTextRead(bool wait) {
  if (pageTextRead) pageTextRead->stale = true;
  pageTextRead.reset();
  // Stale reads queued behind the one running end without touching their document.
  if (wait && pageTextPool) pageTextPool->waitForDone();
}

void MainWindow::startPageTextRead(const std::shared_ptr<PageTextRead>& read, std::function<void()> ended) {
  if (!pageTextPool) {
    pageTextPool = new QThreadPool(this);
    pageTextPool->setMaxThreadCount(1);
  }
  pageTextPool->start([this, read, ended = std::move(ended)] {
    if (!read->stale) read->own = readOwnPageText(*read->document, read->page);
    read->done.release();
    QMetaObject::invokeMethod(this, ended, Qt::QueuedConnection);
  });
}

void MainWindow::readPageText(int page, int patienceMs) {
  // Unsaved edits of this very page stay: reloading its text would drop them.
  if (view->hasOcrEdits() && view->ocrBlocksPageIndex() == page) {
    updatePageControls();
    return;
  }
  // Another page being drawn holds the document (and pdfium) for as long as
  // it takes: the window reads beside it and goes on.
  forgetPageTextRead();
  auto read = std::make_shared<PageTextRead>();
  read->document = currentDocument;
  read->page = page;
  pageTextRead = read;
  startPageTextRead(read, [this, read] { showReadPageText(read, true); });
  if (read->done.tryAcquire(1, std::max(0, patienceMs))) {
    read->done.release();
    showReadPageText(read, false);
  } else {
    updatePageControls();
  }
}

void MainWindow::showReadPageText(const std::shared_ptr<PageTextRead>& read, bool late) {
  if (pageTextRead != read) return;
  pageTextRead.reset();
  const int page = read->page;
  if (currentDocument != read->document || !currentDocument->isOpen() || view->currentPageIndex() != page ||
      page >= currentDocument->pageCount())
    return;
  // Its check has ended by now: a page too costly at this zoom is named.
  sayPageRefusedAtZoom();
  // Blocks this page got meanwhile (recognised, loaded for an edit) are
  // newer; so are edits of any page (a paste on the page clicked meanwhile).
  if (late && (view->hasOcrEdits() ||
               (view->ocrBlocksPageIndex() == page && !view->currentOcrBlocks().empty()))) {
    updatePageControls();
    return;
  }
  // In edit mode a page's own text is framed however little it holds, as F2 frames it.
  if (showNativeTextLayer(page, std::move(read->own), false, QRectF(), editMode)) {
    if (!openedFileName.isEmpty() && statusLabel->text() == tr("Открыт: %1").arg(openedFileName))
      statusLabel->setText(tr("Открыт: %1 · текстовый слой готов").arg(openedFileName));
  } else if (ocrPage != page) {
    view->clearOcrBlocks();
    if (ocrBar) ocrBar->hide();
    ocrPage = -1;
  }
  openedFileName.clear();
  updatePageControls();
}

bool MainWindow::loadNativeTextLayerForPage(int page, bool showStatus, const QRectF& textIn, bool anyText) {
  if (!currentDocument->isOpen() || page < 0 || page >= currentDocument->pageCount()) return false;
  // Read now, so a read from an earlier page change is older.
  forgetPageTextRead();
  return showNativeTextLayer(page, readOwnPageText(*currentDocument, page), showStatus, textIn, anyText);
}

bool MainWindow::awaitNativeTextLayerForPage(int page, bool showStatus, const QRectF& textIn, bool anyText) {
  if (awaitingPageText || !currentDocument->isOpen() || page < 0 || page >= currentDocument->pageCount())
    return false;
  forgetPageTextRead();
  const QScopedValueRollback<bool> awaiting(awaitingPageText, true);
  auto read = std::make_shared<PageTextRead>();
  read->document = currentDocument;
  read->page = page;
  QEventLoop loop;
  read->waiting = &loop;
  startPageTextRead(read, [this, read] {
    if (read->waiting) read->waiting->quit();
  });
  // The read may have ended already; its quit is then delivered to the loop.
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  read->waiting = nullptr;
  // The tab may have been closed meanwhile.
  if (currentDocument != read->document || !currentDocument->isOpen() || page >= currentDocument->pageCount())
    return false;
  return showNativeTextLayer(page, std::move(read->own), showStatus, textIn, anyText);
}

bool MainWindow::showNativeTextLayer(int page, OwnPageText own, bool showStatus, const QRectF& textIn, bool anyText) {
  std::vector<TextBlock>& images = own.images;
  std::vector<TextBlock> kept = cleanNativeTextBlocks(std::move(own.text), images);
  if (kept.empty()) return false;

  const QSizeF size = own.size;
  if (!anyText && !isUsableNativeTextLayer(kept, size, own.hasFields)) {
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
