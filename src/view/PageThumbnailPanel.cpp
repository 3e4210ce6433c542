#include "PageThumbnailPanel.h"

#include "ThumbnailWorker.h"
#include "core/PdfDocument.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kInitialThumbnails = 12;
const QSize kIconSize(120, 160);
const QSize kGridSize(136, 190);

}  // namespace

PageThumbnailPanel::PageThumbnailPanel(QWidget* parent) : QListWidget(parent) {
  setViewMode(QListView::IconMode);
  setIconSize(kIconSize);
  setGridSize(kGridSize);
  // Captions are numbered here, in the interface language (changeEvent); the
  // window's translation pass leaves them alone.
  setProperty("_ulvo_i18n_userData", true);
  setMovement(QListView::Snap);
  setDragDropMode(QAbstractItemView::NoDragDrop);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSpacing(4);
  setResizeMode(QListView::Adjust);
  setWordWrap(true);

  connect(this, &QListWidget::itemActivated, this, &PageThumbnailPanel::onItemActivated);
  connect(this, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0) emit pageSelected(row);
  });
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &PageThumbnailPanel::enqueueVisibleThumbnails);
}

PageThumbnailPanel::~PageThumbnailPanel() { stopWorker(); }

void PageThumbnailPanel::stopWorker() {
  if (!workerThread) return;
  // Whatever render is running finishes; queued ones are dropped with the worker.
  workerThread->quit();
  workerThread->wait();
  delete workerThread;
  workerThread = nullptr;
  worker = nullptr;  // deleted by its thread on finishing
}

void PageThumbnailPanel::setDocument(PdfDocument* doc) {
  // The document let go is still open: its render gives up waiting for a page's check.
  PdfDocument* previous = workerThread ? document : nullptr;
  if (previous) previous->interruptPageChecks(true);
  stopWorker();
  if (previous) previous->interruptPageChecks(false);
  document = doc;
  currentPage = -1;
  thumbnails.clear();
  pendingPages.clear();
  staleThumbnails.clear();
  stalePendingPages.clear();
  // Results the old worker posted before it stopped must not land on the new list.
  ++workerGeneration;

  clear();
  if (!document || !document->isOpen()) return;

  workerThread = new QThread(this);
  worker = new ThumbnailWorker(document);
  worker->moveToThread(workerThread);
  connect(workerThread, &QThread::finished, worker, &QObject::deleteLater);
  connect(worker, &ThumbnailWorker::thumbnailReady, this,
          [this, generation = workerGeneration](int page, const QImage& image) {
            if (generation == workerGeneration) onThumbnailReady(page, image);
          },
          Qt::QueuedConnection);
  workerThread->start(QThread::InheritPriority);

  const int pages = document->pageCount();
  for (int page = 0; page < pages; ++page) {
    auto* item = new QListWidgetItem(tr("Стр. %1").arg(page + 1));
    item->setData(Qt::UserRole, page);
    item->setSizeHint(kGridSize);
    addItem(item);
  }
  for (int page = 0; page < std::min(pages, kInitialThumbnails); ++page) enqueueThumbnail(page);
  setCurrentPage(0);

  QTimer::singleShot(0, this, [this] {
    if (!document || !document->isOpen() || count() == 0) return;
    setCurrentPage(std::clamp(currentPage, 0, count() - 1));
    enqueueVisibleThumbnails();
  });
}

void PageThumbnailPanel::releaseDocument(PdfDocument* doc) {
  if (doc && doc == document) setDocument(nullptr);
}

void PageThumbnailPanel::refresh() {
  if (!document) return;
  if (document->pageCount() != count()) {
    setDocument(document);
    return;
  }
  // A drag has already reordered the items; the document now has that order.
  labelItems();
  doItemsLayout();
  for (auto it = thumbnails.cbegin(); it != thumbnails.cend(); ++it) staleThumbnails.insert(it.key());
  stalePendingPages = pendingPages;
  if (currentPage >= 0 && currentPage < count()) enqueueThumbnail(currentPage);
  enqueueVisibleThumbnails();
}

void PageThumbnailPanel::refreshPage(int index) {
  if (index < 0 || index >= count()) return;
  if (thumbnails.contains(index)) staleThumbnails.insert(index);
  if (pendingPages.contains(index)) stalePendingPages.insert(index);
  enqueueThumbnail(index);
}

