// Document tabs: opening (or activating an open file), recent files,
// switching with each tab's view state, page changes and closing.
#include "MainWindow.h"

#include "PageCountText.h"
#include "PasswordPrompt.h"

#include "RecentFiles.h"
#include "core/ForeignFileNames.h"
#include "core/PdfDocument.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QScopedValueRollback>
#include <QSettings>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

int MainWindow::openDocumentIndexForPath(const QString& path) const {
  // Existing files are told apart by what they are on disk, not by a name:
  // a name that is not UTF-8 loses its bytes in every text form, so two
  // such files can read the same, and one file has many names.
  const auto wanted = existingFileIdentity(path);
  const QString absolute = QFileInfo(path).absoluteFilePath();
  for (size_t i = 0; i < documents.size(); ++i) {
    const auto open = existingFileIdentity(documents[i].path);
    if (wanted && open) {
      if (*wanted == *open) return int(i);
    } else if (absolute == QFileInfo(documents[i].path).absoluteFilePath()) {
      return int(i);
    }
  }
  return -1;
}

namespace {

// How long a page change waits for the page's check and its text together
// before going on without them (they then arrive by themselves): a plain
// page is read within it, and behind another page's long check the window
// loses no more than this.
constexpr int kPageCheckPatienceMs = 200;

// Opens the file, asking for its password while one is needed and the user
// gives one; a wrong password asks again, saying so. A password already
// known (`known`, then one kept for the session) is tried first. False when
// the file does not open (needsPassword() then tells a cancelled form).
bool openWithPassword(PdfDocument& document, const QString& path, QWidget* parent,
                      const QByteArray& known = QByteArray()) {
  if (document.open(path)) return true;
  if (!document.needsPassword()) return false;
  if (!known.isEmpty() && document.open(path, known)) return true;
  if (const auto kept = rememberedDocumentPassword(path); kept && document.open(path, *kept)) return true;
  QString problem;
  for (;;) {
    const auto typed = askDocumentPassword(parent, QFileInfo(path).fileName(), problem, path);
    if (!typed) return false;
    if (document.open(path, *typed)) return true;
    if (!document.needsPassword()) return false;
    problem = QStringLiteral("Неверный пароль. Попробуйте ещё раз.");
  }
}

}  // namespace

std::optional<QByteArray> MainWindow::passwordToImport(const QString& path) {
  const int tab = openDocumentIndexForPath(path);
  const QByteArray known = tab >= 0 ? documents[size_t(tab)].document->passwordUsed() : QByteArray();
  PdfDocument probe;
  if (openWithPassword(probe, path, this, known)) return probe.passwordUsed();
  // A file that fails for another reason is left to the import to report.
  if (probe.needsPassword()) return std::nullopt;
  return QByteArray();
}

void MainWindow::openFile(const QString& path) {
  if (path.isEmpty()) return;
  const QString absolute = QFileInfo(path).absoluteFilePath();
  const int existing = openDocumentIndexForPath(absolute);
  // The page keys (PgDn, arrows) act on the opened document at once.
  if (existing >= 0) {
    activateDocument(existing);
    view->setFocus(Qt::OtherFocusReason);
    return;
  }
  if (activeIndex >= 0 && view->hasOcrEdits() && !applyPendingOcrEdits()) return;

  // Taken before the read: a file changed meanwhile counts as changed since.
  const std::optional<FileStamp> stamp = fileStampOf(path);
  auto document = std::make_unique<PdfDocument>();
  if (!openWithPassword(*document, path, this)) {
    if (document->needsPassword()) return;  // the user cancelled the password form
    const QString error = document->lastError().trimmed();
    qWarning("Cannot open %s: %s", qPrintable(path), qPrintable(error));
    const QString text = error.isEmpty() ? tr("Не удалось открыть файл:\n%1").arg(path)
                                         : tr("Не удалось открыть файл:\n%1\n\n%2").arg(path, error);
    appInfo(this, QStringLiteral("Ошибка"), text);
    return;
  }

  OpenDocumentState state;
  state.document = std::move(document);
  state.path = absolute;
  state.fileStamp = stamp;
  documents.push_back(std::move(state));
  activateDocument(int(documents.size()) - 1);
  view->setFocus(Qt::OtherFocusReason);

  // Its text is read as a page change reads it: a first page whose check
  // takes long never keeps the window from painting.
  openedFileName = QFileInfo(path).fileName();
  statusLabel->setText(tr("Открыт: %1").arg(openedFileName));
  readShownPageText(view->currentPageIndex());
  rememberRecentFile(absolute);
}

void MainWindow::saveActiveDocumentUiState() {
  if (activeIndex < 0 || activeIndex >= int(documents.size())) return;
  OpenDocumentState& state = documents[size_t(activeIndex)];
  if (state.document.get() != currentDocument) return;
  state.currentPage = view->currentPageIndex();
  state.zoom = view->zoomFactor();
  state.viewMode = int(view->currentViewMode());
  state.editMode = editMode;
}

