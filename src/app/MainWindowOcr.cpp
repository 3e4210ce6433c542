// Recognition of the current page, of a marked region of it, or of an image
// block, into editable blocks; and the one recognition engine that every OCR
// action of the window shares.
#include "MainWindow.h"

#include "ui/CountedText.h"
#include "NativeTextLayer.h"
#include "OcrRunRules.h"
#include "core/ReadingOrder.h"
#include "ocr/OcrEngine.h"
#include "ui/DialogHelpers.h"
#include "view/PdfView.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QSettings>
#include <QTabWidget>
#include <QToolButton>

#include <algorithm>

OcrEngine* MainWindow::readyOcrEngine(const QString& languages) {
  if (ocrEngine) return ocrEngine.get();
  auto engine = std::make_unique<OcrEngine>();
  if (!engine->init(languages)) {
    qWarning("OCR engine could not start for languages %s", qPrintable(languages));
    return nullptr;
  }
  ocrEngine = std::move(engine);
  return ocrEngine.get();
}

void MainWindow::discardOcrEngine() {
  if (ocrBusy) {
    ocrEngineDiscardPending = true;
    return;
  }
  ocrEngine.reset();
}

void MainWindow::switchEditModeOn() {
  if (editMode) return;
  editMode = true;
  view->setEditMode(true);
  updateEditModeUi();
}

void MainWindow::finishOcrRun() {
  QApplication::restoreOverrideCursor();
  ocrBusy = false;
  if (ocrButton) ocrButton->setEnabled(currentDocument->isOpen());
  if (ocrEngineDiscardPending) {
    ocrEngineDiscardPending = false;
    ocrEngine.reset();
  }
}

namespace {

// "ocr/selectedRegionOnly": a page run over a page with a selected region
// recognises only that region.
bool selectedRegionOnly() { return QSettings().value(QStringLiteral("ocr/selectedRegionOnly"), true).toBool(); }

}  // namespace

void MainWindow::onRunOcr() {
  if (allowOcr()) runOcrPage(selectedRegionOnly());
}

void MainWindow::onRunOcrRegion(int page, QRectF rect) {
  if (!allowOcr() || !currentDocument->isOpen()) return;
  if (page >= 0 && page < currentDocument->pageCount()) view->setCurrentPage(page);
  pendingSelectionPage = page;
  pendingSelectionRect = rect;
  pendingSelectionSpans.clear();
  runOcrPage(true);
}

void MainWindow::runOcrPage(bool regionOnly) {
  if (!allowOcr() || !currentDocument->isOpen() || ocrBusy) return;
  const int page = view->currentPageIndex();
  const QSizeF pageSize = currentDocument->pageSize(page);
  const double pageWidth = pageSize.width();
  const double pageHeight = pageSize.height();
  const QRectF region =
      regionOnly && pendingSelectionPage == page ? ocrRegionOnPage(pendingSelectionRect, pageSize) : QRectF();
  const bool regionMode = !region.isEmpty();

  // A page run replaces every block of the view, and a region run keeps only
  // the blocks of its own page: any other unsaved edit is written first, and
  // nothing happens when it cannot be.
  if (view->hasOcrEdits() && (!regionMode || view->ocrBlocksPageIndex() != page) && !applyPendingOcrEdits()) return;

  // Text the page draws itself needs no recognition: its blocks are the
  // page's own text, where the page draws it. Recognising a render of it
  // would only lay guessed boxes over the real words. The page is read once;
  // blocks the view holds of it stay, with their edits.
  const bool viewHoldsPage = view->ocrBlocksPageIndex() == page && !view->currentOcrBlocks().empty();
  if (viewHoldsPage ? pageHasOwnTextIn(page, region) : awaitNativeTextLayerForPage(page, false, region)) {
    switchEditModeOn();
    pendingSelectionPage = -1;
    pendingSelectionRect = QRectF();
    statusLabel->setText(tr("На странице уже есть текстовый слой: распознавание не требуется"));
    return;
  }

  switchEditModeOn();
  ocrPage = page;

  std::vector<TextBlock> kept;
  if (!regionMode) {
    if (!view->currentOcrBlocks().empty() && view->ocrBlocksPageIndex() == page) {
      for (TextBlock& block : view->ocrBlocksWithEdits())
        if (isInsertedImageObject(block)) kept.push_back(std::move(block));
    }
    if (!view->currentOcrBlocks().empty()) {
      view->clearOcrBlocks();
      if (ocrBar) ocrBar->hide();
    }
  }

  ocrBusy = true;
  if (ocrButton) ocrButton->setEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);

  const double scale = regionMode ? regionOcrScale(region.height())
                                  : pageOcrScale(pageWidth, QSettings().value(QStringLiteral("ocr/renderZoom"), 0.0).toDouble());
  QImage image = currentDocument->renderPageContent(page, scale);
  if (image.isNull()) {
    finishOcrRun();
    return;
  }

  progressBar->show();
  progressBar->setValue(20);
  statusLabel->setText(regionMode ? tr("Анализ выбранной области страницы %1...").arg(page + 1)
                                  : tr("Анализ разметки страницы %1...").arg(page + 1));
  progressBar->repaint();

  OcrEngine* engine = readyOcrEngine(storedOcrLanguages());
  if (!engine) {
    progressBar->hide();
    finishOcrRun();
    QMessageBox::warning(this, QStringLiteral("OCR"), tr(kOcrEngineFailure));
    return;
  }

  progressBar->setValue(55);
  statusLabel->setText(regionMode ? tr("OCR выбранной области страницы %1...").arg(page + 1)
                                  : tr("Распознавание текстовых областей страницы %1...").arg(page + 1));
  std::vector<TextBlock> result;
  if (regionMode) {
    const QRect pixels = regionPixelRect(region, scale, image.size());
    const QImage crop = pixels.isEmpty() ? QImage() : image.copy(pixels);
    std::vector<TextBlock> found =
        crop.isNull() ? std::vector<TextBlock>() : engine->recognizePage(crop, page, scale, region.height());
    moveBlocksOntoPage(found, QPointF(region.x(), pageHeight - region.y() - region.height()), page);
    if (!found.empty()) {
      if (!view->currentOcrBlocks().empty() && view->ocrBlocksPageIndex() == page) {
        for (TextBlock& block : view->ocrBlocksWithEdits())
          if (isInsertedImageObject(block) || !blockIntersectsTopOriginRect(block, region, pageHeight))
            result.push_back(std::move(block));
      }
      std::move(found.begin(), found.end(), std::back_inserter(result));
    }
    pendingSelectionPage = -1;
    pendingSelectionRect = QRectF();
  } else {
    result = engine->recognizePage(image, page, scale, pageHeight);
    std::move(kept.begin(), kept.end(), std::back_inserter(result));
  }
  image = QImage();

  progressBar->setValue(95);
  sortReadingOrder(result, pageWidth, pageHeight);
  onOcrFinished(std::move(result));
}

