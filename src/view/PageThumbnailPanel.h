#pragma once
// The strip of page thumbnails beside the page view. Thumbnails come from a
// ThumbnailWorker on a thread of its own; page changes are only asked for by
// signals, and the page commands refresh the panel after doing them.

#include <QHash>
#include <QIcon>
#include <QImage>
#include <QListWidget>
#include <QSet>

class PdfDocument;
class QThread;
class ThumbnailWorker;

class PageThumbnailPanel : public QListWidget {
  Q_OBJECT

public:
  explicit PageThumbnailPanel(QWidget* parent = nullptr);
  ~PageThumbnailPanel() override;

  // Stops the worker of the previous document before returning.
  void setDocument(PdfDocument* doc);
  // Call before deleting a document: no thumbnail of it renders afterwards.
  void releaseDocument(PdfDocument* doc);
  // After pages were moved, inserted, deleted or changed: every thumbnail is
  // rendered again (a changed page count rebuilds the list).
  void refresh();
  // After one page was rotated or edited.
  void refreshPage(int index);
  void setCurrentPage(int index);

signals:
  void pageSelected(int index);
  void movePageRequested(int from, int to);
  void deletePageRequested(int index);
  void insertPageRequested(int beforeIndex);
  void importPageRequested(int beforeIndex);

public slots:
  void onThumbnailReady(int page, QImage image);
  void onItemActivated(QListWidgetItem* item);

protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // A thumbnail dragged onto another one asks for its page to take that
  // place. The drag is ours, not Qt's item move: in icon mode Qt only moves
  // the icon on screen and never reorders the list.
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

private:
  void stopWorker();
  void enqueueThumbnail(int page);
  void enqueueVisibleThumbnails();
  void enqueueVisibleThumbnailsSoon();
  QIcon thumbnailIcon(int page) const;
  void updateThumbnailIcon(int page);
  void labelItems();

  PdfDocument* document = nullptr;
  ThumbnailWorker* worker = nullptr;
  QThread* workerThread = nullptr;
  QHash<int, QImage> thumbnails;
  QSet<int> pendingPages;
  // Thumbnails that no longer show their page; kept on screen until the new
  // rendering arrives.
  QSet<int> staleThumbnails;
  // Pending requests made before the page changed: their result is stale.
  QSet<int> stalePendingPages;
  int currentPage = -1;
  int workerGeneration = 0;
  // The page being dragged, where the press was, and the page it would take
  // the place of; -1 when there is none.
  int dragFromRow = -1;
  QPoint dragStart;
  bool dragging = false;
  int dropTargetRow = -1;
  int dropRowAt(const QPoint& point) const;
  void endDrag();
};