void PageThumbnailPanel::labelItems() {
  for (int row = 0; row < count(); ++row) {
    QListWidgetItem* it = item(row);
    it->setText(tr("Стр. %1").arg(row + 1));
    it->setData(Qt::UserRole, row);
  }
}

void PageThumbnailPanel::enqueueThumbnail(int page) {
  if (!worker || page < 0 || page >= count()) return;
  if (thumbnails.contains(page) && !staleThumbnails.contains(page)) return;
  if (pendingPages.contains(page)) return;
  pendingPages.insert(page);
  QMetaObject::invokeMethod(worker, "render", Qt::QueuedConnection, Q_ARG(int, page));
}

void PageThumbnailPanel::enqueueVisibleThumbnails() {
  if (!worker || count() == 0) return;
  executeDelayedItemsLayout();
  const int extra = gridSize().height();
  const QRect area = viewport()->rect().adjusted(0, -extra, 0, extra);
  // Items flow in rows, so their rectangles descend with the row number:
  // find the first one reaching the area, then walk until one lies below it.
  int lo = 0;
  int hi = count();
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    const QRect r = visualItemRect(item(mid));
    if (r.isValid() && r.bottom() < area.top())
      lo = mid + 1;
    else
      hi = mid;
  }
  for (int row = lo; row < count(); ++row) {
    const QRect r = visualItemRect(item(row));
    if (!r.isValid()) continue;
    if (r.top() > area.bottom()) break;
    if (r.intersects(area)) enqueueThumbnail(row);
  }
}

void PageThumbnailPanel::enqueueVisibleThumbnailsSoon() {
  QTimer::singleShot(0, this, &PageThumbnailPanel::enqueueVisibleThumbnails);
}

void PageThumbnailPanel::onThumbnailReady(int page, QImage image) {
  if (page < 0 || page >= count()) return;
  pendingPages.remove(page);
  const bool renderedBeforeChange = stalePendingPages.remove(page);
  if (!renderedBeforeChange) staleThumbnails.remove(page);
  thumbnails.insert(page, image);
  if (page == currentPage) {
    const QSignalBlocker blocker(this);
    setCurrentRow(page);
  }
  updateThumbnailIcon(page);
  if (renderedBeforeChange) enqueueThumbnail(page);
}

void PageThumbnailPanel::onItemActivated(QListWidgetItem* item) {
  if (item) emit pageSelected(item->data(Qt::UserRole).toInt());
}

void PageThumbnailPanel::setCurrentPage(int index) {
  if (index < 0 || index >= count()) return;
  const QSignalBlocker blocker(this);
  const int previous = currentPage;
  currentPage = index;
  setCurrentRow(index);
  QListWidgetItem* current = item(index);
  current->setSelected(true);
  scrollToItem(current);
  if (previous >= 0 && previous < count() && previous != index) updateThumbnailIcon(previous);
  updateThumbnailIcon(index);
  viewport()->update();
  enqueueThumbnail(index);
}

QIcon PageThumbnailPanel::thumbnailIcon(int page) const {
  QPixmap pixmap(kIconSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing, true);
  const bool current = page == currentPage;
  const QImage source = thumbnails.value(page);
  const QImage scaled =
      source.isNull() ? QImage() : source.scaled(kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);

  if (current) {
    painter.setPen(QPen(QColor("#1683FF"), 2));
    painter.setBrush(QColor(224, 243, 255, 190));
    painter.drawRoundedRect(QRectF(1, 1, 117, 157), 8, 8);
  }
  if (!scaled.isNull()) {
    const QRect rect((kIconSize.width() - scaled.width()) / 2, (kIconSize.height() - scaled.height()) / 2,
                     scaled.width(), scaled.height());
    painter.fillRect(rect.translated(2, 2), QColor(20, 35, 55, current ? 45 : 25));
    painter.fillRect(rect, Qt::white);
    painter.drawImage(rect.topLeft(), scaled);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(current ? QPen(QColor("#0B66D8"), 2) : QPen(QColor(190, 201, 214), 1));
    painter.drawRect(rect);
  }
  painter.end();
  return QIcon(pixmap);
}