void MainWindow::onOcrFinished(std::vector<TextBlock> blocks) {
  progressBar->hide();
  finishOcrRun();
  if (blocks.empty()) {
    statusLabel->setText(tr("Текст не найден на странице"));
    return;
  }

  int images = 0;
  int tables = 0;
  int texts = 0;
  for (const TextBlock& block : blocks) {
    if (block.isImage)
      ++images;
    else if (block.isTable)
      ++tables;
    else
      ++texts;
  }
  // Recognised words are not yet in the page: they are a pending edit, so
  // that saving writes them as the page's text layer, and the tab shows the
  // change until then. A region run keeps the page's other blocks with their
  // own unsaved edits.
  view->setOcrBlocks(blocks, ocrPage, true);
  currentDocument->markModified();
  updateTitle();

  switchEditModeOn();

  QStringList parts;
  if (texts) parts << countedText(texts, QStringLiteral("%1 текст"), QStringLiteral("%1 текста"), QStringLiteral("%1 текстов"));
  if (tables)
    parts << countedText(tables, QStringLiteral("%1 таблица"), QStringLiteral("%1 таблицы"), QStringLiteral("%1 таблиц"));
  if (images)
    parts << countedText(images, QStringLiteral("%1 изображение"), QStringLiteral("%1 изображения"),
                         QStringLiteral("%1 изображений"));
  if (ocrBarLabel)
    ocrBarLabel->setText(tr("Блоков: ") + parts.join(QStringLiteral(", ")) +
                         tr("  —  кликните блок для редактирования, Tab — следующий"));
  if (ocrBar) ocrBar->hide();
  if (ribbon) ribbon->setCurrentIndex(0);
  statusLabel->setText(tr("Страница %1: %2")
                            .arg(ocrPage + 1)
                            .arg(countedText(int(blocks.size()), "%1 блок", "%1 блока", "%1 блоков")));
}

bool MainWindow::ensureOcrReady() {
  if (!currentDocument->isOpen()) return false;
  if (!view->currentOcrBlocks().empty()) return true;
  if (awaitNativeTextLayerForPage(view->currentPageIndex(), true)) return true;
  if (appQuestion(this, tr("Распознавание"),
                  tr("Распознать текст и объекты на странице?\n\nБез распознавания новые блоки будут добавлены "
                     "поверх страницы как изображения."),
                  tr("Распознать"), tr("Пропустить")) &&
      allowOcr())
    runOcrPage(selectedRegionOnly());
  return true;
}

void MainWindow::onImageBlockActivated(int pageIndex, QRectF pdfRect) {
  // A failed recognition leaves the block as it was and says so: neither an
  // error text nor an empty text ever replaces its content.
  const auto fail = [this](const QString& why) {
    statusLabel->setText(why);
    QMessageBox::warning(this, QStringLiteral("OCR"), why);
  };
  if (!currentDocument->isOpen()) return;
  OcrEngine* engine = readyOcrEngine(QStringLiteral("rus+eng"));
  if (!engine) {
    fail(tr(kOcrEngineFailure));
    return;
  }
  const double pageHeight = currentDocument->pageSize(pageIndex).height();
  const double scale = imageBlockOcrScale(pdfRect.height());
  const QImage image = currentDocument->renderPage(pageIndex, scale, 0);
  const QRect pixels =
      image.isNull() ? QRect() : imageBlockPixelRect(pdfRect, pageHeight, scale, image.size());
  const QImage crop = pixels.isEmpty() ? QImage() : image.copy(pixels);
  if (crop.isNull() || crop.width() <= 3 || crop.height() <= 3) {
    fail(tr("Не удалось подготовить изображение блока для распознавания."));
    return;
  }
  const QString text = engine->recognizeText(crop);
  if (text.trimmed().isEmpty()) {
    fail(tr("Текст в блоке не найден."));
    return;
  }
  view->updateActiveBlockText(text);
  statusLabel->setText(tr("OCR блока: распознано символов: %1").arg(text.size()));
}
