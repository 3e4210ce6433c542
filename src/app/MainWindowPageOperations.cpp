// Page operations of the Pages tab and the thumbnail panel: rotate, insert a
// blank page, delete, duplicate, clear and move. Each writes the view's
// unsaved block edits into their page first (and does nothing when that
// fails), because the blocks name a page by its index, which the operation
// changes. The thumbnail panel offers its menu and drag in every edition, so
// the edition's flag is checked here.
#include "MainWindow.h"

#include "core/PdfDocument.h"
#include "ui/BusyRing.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"

#include <QLabel>
#include <QMessageBox>

#include <algorithm>

namespace {

const QSizeF kBlankPageSize(595, 842);  // A4 portrait, points

}  // namespace

bool MainWindow::pageOperationMayStart() {
  if (!currentDocument->isOpen()) return false;
  // A document run walks the pages by index between events.
  if (ocrBusy) {
    appInfo(this, tr("Страницы"), tr("Дождитесь окончания распознавания документа."));
    return false;
  }
  if (view->hasOcrEdits() && !applyPendingOcrEdits()) return false;
  // A search under way counts the pages as they were.
  stopSearchRun();
  forgetPageTextRead();
  view->clearOcrBlocks();
  if (ocrBar) ocrBar->hide();
  ocrPage = -1;
  pendingSelectionPage = -1;
  pendingSelectionRect = QRectF();
  return true;
}

void MainWindow::refreshAfterPageListChange(int page) {
  thumbnails->refresh();
  view->setDocument(currentDocument);
  view->setCurrentPage(page);
  updateTitle();
  updatePageControls();
}

void MainWindow::onRotateCW() { rotateCurrentPageBy(90); }
void MainWindow::onRotateCCW() { rotateCurrentPageBy(-90); }

// The turn goes into the document in every mode: a turn kept only by the
// view would be lost by the next page operation or save.
void MainWindow::rotateCurrentPageBy(int degrees) {
  if (!currentDocument->isOpen() || !pageOperationMayStart()) return;
  const int page = view->currentPageIndex();
  if (!currentDocument->rotatePage(page, degrees)) {
    statusLabel->setText(tr("Не удалось повернуть страницу %1").arg(page + 1));
    return;
  }
  thumbnails->refreshPage(page);
  view->setDocument(currentDocument);
  view->setCurrentPage(page);
  if (editMode) readShownPageText(page);
  updateTitle();
  updatePageControls();
  statusLabel->setText(tr("Страница %1 повёрнута").arg(page + 1));
}

void MainWindow::onRotateCurrentPage() {
  if (!allowPageEditing() || !pageOperationMayStart()) return;
  const int page = view->currentPageIndex();
  currentDocument->rotatePage(page, 90);
  thumbnails->refreshPage(page);
  view->setDocument(currentDocument);
  view->setCurrentPage(page);
  updateTitle();
}

void MainWindow::onInsertBlankPage() {
  if (!allowPageEditing() || !pageOperationMayStart()) return;
  const int page = view->currentPageIndex();
  currentDocument->insertBlankPage(page, kBlankPageSize);
  refreshAfterPageListChange(page);
}

void MainWindow::onInsertPageRequested(int beforeIndex) {
  if (!allowPageEditing() || !pageOperationMayStart()) return;
  currentDocument->insertBlankPage(beforeIndex, kBlankPageSize);
  refreshAfterPageListChange(beforeIndex);
}

void MainWindow::onDeleteCurrentPage() {
  if (!allowPageEditing() || !currentDocument->isOpen() || currentDocument->pageCount() < 2) return;
  const int page = view->currentPageIndex();
  if (QMessageBox::question(this, tr("Удаление страницы"), tr("Удалить страницу %1?").arg(page + 1),
                            QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton) != QMessageBox::Yes)
    return;
  if (!pageOperationMayStart()) return;
  currentDocument->deletePage(page);
  refreshAfterPageListChange(std::min(currentDocument->pageCount() - 1, page));
}

void MainWindow::onDeletePageRequested(int index) {
  if (!allowPageEditing() || !currentDocument->isOpen() || currentDocument->pageCount() < 2) return;
  if (!pageOperationMayStart()) return;
  currentDocument->deletePage(index);
  refreshAfterPageListChange(std::min(currentDocument->pageCount() - 1, index));
}

void MainWindow::onDuplicatePage() {
  if (!allowPageEditing() || !pageOperationMayStart()) return;
  const int page = view->currentPageIndex();
  // A page whose widgets have fields above it is copied through the whole
  // document: off the window's thread, under the busy ring.
  PdfDocument* document = currentDocument;
  bool duplicated = false;
  runWithBusyCover(this, uiTranslate(QStringLiteral("Дублирую страницу...")),
                   [&] { duplicated = document->duplicatePage(page); });
  if (!duplicated) {
    statusLabel->setText(tr("Ошибка дублирования страницы"));
    if (!document->lastError().isEmpty()) appInfo(this, tr("Страницы"), document->lastError());
    return;
  }
  refreshAfterPageListChange(page + 1);
  statusLabel->setText(tr("Страница %1 дублирована").arg(page + 1));
}

void MainWindow::onClearPage() {
  if (!allowPageEditing() || !currentDocument->isOpen()) return;
  const int page = view->currentPageIndex();
  if (QMessageBox::question(this, tr("Очистить страницу"),
                            tr("Удалить содержимое страницы %1 и заменить пустой?").arg(page + 1),
                            QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton) != QMessageBox::Yes)
    return;
  if (!pageOperationMayStart()) return;
  const QSizeF size = currentDocument->pageSize(page);
  // The blank page goes in first, so that a page that cannot be made never
  // costs the page it replaces.
  if (!currentDocument->insertBlankPage(page + 1, size) || !currentDocument->deletePage(page)) {
    refreshAfterPageListChange(page);
    statusLabel->setText(tr("Не удалось очистить страницу %1").arg(page + 1));
    return;
  }
  refreshAfterPageListChange(page);
  statusLabel->setText(tr("Страница %1 очищена").arg(page + 1));
}

void MainWindow::onMovePageRequested(int from, int to) {
  if (!allowPageEditing() || !pageOperationMayStart()) return;
  currentDocument->movePage(from, to);
  // The page counter follows too: the moved page is shown under its new number.
  refreshAfterPageListChange(to);
}
