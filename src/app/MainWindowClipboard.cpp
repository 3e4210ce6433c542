// The clipboard and text commands of the window: copying page text, a page or
// a marked region as an image, pasting an image onto a page, echoing a text
// selection and turning inserted text into an editable block.
#include "MainWindow.h"

#include "ui/CountedText.h"

#include "core/PdfDocument.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QSpinBox>

#include <algorithm>

void MainWindow::connectViewCommands() {
  connect(view, &PdfView::activeTextEditorAvailable, this, &MainWindow::setFontControlsEnabled);
  connect(view, &PdfView::activeTextFormatChanged, this, &MainWindow::onActiveTextFormatChanged);
  connect(view, &PdfView::textSelected, this, &MainWindow::onTextSelected);
  connect(view, &PdfView::textInserted, this, &MainWindow::onTextInserted);
  connect(view, &PdfView::ocrBlocksCut, this, [this](int count) {
    statusLabel->setText(tr("Вырезано: %1").arg(countedText(count, "%1 блок", "%1 блока", "%1 блоков")));
  });
  connect(view, &PdfView::ocrBlocksPasted, this, [this](int page, int) {
    updateTitle();
    statusLabel->setText(tr("Блоки вставлены на стр. %1").arg(page + 1));
  });
  connect(thumbnails, &PageThumbnailPanel::movePageRequested, this, &MainWindow::onMovePageRequested);
  connect(thumbnails, &PageThumbnailPanel::deletePageRequested, this, &MainWindow::onDeletePageRequested);
  connect(thumbnails, &PageThumbnailPanel::insertPageRequested, this, &MainWindow::onInsertPageRequested);
  connect(thumbnails, &PageThumbnailPanel::importPageRequested, this, &MainWindow::onThumbnailImportPage);
}

void MainWindow::onCopySelectedText() {
  const QString text = view->selectedPageText();
  if (text.isEmpty()) {
    statusLabel->setText(tr("Нет выделенного текста"));
    return;
  }
  QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
  statusLabel->setText(tr("Скопировано символов: %1").arg(text.size()));
}

void MainWindow::onEditCopy() {
  if (!currentDocument->isOpen()) return;
  if (!view->selectedPageText().isEmpty()) {
    onCopySelectedText();
    return;
  }
  // Only the area drawn on its page is taken; none drawn, the page shown.
  int page = view->currentPageIndex();
  QRectF marked;
  const bool area = view->markedArea(&page, &marked);
  QImage image;
  if (area) {
    const QImage whole = currentDocument->renderPage(page, 2.0, 0);
    if (!whole.isNull()) {
      const QRect cut(static_cast<int>(marked.x() * 2), static_cast<int>(marked.y() * 2),
                      static_cast<int>(marked.width() * 2), static_cast<int>(marked.height() * 2));
      image = whole.copy(cut.intersected(whole.rect()));
    }
  } else {
    image = currentDocument->renderPage(page, 1.5, 0);
  }
  if (image.isNull()) return;
  QGuiApplication::clipboard()->setImage(image, QClipboard::Clipboard);
  // Said apart: a marked area is not taken for the whole page.
  statusLabel->setText(area ? tr("Область стр. %1 скопирована в буфер").arg(page + 1)
                            : tr("Страница %1 скопирована в буфер").arg(page + 1));
}

void MainWindow::onEditPaste() {
  if (!currentDocument->isOpen()) return;
  // Blocks cut or copied in edit mode come back as blocks.
  if (editMode && view->pasteOcrBlocks()) return;  // the view reports it
  const QImage image = QGuiApplication::clipboard()->image(QClipboard::Clipboard);
  if (image.isNull()) {
    statusLabel->setText(tr("Буфер обмена не содержит изображения"));
    return;
  }
  // Into the area drawn on its page; none drawn, onto the page shown.
  int page = view->currentPageIndex();
  QRectF marked;
  const bool area = view->markedArea(&page, &marked);
  const QSizeF pageSize = currentDocument->pageSize(page);
  QPointF position;
  QSizeF size;
  if (area) {
    // The marked region has its origin at the top left; the page's is at the bottom left.
    position = QPointF(marked.x(), pageSize.height() - (marked.y() + marked.height()));
    size = marked.size();
    view->clearLastRegionSelection();
    pendingSelectionPage = -1;
    pendingSelectionRect = QRectF();
  } else {
    const double width = std::max(1, image.width());
    const double height = std::max(1, image.height());
    const double scale =
        std::min(0.7 * pageSize.width() / width, 0.7 * pageSize.height() / height) * 96.0 / 72.0;
    size = QSizeF(width * scale, height * scale);
    position = QPointF((pageSize.width() - size.width()) * 0.5, (pageSize.height() - size.height()) * 0.5);
  }
  if (!currentDocument->addImageToPage(page, position, size, image)) {
    statusLabel->setText(tr("Ошибка вставки: %1").arg(currentDocument->lastError()));
    return;
  }
  view->invalidatePageCache();
  thumbnails->refreshPage(page);
  updateTitle();
  statusLabel->setText(tr("Изображение вставлено на стр. %1").arg(page + 1));
}

void MainWindow::onTextSelected(const QString& text) {
  if (text.isEmpty()) return;
  statusLabel->setText(tr("Скопировано: %1...").arg(text.left(60)));
}

void MainWindow::onTextInserted(int page, QRectF rect, QString text) {
  if (!currentDocument->isOpen()) return;
  const QString family = fontFamilyCombo ? fontFamilyCombo->currentText() : QStringLiteral("Times New Roman");
  const float size = fontSizeSpin ? static_cast<float>(fontSizeSpin->value()) : 12.0f;
  ocrPage = page;
  // Nothing to report when the view refused the block.
  if (!view->appendEditableTextBlock(page, rect, text, family, size, QColor(Qt::black))) return;
  updateTitle();
  statusLabel->setText(tr("Текст вставлен на стр. %1").arg(page + 1));
}
