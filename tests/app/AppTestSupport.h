#pragma once
// Helpers of the window tests: isolated settings, a window whose protected
// state the tests may read, and answers to modal dialogs.

#include "MainWindow.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <QPushButton>
#include <QString>

#include <algorithm>
#include <functional>

class PdfView;

namespace apptest {

// The longest the event loop went without a tick of a 10 ms timer, from
// start(): the longest the window waited. `onTick` runs at every tick. The
// time the window's thread stood ready while a busy machine ran others
// (the kernel's run-queue wait) is not the window's waiting: it is left out.
class EventLoopStall {
 public:
  explicit EventLoopStall(std::function<void()> onTick = {}) : onTick(std::move(onTick)) {
    QObject::connect(&ticker, &QTimer::timeout, [this] {
      const qint64 now = ownMs();
      longest = std::max(longest, now - lastTick);
      lastTick = now;
      if (this->onTick) this->onTick();
    });
  }
  void start() {
    clock.start();
    lastTick = ownMs();
    ticker.start(10);
  }
  void stop() { ticker.stop(); }
  qint64 longestMs() const { return longest; }

 private:
  // The time since start() less what this thread spent ready to run (the
  // kernel's second figure, where it gives one).
  qint64 ownMs() const {
    QFile stat(QStringLiteral("/proc/thread-self/schedstat"));
    const QList<QByteArray> fields = stat.open(QIODevice::ReadOnly) ? stat.readAll().split(' ') : QList<QByteArray>();
    return clock.elapsed() - fields.value(1).toLongLong() / 1000000;
  }

  std::function<void()> onTick;
  QElapsedTimer clock;
  QTimer ticker;
  qint64 lastTick = 0, longest = 0;
};

// Counts the paint events of the widgets it is installed on.
struct PaintCounter : QObject {
  int paints = 0;
  bool eventFilter(QObject*, QEvent* e) override { return e->type() == QEvent::Paint && ++paints < 0; }
};

// Opens the first block of the view that holds `oldText` in its editor and
// types `newText` over all of its text; true when the view then holds edits.
bool typeOverBlock(PdfView* view, const QString& oldText, const QString& newText);

// Whether the view holds the shown page's text blocks, waiting for them: on a
// busy machine a page's check can outlast the window's patience, and the
// window then reads the page's text when the check has ended.
bool pageBlocksRead(const PdfView* view);

// Settings of the tests live in Qt's test location and start empty.
void useCleanSettings();

// Shows the window at this size and waits, within bounds, until it is exposed
// and active, as keys typed to it need; false when either wait ran out.
bool showActive(QWidget* window, const QSize& size);

// A main window with its protected members open to the tests.
class TestWindow : public MainWindow {
 public:
  explicit TestWindow(AppProduct product = AppProduct::Editor) : MainWindow(product) {}
  using MainWindow::activeIndex;
  using MainWindow::currentDocument;
  using MainWindow::documents;
  using MainWindow::documentTabs;
  using MainWindow::heapTrim;
  using MainWindow::editMode;
  using MainWindow::editModeButton;
  using MainWindow::floatingBar;
  using MainWindow::floatingZoomCombo;
  using MainWindow::ribbon;
  using MainWindow::statusLabel;
  using MainWindow::ribbonGroup;
  using MainWindow::toolButton;
  using MainWindow::view;
  using MainWindow::autoSaveTimer;
  using MainWindow::updateTimeoutMs;
  using MainWindow::updateDeadlineMs;
};

// What a modal dialog showed, recorded when it was answered.
struct DialogSeen {
  bool shown = false;
  QString title;
  QString texts;  // every label's text, joined by new lines
  bool stopWaiting = false;  // set when no dialog is expected any more
};

// Answers the next modal dialog that opens by clicking the button with this
// text (an empty text closes the dialog through its window instead); with a
// title, only a dialog of that title. Returns the record, filled once the
// dialog was answered.
std::shared_ptr<DialogSeen> answerNextDialog(const QString& buttonText, const QString& title = QString());

// The dialog the action opened as a child of the window (the last new one);
// null when it opened none.
QDialog* dialogOpenedBy(QWidget* window, const std::function<void()>& action);

// Hands the next modal dialog of this class to answer once it opens.
void whenModalOpens(const std::function<bool(QWidget*)>& answer);
template <typename Dialog>
void whenModalOpens(const std::function<void(Dialog*)>& answer) {
  whenModalOpens([answer](QWidget* widget) {
    auto* dialog = qobject_cast<Dialog*>(widget);
    if (dialog) answer(dialog);
    return dialog != nullptr;
  });
}

// Picks the file (and, when given, the name filter) in the next file dialog
// that opens and accepts it.
void chooseFileInNextDialog(const QString& path, const QString& nameFilter = QString());

// The text of each page of a PDF, as pdftotext reads it, trimmed.
QStringList pdfPageTexts(const QString& pdf);

}  // namespace apptest