void MainWindow::activateDocument(int index) {
  if (index < 0 || index >= int(documents.size())) return;
  OpenDocumentState& target = documents[size_t(index)];
  if (index == activeIndex && target.document.get() == currentDocument) return;
  if (activeIndex >= 0 && !applyPendingOcrEdits()) {
    refreshDocumentTabs();
    return;
  }
  saveActiveDocumentUiState();
  // Blocks still in the view belong to the document shown before (a closed
  // tab's edits the user chose to drop among them): they must never reach
  // the page changes of the document coming in.
  view->clearOcrBlocks();

  activeIndex = index;
  currentDocument = target.document.get();
  view->setDocument(currentDocument);
  view->setViewMode(target.viewMode == 0 ? ViewMode::SinglePage : ViewMode::Continuous);
  if (target.zoom > 0) view->setZoom(target.zoom);
  if (currentDocument->isOpen() && currentDocument->pageCount() > 0) {
    // The zoom kept the centre's place; the tab opens at the top of its page.
    const int page = std::clamp(target.currentPage, 0, currentDocument->pageCount() - 1);
    if (page != view->currentPageIndex())
      view->setCurrentPage(page);
    else
      view->showPageTop(page);
  }

  editMode = allowPdfEditing() && target.editMode;
  view->setEditMode(editMode);

  thumbnails->setDocument(currentDocument);
  thumbnails->setCurrentPage(view->currentPageIndex());
  refreshOutlinePanel();

  if (ocrBar) ocrBar->hide();
  ocrPage = -1;
  pendingSelectionPage = -1;
  pendingSelectionRect = QRectF();
  // A chosen mark belongs to the document it was chosen in.
  chooseMarkTool(-1);
  // Hits of another document are never stepped through.
  stopSearchRun();
  searchResults.clear();
  searchSignature.clear();
  currentSearchIndex = -1;

  view->clearOcrBlocks();
  if (editMode) readShownPageText(view->currentPageIndex());

  refreshDocumentTabs();
  updateEditModeUi();
  updateTitle();
  updatePageControls();
  updateZoomCombo();
  refreshUndoButtons();
}

void MainWindow::updatePageControls() {
  const bool open = currentDocument->isOpen();
  const int count = open ? currentDocument->pageCount() : 0;
  const int current = open ? view->currentPageIndex() + 1 : 0;
  if (pageSpin) {
    const QSignalBlocker blocker(pageSpin);
    pageSpin->setMaximum(std::max(count, 1));
    pageSpin->setValue(current);
  }
  if (pageTotalLabel) pageTotalLabel->setText(QStringLiteral(" / %1 ").arg(count));
  if (pageCountLabel) pageCountLabel->setText(pageCountText(count));
  const auto enable = [](QWidget* control, bool on) {
    if (control) control->setEnabled(on);
  };
  enable(firstPageButton, open && current >= 2);
  enable(prevPageButton, open && current >= 2);
  enable(nextPageButton, open && current < count);
  enable(lastPageButton, open && current < count);
  for (QWidget* control : {static_cast<QWidget*>(saveButton), static_cast<QWidget*>(ocrButton),
                           static_cast<QWidget*>(compressButton), static_cast<QWidget*>(insertPageButton),
                           static_cast<QWidget*>(editModeButton)})
    enable(control, open);
  enable(deletePageButton, open && count >= 2);
}

void MainWindow::onPageChanged(int page) {
  const int editedPage = view->ocrBlocksPageIndex();
  if (currentDocument->isOpen() && view->hasOcrEdits() && editedPage != page) {
    // The page box names the page being gone to while the edits are written.
    if (pageSpin) {
      const QSignalBlocker blocker(pageSpin);
      pageSpin->setValue(page + 1);
    }
    if (!applyPendingOcrEdits()) {
      if (editedPage >= 0 && editedPage < currentDocument->pageCount()) {
        {
          const QSignalBlocker blocker(view);
          view->setCurrentPage(editedPage);
        }
        thumbnails->setCurrentPage(editedPage);
        if (pageSpin) {
          const QSignalBlocker blocker(pageSpin);
          pageSpin->setValue(editedPage + 1);
        }
      }
      updatePageControls();
      return;
    }
    thumbnails->refreshPage(editedPage);
  }
  if (pageSpin) {
    const QSignalBlocker blocker(pageSpin);
    pageSpin->setValue(page + 1);
  }
  if (!currentDocument->isOpen()) {
    updatePageControls();
    return;
  }
  sayPageRefusedAtZoom();
  readShownPageText(page);
}

