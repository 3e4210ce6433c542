// Construction of the main window: capability flags, widget tree, signal
// wiring, autosave timer and the restore of window state and last document.
#include "MainWindow.h"

#include "RecentFiles.h"
#include "RibbonFactories.h"
#include "core/PdfDocument.h"
#include "ocr/OcrEngine.h"
#include "ocr/ParallelPageRecognition.h"
#include "ui/UiLanguage.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <QApplication>
#include <QDialog>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QSettings>
#include <QTabWidget>
#include <QTimer>
#include <QWindow>
#include <QtConcurrent/QtConcurrentRun>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>

MainWindow::MainWindow(AppProduct edition, QWidget* parent)
    : QMainWindow(parent),
      product(edition),
      flags(capabilitiesFor(edition)),
      placeholderDocument(std::make_unique<PdfDocument>()) {
  allowFacsimiles = flags.facsimiles;
  allowComments = flags.comments;
  currentDocument = placeholderDocument.get();

  // Every widget is translated when it is first shown.
  QCoreApplication::instance()->installEventFilter(this);
  setWindowIcon(QIcon(I(QStringLiteral("ulvo-app"))));

  thumbnails = new PageThumbnailPanel(this);
  thumbnails->setObjectName(QStringLiteral("ThumbScroll"));
  view = new PdfView(this);

  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  // The ribbon comes first so that every flag-gated control exists before the
  // connections below.
  column->addWidget(buildRibbon(), 0);
  auto* panels = new QHBoxLayout;
  panels->setContentsMargins(0, 0, 0, 0);
  panels->setSpacing(0);
  leftPanel = buildLeftPanel();
  panels->addWidget(leftPanel, 0);
  panels->addWidget(buildWorkspace(), 1);
  column->addLayout(panels, 1);

  // The status strip: a thin line under everything that shows the latest
  // progress or outcome text, which many commands report nowhere else.
  auto* statusStrip = new QWidget(central);
  statusStrip->setObjectName(QStringLiteral("StatusBar"));
  statusStrip->setAttribute(Qt::WA_StyledBackground);
  statusStrip->setFixedHeight(24);
  auto* statusLayout = new QHBoxLayout(statusStrip);
  statusLayout->setContentsMargins(8, 0, 8, 0);
  statusLayout->setSpacing(8);
  statusLabel = new QLabel(QStringLiteral("Готово"), statusStrip);
  // Status texts name files and echo errors: shown as they are, never as markup.
  statusLabel->setTextFormat(Qt::PlainText);
  statusLayout->addWidget(statusLabel, 1);
  progressBar = new QProgressBar(statusStrip);
  progressBar->setFixedWidth(150);
  progressBar->setRange(0, 100);
  progressBar->setFixedHeight(14);
  progressBar->setTextVisible(false);
  progressBar->hide();
  statusLayout->addWidget(progressBar);
  column->addWidget(statusStrip, 0);
  setCentralWidget(central);

  connect(view, &PdfView::pageChanged, thumbnails, &PageThumbnailPanel::setCurrentPage);
  connect(view, &PdfView::pageChanged, this, &MainWindow::onPageChanged);
  connect(view, &PdfView::zoomChanged, this, &MainWindow::onZoomChanged);
  connect(view, &PdfView::undoRedoAvailabilityChanged, this, [this] { refreshUndoButtons(); });
  connect(view, &PdfView::ocrBlocksEdited, this, [this] {
    if (!currentDocument->isOpen()) return;
    if (view->ocrBlocksPageIndex() >= 0) ocrPage = view->ocrBlocksPageIndex();
    // An undo back to the blocks as loaded changes nothing to keep.
    if (!view->hasOcrEdits()) return;
    if (!currentDocument->isModified()) {
      currentDocument->markModified();
      blockEditsMark = currentDocument->modificationMarks();
    }
    updateTitle();
    statusLabel->setText(tr("Есть несохранённые правки текстовых блоков"));
  });
  // Undone back to the blocks as loaded: when nothing else changed the
  // document since the edits marked it, it is as saved again.
  connect(view, &PdfView::ocrEditsReverted, this, [this] {
    if (!currentDocument->isOpen() || view->hasOcrEdits() || blockEditsMark == 0 ||
        currentDocument->modificationMarks() != blockEditsMark)
      return;
    currentDocument->clearModifiedMark();
    updateTitle();
    statusLabel->setText(tr("Правки отменены"));
  });
  connect(view, &PdfView::selectionRectReady, this, [this](int page, QRectF rect) {
    pendingSelectionPage = page;
    pendingSelectionRect = rect;
    pendingSelectionSpans.clear();
  });
  connect(view, &PdfView::areaMarked, this, [this](int page, QRectF) {
    statusLabel->setText(tr("Отмечена область стр. %1: её возьмут копирование и вставка").arg(page + 1));
  });
  connect(view, &PdfView::textSpansSelected, this, [this](int page, QList<QRectF> spans) {
    if (page == pendingSelectionPage) pendingSelectionSpans = spans;
  });
  connect(thumbnails, &PageThumbnailPanel::pageSelected, this, &MainWindow::onThumbnailPageSelected);
  connect(view, &PdfView::ocrRegionRequested, this, &MainWindow::onRunOcrRegion);
  connect(view, &PdfView::imageBlockActivated, this, &MainWindow::onImageBlockActivated);
  connectViewCommands();
  // After the ribbon: the formatting keys press its buttons.
  setupShortcuts();

  connect(view, &PdfView::imageRectReady, this, &MainWindow::onImageRectReady);
  connect(view, &PdfView::imageBlockEditRequested, this, &MainWindow::onImageBlockEditRequested);
  connect(view, &PdfView::activeTextEditorAvailable, this, [this](bool available) {
    if (!available) runOwedAutoSave();
  });
  connect(view, &PdfView::textEditRefused, this, [this](const QString& why) { statusLabel->setText(why); });
  view->setPendingEditsHandler([this](int page, const std::vector<TextBlock>& blocks) {
    if (!currentDocument->isOpen() || !writePendingBlocks(page, blocks)) return false;
    view->invalidatePageCache();
    return true;
  });
  if (allowOcr()) setupOcrBar();
  autoSaveTimer = new QTimer(this);
  connect(autoSaveTimer, &QTimer::timeout, this, &MainWindow::autoSaveIfNeeded);

  setAcceptDrops(true);
  resize(1500, 920);
  updateTitle();
  updatePageControls();
  updateEditModeUi();

  const bool shellMode = qApp->property("ulvoShellDialogMode").toBool();
  // An optional layout model beside the program; without one (or with one
  // that cannot be used) nothing changes.
  if (!shellMode && product != AppProduct::Ecp) {
    const QString model = QCoreApplication::applicationDirPath() + QStringLiteral("/layout.onnx");
    if (QFileInfo::exists(model) && layoutDetector.load(model))
      statusLabel->setText(tr("Модель разметки загружена: layout.onnx"));
  }
  QSettings settings;
  applyUiLanguage(settings.value(QStringLiteral("ui/language"), QStringLiteral("ru")).toString());
  applyProductDisplayName(product);

  if (!shellMode) {
    const QByteArray geometry = settings.value(QStringLiteral("window/normalGeometry")).toByteArray();
    if (!geometry.isEmpty()) restoreGeometry(geometry);
    if (settings.value(QStringLiteral("window/maximized"), false).toBool())
      QTimer::singleShot(0, this, [this] { showMaximized(); });
    else if (settings.value(QStringLiteral("window/fullscreen"), false).toBool())
      QTimer::singleShot(0, this, [this] { showFullScreen(); });
  }

  if (settings.value(QStringLiteral("ui/theme"), QStringLiteral("light")).toString() == QLatin1String("dark"))
    setDarkTheme();
  else
    setLightTheme();
  applyStoredSettings();

  if (!shellMode && product != AppProduct::Ecp &&
      settings.value(QStringLiteral("doc/restoreLastDocument"), false).toBool()) {
    // The real file, never a link left in the temporary folder by a run before.
    if (const QString last = lastRecentFilePath(); !last.isEmpty()) {
      // A file named on the command line opens first and wins.
      QTimer::singleShot(0, this, [this, last] {
        if (!currentDocument->isOpen() && QFileInfo::exists(last)) openFile(last);
      });
    }
  }
}