void PageThumbnailPanel::updateThumbnailIcon(int page) {
  if (QListWidgetItem* it = item(page)) it->setIcon(thumbnailIcon(page));
}

void PageThumbnailPanel::resizeEvent(QResizeEvent* event) {
  QListWidget::resizeEvent(event);
  enqueueVisibleThumbnailsSoon();
}

void PageThumbnailPanel::showEvent(QShowEvent* event) {
  QListWidget::showEvent(event);
  enqueueVisibleThumbnailsSoon();
}

void PageThumbnailPanel::contextMenuEvent(QContextMenuEvent* event) {
  QListWidgetItem* target = itemAt(event->pos());
  if (!target || !document) return;
  const int page = row(target);
  QMenu menu(this);
  QAction* insertBefore = menu.addAction(tr("Вставить страницу перед..."));
  QAction* insertAfter = menu.addAction(tr("Вставить страницу после..."));
  menu.addSeparator();
  QAction* importBefore = menu.addAction(tr("Импортировать перед этой страницей..."));
  QAction* importAfter = menu.addAction(tr("Импортировать после этой страницы..."));
  menu.addSeparator();
  QAction* remove = menu.addAction(tr("Удалить страницу"));
  remove->setEnabled(document->pageCount() >= 2);

  QAction* chosen = menu.exec(event->globalPos());
  if (chosen == insertBefore) emit insertPageRequested(page);
  else if (chosen == insertAfter) emit insertPageRequested(page + 1);
  else if (chosen == importBefore) emit importPageRequested(page);
  else if (chosen == importAfter) emit importPageRequested(page + 1);
  else if (chosen == remove) emit deletePageRequested(page);
}

int PageThumbnailPanel::dropRowAt(const QPoint& point) const {
  if (QListWidgetItem* target = itemAt(point)) return row(target);
  if (count() == 0) return -1;
  // Past the last thumbnail (or between two of a row's cells): the nearest
  // place in reading order.
  const QRect last = visualItemRect(item(count() - 1));
  if (point.y() > last.bottom() || (point.y() >= last.top() && point.x() > last.right())) return count() - 1;
  const QRect first = visualItemRect(item(0));
  if (point.y() < first.top()) return 0;
  return -1;
}

void PageThumbnailPanel::endDrag() {
  dragFromRow = -1;
  dragging = false;
  dropTargetRow = -1;
  viewport()->unsetCursor();
  viewport()->update();
}

void PageThumbnailPanel::mousePressEvent(QMouseEvent* event) {
  QListWidget::mousePressEvent(event);
  endDrag();
  if (event->button() != Qt::LeftButton || !document) return;
  if (QListWidgetItem* pressed = itemAt(event->position().toPoint())) {
    dragFromRow = row(pressed);
    dragStart = event->position().toPoint();
  }
}

void PageThumbnailPanel::mouseMoveEvent(QMouseEvent* event) {
  if (dragFromRow < 0 || !(event->buttons() & Qt::LeftButton)) {
    QListWidget::mouseMoveEvent(event);
    return;
  }
  const QPoint point = event->position().toPoint();
  if (!dragging && (point - dragStart).manhattanLength() < QApplication::startDragDistance()) return;
  dragging = true;
  dropTargetRow = dropRowAt(point);
  viewport()->setCursor(Qt::ClosedHandCursor);
  viewport()->update();
}

void PageThumbnailPanel::mouseReleaseEvent(QMouseEvent* event) {
  if (!dragging) {
    endDrag();
    QListWidget::mouseReleaseEvent(event);
    return;
  }
  const int from = dragFromRow;
  const int to = dropRowAt(event->position().toPoint());
  endDrag();
  if (from >= 0 && to >= 0 && from != to && document && to < count()) emit movePageRequested(from, to);
}

void PageThumbnailPanel::paintEvent(QPaintEvent* event) {
  QListWidget::paintEvent(event);
  if (!dragging || dropTargetRow < 0 || dropTargetRow >= count() || dropTargetRow == dragFromRow) return;
  QPainter painter(viewport());
  painter.setPen(QPen(palette().color(QPalette::Highlight), 3));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(visualItemRect(item(dropTargetRow)).adjusted(1, 1, -2, -2));
}

void PageThumbnailPanel::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) labelItems();
  QListWidget::changeEvent(event);
}