void MainWindow::readShownPageText(int page) {
  if (!currentDocument->isOpen() || page < 0 || page >= currentDocument->pageCount()) return;
  // A page whose check takes longer than a moment has its text read once
  // the check has ended: the window never waits for it.
  QElapsedTimer waited;
  waited.start();
  if (!currentDocument->pageCheckEndsWithin(page, kPageCheckPatienceMs)) {
    readPageTextAfterCheck(currentDocument, page);
    updatePageControls();
    return;
  }
  readPageText(page, kPageCheckPatienceMs - int(waited.elapsed()));
}

void MainWindow::readPageTextAfterCheck(PdfDocument* document, int page) {
  QTimer::singleShot(kPageCheckPatienceMs, this, [this, document, page] {
    if (currentDocument != document || !document->isOpen() || view->currentPageIndex() != page) return;
    if (document->pageCheckEndsWithin(page, 0))
      readPageText(page, 0);
    else
      readPageTextAfterCheck(document, page);
  });
}

int MainWindow::askAboutUnsavedChanges(const PdfDocument* document) {
  ++unsavedQuestionsOpen;
  // The question may be about a tab other than the one in front.
  QString name = QFileInfo(document->filePath()).fileName();
  if (name.isEmpty()) name = uiTranslate(QStringLiteral("Безымянный"));
  const int answer = appUnsavedChangesQuestion(this, name);
  --unsavedQuestionsOpen;
  return answer;
}

bool MainWindow::confirmSave() {
  if (!currentDocument->isModified() && !view->hasOcrEdits()) return true;
  switch (askAboutUnsavedChanges(currentDocument)) {
    case 0:
      onSave();
      // Edits that could not be written are as unsaved as the file.
      return !currentDocument->isModified() && !view->hasOcrEdits();
    case 1:
      return true;
    default:
      return false;
  }
}

bool MainWindow::closeDocumentAt(int index) {
  if (index < 0 || index >= int(documents.size())) return false;
  PdfDocument* document = documents[size_t(index)].document.get();
  const bool closingActive = index == activeIndex;
  if (closingActive) {
    if (!confirmSave()) return false;
  } else if (document->isModified()) {
    // An untitled tab is saved as the active one, where a path is asked for.
    if (document->filePath().isEmpty()) {
      activateDocument(index);
      return index == activeIndex && closeDocumentAt(index);
    }
    const int answer = askAboutUnsavedChanges(document);
    if (answer == 2) return false;
    if (answer == 0) {
      // A signed file is saved as the active tab, where the question about
      // its signatures is asked and a copy can be named.
      if (signaturesAtRisk(document)) {
        activateDocument(index);
        if (index != activeIndex) return false;
        onSave();
        return !currentDocument->isModified() && closeDocumentAt(index);
      }
      if (!writingOverReplacedFileAllowed(document)) return false;
      if (!document->save(document->filePath())) {
        plainMessageBox(this, QMessageBox::Critical, QStringLiteral("Ошибка"),
                              uiTranslate(QStringLiteral("Не удалось сохранить файл:\n%1")).arg(document->lastError()));
        return false;
      }
    }
  }

  std::unique_ptr<PdfDocument> closing = std::move(documents[size_t(index)].document);
  documents.erase(documents.begin() + index);
  destroyDocument(std::move(closing));

  if (documents.empty()) {
    activeIndex = -1;
    currentDocument = placeholderDocument.get();
    view->setDocument(nullptr);
    thumbnails->setDocument(nullptr);
    refreshOutlinePanel();
    editMode = false;
    view->setEditMode(false);
    view->clearOcrBlocks();
    if (ocrBar) ocrBar->hide();
    ocrPage = -1;
    refreshDocumentTabs();
    updateEditModeUi();
    updateTitle();
    updatePageControls();
  } else if (closingActive) {
    activeIndex = -1;
    activateDocument(std::min(int(documents.size()) - 1, index));
  } else {
    if (index < activeIndex) --activeIndex;
    refreshDocumentTabs();
    updateTitle();
  }
  return true;
}

bool MainWindow::confirmSaveAllDocuments() {
  while (!documents.empty())
    if (!closeDocumentAt(std::max(activeIndex, 0))) return false;
  return true;
}

void MainWindow::onClose() {
  if (activeIndex >= 0) closeDocumentAt(activeIndex);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (closeMustWait()) {
    event->ignore();
    return;
  }
  bool allClosed = false;
  {
    const QScopedValueRollback<bool> closing(closingWindow, true);
    allClosed = confirmSaveAllDocuments();
  }
  if (!allClosed) {
    event->ignore();
    return;
  }
  QSettings settings;
  settings.setValue(QStringLiteral("window/maximized"), isMaximized());
  settings.setValue(QStringLiteral("window/fullscreen"), isFullScreen());
  if (!isMaximized() && !isFullScreen()) settings.setValue(QStringLiteral("window/normalGeometry"), saveGeometry());
  event->accept();
}
