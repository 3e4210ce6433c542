// Notes of the Markup tab: "Заметка" waits for a click on a page and puts the
// note there; pointing at a note shows its text.
#include "MainWindow.h"

#include "PageTopRect.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"

#include <QEvent>
#include <QHelpEvent>
#include <QInputDialog>
#include <QLabel>
#include <QMouseEvent>
#include <QToolTip>

#include <functional>

namespace {

// Watches the view's viewport: a click while a note is waiting to be placed,
// and the pointer resting on a note.
class NoteWatcher : public QObject {
 public:
  NoteWatcher(PdfView* view, QObject* parent, std::function<void(int, QPointF)> place)
      : QObject(parent), view(view), place(std::move(place)) {
    view->viewport()->installEventFilter(this);
  }
  bool armed = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != view->viewport()) return false;
    if (event->type() == QEvent::MouseButtonPress && armed) {
      auto* press = static_cast<QMouseEvent*>(event);
      const QPoint at = press->position().toPoint();
      const int page = view->pageAtPoint(at);
      armed = false;
      view->viewport()->unsetCursor();
      if (press->button() != Qt::LeftButton || page < 0) return true;  // any other press gives up
      place(page, view->viewToPage(page, at).topLeft());
      return true;
    }
    if (event->type() == QEvent::ToolTip) return showNoteText(static_cast<QHelpEvent*>(event));
    return false;
  }

 private:
  bool showNoteText(QHelpEvent* help) {
    PdfDocument* document = view->shownDocument();
    const int page = view->pageAtPoint(help->pos());
    if (!document || !document->isOpen() || page < 0) return false;
    const QPointF shown =
        shownPointFromPageTop(view->viewToPage(page, help->pos()).topLeft(), document->pageSize(page));
    for (const PdfDocument::Note& note : document->notes(page)) {
      if (!note.rect.adjusted(-1, -1, 1, 1).contains(shown)) continue;
      // The note's words are the user's, shown as they are, never as markup.
      QToolTip::showText(help->globalPos(),
                         QStringLiteral("<div style='white-space:pre-wrap'>%1</div>").arg(note.text.toHtmlEscaped()),
                         view->viewport());
      return true;
    }
    return false;
  }

  PdfView* view;
  std::function<void(int, QPointF)> place;
};

}  // namespace

void MainWindow::watchNotes() {
  // One watcher for the window's life, kept with the window.
  if (property("_ulvo_noteWatcher").value<QObject*>()) return;
  auto* watcher = new NoteWatcher(view, this, [this](int page, QPointF point) { addNoteAt(page, point); });
  setProperty("_ulvo_noteWatcher", QVariant::fromValue<QObject*>(watcher));
}

void MainWindow::addNoteOnCurrentPage() {
  if (!currentDocument->isOpen()) return;
  watchNotes();
  auto* watcher = static_cast<NoteWatcher*>(property("_ulvo_noteWatcher").value<QObject*>());
  watcher->armed = true;
  view->viewport()->setCursor(Qt::CrossCursor);
  statusLabel->setText(tr("Щёлкните на странице там, где должна стоять заметка"));
}

void MainWindow::addNoteAt(int page, QPointF pageTopPoint) {
  if (!currentDocument->isOpen() || page < 0 || page >= currentDocument->pageCount()) return;
  bool accepted = false;
  const QString text = QInputDialog::getMultiLineText(this, QStringLiteral("Добавить заметку"),
                                                      QStringLiteral("Текст заметки:"), QString(), &accepted);
  if (!accepted || text.isEmpty()) {
    statusLabel->clear();
    return;
  }
  if (!applyEditsBeforePageChange()) return;
  const QPointF shown = shownPointFromPageTop(pageTopPoint, currentDocument->pageSize(page));
  // A refused note is said, never swallowed.
  if (!currentDocument->addStickyNote(page, shown, text, QStringLiteral("User"))) {
    statusLabel->setText(tr("Ошибка: %1").arg(currentDocument->lastError()));
    return;
  }
  view->invalidatePageCache();
  thumbnails->refreshPage(page);
  updateTitle();
  statusLabel->setText(tr("Заметка добавлена на стр. ") + QString::number(page + 1));
}