MainWindow::~MainWindow() {
  if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
  forgetPageTextRead(true);
  currentDocument = placeholderDocument.get();
  while (!documents.empty()) {
    std::unique_ptr<PdfDocument> document = std::move(documents.back().document);
    documents.pop_back();
    destroyDocument(std::move(document));
  }
  view->setDocument(nullptr);
  thumbnails->setDocument(nullptr);
  if (editWriteThread) {
    editWriteThread->quit();
    editWriteThread->wait();
  }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // The window system's close (title bar, session end) is sent to the window
  // itself; during a close already under way Qt would take it as done and
  // end the program under the open question. It waits for the answer.
  if (event->type() == QEvent::Close && closeMustWait() && windowHandle() &&
      watched == static_cast<QObject*>(windowHandle())) {
    event->ignore();
    return true;
  }
  if (stopSearchOnEscape(event)) return true;
  // A message box from anywhere (Qt's static helpers set no format) shows its
  // text as it is: it may hold a file name, a link from a document or an
  // error from outside. Polishing comes before the first layout, so the text
  // is never taken for HTML, not even once.
  if (event->type() == QEvent::Polish)
    if (auto* box = qobject_cast<QMessageBox*>(watched); box && box->textFormat() == Qt::AutoText)
      box->setTextFormat(Qt::PlainText);
  if (event->type() == QEvent::Show && watched->isWidgetType()) {
    QPointer<QWidget> widget(static_cast<QWidget*>(watched));
    QTimer::singleShot(0, widget.data(), [widget] {
      if (widget) localizeWidgetTree(widget);
    });
  }
  if (event->type() == QEvent::Hide && watched->isWidgetType() && isOwnDialog(static_cast<QWidget*>(watched))) {
    // Asked now, while the program still has the keys: a dialog that goes
    // never takes them from another program.
    const bool heldKeys = QGuiApplication::applicationState() == Qt::ApplicationActive;
    QTimer::singleShot(0, this, [this, heldKeys] { returnKeysToView(heldKeys); });
  }
  return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::isOwnDialog(const QWidget* widget) const {
  if (widget == this || !widget->isWindow()) return false;
  const Qt::WindowType type = widget->windowType();
  if (type != Qt::Dialog && type != Qt::Tool && type != Qt::Sheet && type != Qt::Window) return false;
  // Qt's own message boxes may come without a parent.
  if (!widget->parentWidget()) return qobject_cast<const QDialog*>(widget) != nullptr;
  for (const QWidget* up = widget->parentWidget(); up; up = up->parentWidget())
    if (up == this) return true;
  return false;
}

void MainWindow::returnKeysToView(bool activate) {
  if (!isVisible() || isMinimized() || !view) return;
  for (const QWidget* top : QApplication::topLevelWidgets())
    if (top->isVisible() && isOwnDialog(top)) return;
  // The window system gives the keys back to no window, or to the control
  // last clicked; the page's keys (pages, Ctrl+S) would then go nowhere.
  // A control inside the page (a block's text) keeps them.
  if (activate) activateWindow();
  QWidget* focused = focusWidget();
  if (!focused || !focused->isVisible() || (focused != view && !view->isAncestorOf(focused)))
    view->setFocus(Qt::ActiveWindowFocusReason);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::destroyDocument(std::unique_ptr<PdfDocument> document) {
  if (!document) return;
  // The view and the thumbnails let go of the document (when they show it)
  // and wait for its renders before it goes.
  if (currentDocument == document.get()) currentDocument = placeholderDocument.get();
  stopSearchRun(document.get());
  endPrintPreviews(document.get());
  forgetPageTextRead(true);
  // A document run that writes into it stops at its next page; its workers
  // let go of the document before it goes.
  if (ocrRunDocument == document.get()) {
    ocrRunDocument = nullptr;
    if (ocrRecognition) ocrRecognition->cancel();
  }
  // Its marks can no longer be undone, nor taken for another's at its address.
  markUndos.removeIf([&document](const MarkUndo& undo) { return undo.document == document.get(); });
  if (chosenMarkDocument == document.get()) chooseMarkTool(-1);
  view->releaseDocument(document.get());
  thumbnails->releaseDocument(document.get());
  document.reset();
#ifdef __GLIBC__
  // The heap keeps what the document freed (its pages, fonts, images, most
  // of them in small blocks) until it is trimmed; trimming walks the arenas.
  heapTrim = QtConcurrent::run([] { malloc_trim(0); });
#endif
}
