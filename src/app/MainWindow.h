#pragma once
// The one top-level window of the interactive program: ribbon, left panel,
// workspace with the document tabs, page view and floating bar, and the open
// documents. One class, its members split over several MainWindow*.cpp files
// by theme.

#include "AppProduct.h"
#include "core/FileStamp.h"
#include "core/PdfDocument.h"
#include "ocr/LayoutDetector.h"

#include <QFuture>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class BusyRing;
class OcrEngine;
class ParallelPageRecognition;
struct PreparedPage;
class PageThumbnailPanel;
class QDialog;
class QFrame;
struct OwnPageText;
class QThreadPool;
class ScanTab;
class PdfDocument;
class PdfView;
class QComboBox;
class QLabel;
class QListWidget;
class QPrinter;
struct PrintChoices;
struct PrinterJob;
class QProgressBar;
class QShortcut;
class QSpinBox;
class QTabBar;
class QTabWidget;
class QThread;
class QTimer;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // One open document tab; the view state is kept while the tab is in the
  // background.
  struct OpenDocumentState {
    std::unique_ptr<PdfDocument> document;
    QString path;  // absolute
    int currentPage = 0;
    double zoom = 1.0;
    int viewMode = 1;  // continuous
    bool editMode = false;
    // Set once this run has rewritten a signed file in full: its signatures
    // are broken already, and saving again is not asked about.
    bool signaturesBroken = false;
    // The file at `path` as this tab last read or wrote it: another file
    // there since is never saved over unasked.
    std::optional<FileStamp> fileStamp;
  };

  // One search hit: its page and its place in that page's hit list.
  struct SearchResult {
    int page = -1;
    int index = -1;
  };

  explicit MainWindow(AppProduct product, QWidget* parent = nullptr);
  ~MainWindow() override;

  // ---- Capability flags of the edition (MainWindow.cpp) ----
  bool allowPdfEditing() const { return flags.pdfEditing; }
  bool allowOcr() const { return flags.ocr; }
  bool allowSignatures() const { return flags.signatures; }
  bool allowPageEditing() const { return flags.pageEditing; }
  bool allowImports() const { return flags.imports; }
  AppProduct edition() const { return product; }

  bool eventFilter(QObject* watched, QEvent* event) override;

 public slots:
  // ---- Documents and tabs (MainWindowDocuments.cpp) ----
  void openFile(const QString& path);
  void activateDocument(int index);
  bool closeDocumentAt(int index);
  bool confirmSave();
  bool confirmSaveAllDocuments();
  void onClose();
  void onPageChanged(int page);
  void updatePageControls();
  void saveActiveDocumentUiState();
  int openDocumentIndexForPath(const QString& path) const;

  // ---- Navigation, zoom, tabs and title (MainWindowNavigation.cpp) ----
  void onPageSpinChanged(int value);
  void onFirstPage();
  void onPrevPage();
  void onNextPage();
  void onLastPage();
  void onThumbnailPageSelected(int index);
  void onZoomIn();
  void onZoomOut();
  void onZoomFitWidth();
  void onZoomFit();
  void onToggleThumbnails();
  void onZoomChanged(double zoom);
  // Says in the status bar that the page shown is not drawn at this zoom
  // and a smaller one shows it; false when it is drawn.
  bool sayPageRefusedAtZoom();
  void onZoomComboChanged(const QString& text);
  void updateZoomCombo();
  void updateTitle();
  void refreshDocumentTabs();

  // ---- Editing an image block in the image editor (MainWindowImageEditor.cpp) ----
  void onImageBlockEditRequested(QImage image);

  // ---- Workspace and floating bar (MainWindowWorkspace.cpp) ----
  void updateEditModeUi();

  // ---- Sample dialogs (MainWindowDialogs.cpp) ----
  void showUnsavedChangesDialog();
  void showLoadErrorDialog();

  // ---- Entry points whose features arrive later (MainWindowPending.cpp);
  //      until then each tells the user the function is not available yet ----
  void showOpenPdfDialog();
  void showSaveExportDialog();
  void showPrintDialog();
  void showPasswordDialog();
  // startTab: 0 insert, 1 extract, 2 merge; -1 leaves the dialog's own choice.
  void showPageToolsDialog(const QList<QString>& files, bool fromShellAction, int startTab = -1);
  void showAnnotationPropertiesDialog();
  void showDocumentPropertiesDialog();
  void showSettingsDialog();
  void showAboutDialog();
  void showSearchDialog();
  void runShellAction(const QString& action, const QList<QString>& files, bool fromShellAction);
  void showEcpStartup(const QList<QString>& files);

  // ---- The road of one edit: text layer of a page (MainWindowTextLayer.cpp),
  //      pending edits, OCR bar and edit mode (MainWindowEditing.cpp), saving
  //      (MainWindowSaving.cpp), left panel and outline (MainWindowLeftPanel.cpp) ----
  // With a region (top-origin points), only when the page's text has a block there;
  // with anyText, also a layer too small to count as the page's own.
  bool loadNativeTextLayerForPage(int page, bool showStatus, const QRectF& textIn = QRectF(), bool anyText = false);
  // The same for an action that needs the text before it goes on: read off
  // the window's thread while the window goes on answering. False also when
  // the document was let go meanwhile or another such wait is under way.
  bool awaitNativeTextLayerForPage(int page, bool showStatus, const QRectF& textIn = QRectF(), bool anyText = false);
  // Whether the page has characters of its own or form fields.
  bool pageHasTextOrFields(int page);
  // Whether the page draws text of its own in the region (top-origin points;
  // an empty region is the whole page) that is a real text layer.
  bool pageHasOwnTextIn(int page, const QRectF& topRegion);
  bool applyPendingOcrEdits();
  void onOcrEmbed();
  void onOcrCancel();
  void onToggleEditMode();
  void onEditInsertText();
  void onEditInsertImage();
  void onImageRectReady(int page, QRectF rect);
  void onSave();
  void onSaveAs();
  void autoSaveIfNeeded();
  void setupAutoSaveTimer();
  void refreshOutlinePanel();
  void onOutlineItemActivated(QTreeWidgetItem* item, int column);
  // ---- end of the road of one edit ----

  // ---- Stored settings and themes (MainWindowSettings.cpp) ----
  void setLightTheme();
  void setDarkTheme();
  void applyStoredSettings();
  void applyUiDensity(int level);

 protected:
  // The page's text layer, read for the view off the window's thread; shown
  // at once when read within the patience, else when the read ends.
  void readPageText(int page, int patienceMs);
  // The same once the page's check has ended, asked again until then.
  void readPageTextAfterCheck(PdfDocument* document, int page);
  // As a page change reads it: a moment's patience for the page's check,
  // then one of the two above.
  void readShownPageText(int page);
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

  // ---- Ribbon (MainWindowRibbon.cpp) ----
  QTabWidget* buildRibbon();
  QWidget* buildHomeTab();
  QWidget* buildImportTab();
  QWidget* buildPageTab();
  QWidget* buildCommentTab();
  QWidget* buildViewTab();
  QToolButton* toolButton(const QString& iconKey, const QString& text, bool checkable = false,
                          bool autoConnect = false);
  QWidget* ribbonGroup(const QString& title, const QList<QWidget*>& widgets);
  void onRibbonTabChanged(int index);

  // ---- Panels (MainWindowWorkspace.cpp; the left panel in MainWindowLeftPanel.cpp) ----
  QWidget* buildLeftPanel();
  void appendOutlineItems(const QList<PdfDocument::OutlineItem>& items, QTreeWidgetItem* parent);
  void setupOcrBar();
  void startBlockInsertion(bool image);
  // Writes edited blocks into their page; false, after a warning, when the
  // page is not the document's or the write fails.
  bool writePendingBlocks(int page, const std::vector<TextBlock>& blocks);
  // While the view's edits are written off the window's thread: what a timer
  // starts meanwhile (an autosave) waits, and no second write begins.
  bool writingPendingBlocks = false;
  // The thread those writes run on, kept with the window: a page check
  // worker the write starts ends with the thread that started it.
  QThread* editWriteThread = nullptr;
  QObject* editWriteHost = nullptr;  // lives on that thread
  // Save-as once the name is chosen: pending edits first, then the write.
  bool saveActiveDocumentAs(const QString& fileName);
  // Before a full save over the document's own file: when that would break
  // signatures the file carries, the user chooses to save anyway, to save a
  // copy under a new name instead, or not to save.
  enum class SignedFileSave { Overwrite, Copy, Cancel };
  SignedFileSave askBeforeBreakingSignatures(PdfDocument* document);
  // Asks before a save rewrites the active document's own file when that was
  // replaced on disk since, or carries signatures; false when the user took
  // a copy instead or cancelled, both already handled.
  bool rewritingOwnFileAllowed();
  // True when the document's file is still the one it read or wrote, or the
  // user agrees to write over the one that replaced it.
  bool writingOverReplacedFileAllowed(PdfDocument* document);
  bool fileReplacedOnDisk(const PdfDocument* document) const;
  // Before a save or export of the active document writes `target`: another
  // tab holding that file is closed first, with the user's consent (and its
  // own unsaved-changes question); else a file there is replaced only when
  // the user agrees. False when nothing may be written.
  bool confirmSaveTarget(const QString& target);
  // Before a copy of the active document is written in full under another
  // name: signatures still valid in it would break, which the user is told.
  bool copyBreakingSignaturesAllowed(const QString& copy);
  // Whether a full save would break signatures that are still intact.
  bool signaturesAtRisk(const PdfDocument* document) const;
  // Save-as offering a free name beside the file, for the copy of a signed one.
  void saveCopyOfSignedDocument();
  // After a full save of a document: its tab knows the file now written,
  // and the signatures the document had are broken in it.
  void noteFullSave(PdfDocument* document, bool hadSignatures);
  // In edit mode, the saved page's blocks are read again from the saved file.
  void reloadTextLayerAfterSave();
  QWidget* buildWorkspace();
  QWidget* buildFloatingBar();

  // Detaches the view and the thumbnails from a document and destroys it; no
  // document is deleted while a render still reads it.
  void destroyDocument(std::unique_ptr<PdfDocument> document);
  // The heap given back to the system after a document went, off the window's thread.
  QFuture<void> heapTrim;
  // The print dialog's previews being drawn, each with its document: a
  // document is not let go before they have ended.
  std::vector<std::pair<const PdfDocument*, QFuture<QImage>>> printPreviews;
  void endPrintPreviews(const PdfDocument* document);
  // After the last of the window's dialogs has closed, the keys go to the
  // shown document again; `activate` when the dialog held them.
  void returnKeysToView(bool activate);
  bool isOwnDialog(const QWidget* widget) const;
  void tellNotAvailableYet(const QString& function);
  void toggleFullScreen();

  // ---- State ----
  AppProduct product;
  ProductCapabilities flags;
  bool allowFacsimiles = true;
  bool allowComments = true;

  PageThumbnailPanel* thumbnails = nullptr;
  PdfView* view = nullptr;
  QTabWidget* ribbon = nullptr;
  QWidget* leftPanel = nullptr;
  QTimer* autoSaveTimer = nullptr;
  QLabel* statusLabel = nullptr;
  QProgressBar* progressBar = nullptr;
  QWidget* ocrBar = nullptr;
  QLabel* ocrBarLabel = nullptr;
  QTabWidget* leftPanelTabs = nullptr;
  QTreeWidget* outlineTree = nullptr;

  std::unique_ptr<PdfDocument> placeholderDocument;
  PdfDocument* currentDocument = nullptr;
  std::vector<OpenDocumentState> documents;
  int activeIndex = -1;

  bool editMode = false;
  bool ocrBusy = false;
  // Transfer time-out of the update check (silence), and the time the whole
  // check may take however the server trickles its answer (tests shorten both).
  int updateTimeoutMs = 15000;
  int updateDeadlineMs = 15000;
  int ocrPage = -1;
  // A close of the window that arrives while one is being handled, or while
  // the unsaved-changes question is open, waits for that answer instead of
  // ending the program under it.
  bool closingWindow = false;
  int unsavedQuestionsOpen = 0;
  int askAboutUnsavedChanges(const PdfDocument* document);
  bool closeMustWait() const { return closingWindow || unsavedQuestionsOpen > 0 || writingPendingBlocks; }
  // Autosave never runs under the user's hands: while a block's text editor
  // or the picture editor is open it is owed, and runs once they close.
  bool pictureEditorOpen = false;
  bool autoSaveOwed = false;
  bool autoSaveMustWait() const;
  void runOwedAutoSave();
  // The document's modification count right after pending block edits alone
  // marked it changed; 0 when they did not.
  quint64 blockEditsMark = 0;
  int pendingSelectionPage = -1;
  QRectF pendingSelectionRect;
  // The selected text's stretch on each line (page-top points) when the
  // pending selection was a text drag; empty for a drawn region.
  QList<QRectF> pendingSelectionSpans;
  // The mark a drag in the view makes at once (0 highlight, 1 underline,
  // 2 strike-out), chosen by its button while nothing was selected; -1 none.
  int chosenMarkKind = -1;
  // The document the mark was chosen in: it marks nothing in another.
  const PdfDocument* chosenMarkDocument = nullptr;
  QList<QToolButton*> markButtons;  // by kind
  QShortcut* markEscape = nullptr;  // lets the chosen mark go
  void markPendingSelection(int kind);
  void chooseMarkTool(int kind);
  void onMarkButton(int kind);
  // Marks made, latest last, each undone by taking its objects off its page
  // again: the page's object count before and after, and whether the
  // document had been unchanged before it.
  struct MarkUndo {
    const PdfDocument* document = nullptr;
    int page = -1;
    int before = 0;
    int after = 0;
    bool wasUnchanged = false;
    quint64 marksAfter = 0;
  };
  QList<MarkUndo> markUndos;
  bool canUndoMark() const;
  void undoLastChange();
  void refreshUndoButtons();

  // Workspace and floating bar.
  QTabBar* documentTabs = nullptr;
  QWidget* floatingBar = nullptr;
  QComboBox* floatingZoomCombo = nullptr;
  QComboBox* zoomCombo = nullptr;  // a ribbon zoom box; none of the editions builds one yet

  // Ribbon and floating-bar controls; null while their builder has not made them.
  QSpinBox* pageSpin = nullptr;
  QLabel* pageTotalLabel = nullptr;
  QLabel* pageCountLabel = nullptr;
  QToolButton* firstPageButton = nullptr;
  QToolButton* prevPageButton = nullptr;
  QToolButton* nextPageButton = nullptr;
  QToolButton* lastPageButton = nullptr;
  QToolButton* saveButton = nullptr;
  QToolButton* compressButton = nullptr;
  QToolButton* ocrButton = nullptr;
  QToolButton* undoButton = nullptr;
  QToolButton* redoButton = nullptr;
  QToolButton* editModeButton = nullptr;
  QToolButton* insertPageButton = nullptr;
  QToolButton* deletePageButton = nullptr;

  // ---- Ribbon contents, shortcuts, clipboard and text commands ----
  //      (MainWindowHomeTab.cpp, MainWindowRibbonTabs.cpp, MainWindowShortcuts.cpp,
  //      MainWindowClipboard.cpp, MainWindowMessages.cpp)
 public slots:
  void setFontControlsEnabled(bool enabled);
  void onActiveTextFormatChanged(const QString& family, int size, bool bold, bool italic, bool underline,
                                 bool strikeOut, bool superscript, bool subscript, Qt::Alignment alignment);
  void onCopySelectedText();
  void onEditCopy();
  void onEditPaste();
  void onTextSelected(const QString& text);
  void onTextInserted(int page, QRectF rect, QString text);
  // A modeless message over the window, with an optional link button.
  void showUpdateMessage(const QString& title, const QString& text, const QString& url);

  // Page commands; each does nothing in an edition that may not edit pages.
  void onInsertBlankPage();
  void onDeleteCurrentPage();
  void onDuplicatePage();
  void onClearPage();
  void onThumbnailImportPage(int beforeIndex);

  // Entry points of features still to come (MainWindowPending.cpp); the
  // signature dialog lives in MainWindowSignature.cpp.
  void showImportDialog();
  void importFilesAt(const QString& kind, int mode);
  // A workbook's sheets appended to the document through the spreadsheet
  // dialog: the pages added, or -1 when the user cancelled; error says why
  // nothing was added.
  int appendSpreadsheetPages(PdfDocument* document, const QString& path, QString* error);
  void showSignatureDialog(bool fromShellAction, const QList<QString>& batch, const QList<QString>& skipped,
                           const QString& path);
  // ---- Export dialogs (MainWindowCompressedExport.cpp, MainWindowScannedExport.cpp);
  //      each returns true only when the file was written ----
  bool showCompressedPdfExportDialog(const QString& suggestedPath, bool fromShellAction);
  bool showScannedPdfExportDialog(const QString& suggestedPath);
  // The page as the user sees it, block edits of the view painted in.
  QImage renderPageForScannedExport(int page, double scale) const;
  void showSpecialCharactersDialog();
  void checkForUpdates();

  // ---- Facsimiles (MainWindowFacsimile.cpp) ----
  void onFacsimileInsert();
  void onFacsimileAdd();
  void onFacsimileEdit();
  QString facsimileDir() const;
  QStringList facsimileFiles() const;
  // Places the facsimiles waiting for this click; false when none wait.
  bool placePendingFacsimiles(int page, const QRectF& rect);
  // The picture stored at `path` off the window's thread; false, the user
  // told why, when it could not be.
  bool writeStoredFacsimile(const QString& path, const QImage& image);

  // ---- Search (MainWindowSearch.cpp, SearchDialog.cpp) ----
  // Without `wrap` the search stops at the document's end (or start, backwards).
  void onFindNext(const QString& query, bool caseSensitive, bool wholeWord, bool useRegex, bool backwards,
                  bool wrap = true);
  // Searches every page on a worker thread while the window goes on; -1 when
  // the search was stopped (Escape, a newer search, a page operation, another
  // tab) before its end.
  int rebuildSearchResults(const QString& query, const PdfDocument::FindOptions& options);
  // Stops a whole-document search under way (only one reading `reading`,
  // when given) and waits for its worker.
  void stopSearchRun(const PdfDocument* reading = nullptr);
  // Escape while a search runs stops it; true when the event was taken.
  bool stopSearchOnEscape(QEvent* event);
  int firstSearchResultFromPage(int page, bool backwards) const;
  void activateSearchResult(int index, const QString& query, const PdfDocument::FindOptions& options);

  // ---- Printing (MainWindowPrinting.cpp) ----
  void onPrint();
  // The system print dialog, started from these choices, then the run.
  void runPrint(const PrintChoices& choices);

  // ---- Notes and free text of the Markup tab (MainWindowMarkup.cpp) ----
  // "Заметка": the next click on a page places the note there.
  void addNoteOnCurrentPage();
  // Notes show their text when pointed at, and a waiting note is placed by a click.
  void watchNotes();
  // Asks for the note's text and writes it at a point measured from the top
  // of the shown page.
  void addNoteAt(int page, QPointF pageTopPoint);
  void showFreeTextDialog();

  // ---- Files in and out: open dialog (MainWindowOpenDialog.cpp), drops
  //      (MainWindowDrops.cpp), imports (MainWindowImport.cpp), the save and
  //      export chooser (MainWindowExportChooser.cpp), page tools
  //      (MainWindowPageTools*.cpp), shell actions (MainWindowShellActions.cpp) ----
  void onOpen();
  void onExtractPages();
  void onImportPageRequested(int beforeIndex);
  // Imports one file's pages at the position (0 end, 1 after, 2 before the
  // current page); false with lastImportError set. Refreshes nothing.
  bool importFile(const QString& path, int mode);
  // The password a PDF to import is read with: empty for an unlocked file,
  // else the one its open tab or the session keeps, else the one the user
  // types. Nothing when the user cancelled the password form.
  std::optional<QByteArray> passwordToImport(const QString& path);
  // The open dialogs' filter of what importFile takes.
  static QString importFileFilter();

  // ---- Scanning (MainWindowScanning.cpp) ----
  void showScanDialog();
  void onPageScanned(const QImage& image);

 protected:
  void setupShortcuts();
  void connectViewCommands();
  // Runs the page tools dialog for a shell "merge" from the event loop.
  void deferPageToolsMerge(const QList<QString>& files, bool fromShellAction);
  // A new untitled tab holding one blank A4 page, made active; imports with
  // nothing open land there.
  bool createUntitledDocument();
  // Thumbnails, view, title and page controls after pages were added, then
  // the status text.
  void refreshAfterImport(const QString& status);
  // Apply steps of the page tools dialog; true when the dialog may close.
  bool insertPagesFromFile(const QString& path, int position);
  // Extraction from the open document, or, with sourcePath, from that file
  // (the shell action's, with no document open); eachPageApart writes one
  // file per named page beside the chosen name.
  bool extractPagesToFile(const QString& pagesText, bool deleteAfter, bool eachPageApart,
                          const QString& sourcePath = QString());
  bool mergeFilesToPdf(const QList<QString>& paths, bool fromShellAction, bool openResult);
  QString lastImportError;

  // Font and paragraph controls of the Home tab; empty in editions without
  // text editing.
  QComboBox* fontFamilyCombo = nullptr;
  QSpinBox* fontSizeSpin = nullptr;
  QToolButton* boldButton = nullptr;
  QToolButton* italicButton = nullptr;
  QToolButton* underlineButton = nullptr;
  QToolButton* strikeOutButton = nullptr;
  QToolButton* superscriptButton = nullptr;
  QToolButton* subscriptButton = nullptr;
  QToolButton* growFontButton = nullptr;
  QToolButton* shrinkFontButton = nullptr;
  QToolButton* clearFormattingButton = nullptr;
  QToolButton* highlightColorButton = nullptr;
  QToolButton* textColorButton = nullptr;
  QToolButton* bulletListButton = nullptr;
  QToolButton* numberedListButton = nullptr;
  QToolButton* decreaseIndentButton = nullptr;
  QToolButton* increaseIndentButton = nullptr;
  QToolButton* alignLeftButton = nullptr;
  QToolButton* alignCenterButton = nullptr;
  QToolButton* alignRightButton = nullptr;
  QToolButton* alignJustifyButton = nullptr;
  // Set while the editor's format is copied into the controls, so that
  // showing a format never applies it again.
  bool syncingFormatControls = false;

  // Prints one sheet per entry of `sheets` (page indices, in this order);
  // reports the pages that could not be rendered (left blank) and returns them;
  // when the PDF file it prints to cannot be written, or the printer refuses
  // the job, it says so and returns all.
  QList<int> printPages(QPrinter& printer, const QList<int>& sheets);
  // The same, with the job a printer is handed once every sheet is drawn.
  QList<int> printPages(QPrinter& printer, const QList<int>& sheets, const PrinterJob* job);
  // Who takes a printer's finished file: CUPS unless set.
  std::function<QString(const PrinterJob&, const QString&)> handToPrinter;
  // Writes the view's pending block edits before a mark, note or text changes
  // a page, reloading the page's blocks in edit mode; false when they could
  // not be written (the change must not happen then).
  bool applyEditsBeforePageChange();
  // The document still open in some tab; false once its tab was closed.
  bool isOpenDocument(const PdfDocument* document) const;

  // The last search, shared by every search dialog and the find shortcut.
  QString lastSearchQuery;
  QList<SearchResult> searchResults;
  // Pages the last search could not read (refused before loading).
  QList<int> searchSkippedPages;
  QString searchSignature;
  int currentSearchIndex = -1;
  // The whole-document search under way, and what the window shows of it.
  struct SearchRun;
  std::shared_ptr<SearchRun> searchRun;
  // A run over every page from `startPage` round the document; with `jump`,
  // the first hit it meets is shown at once and the count goes on behind.
  std::shared_ptr<SearchRun> startSearchRun(const QString& query, const PdfDocument::FindOptions& options,
                                            int startPage, bool backwards, bool jump, bool wrap);
  // Waits for the run while the window goes on; false when it was stopped.
  bool waitForSearchRun(const std::shared_ptr<SearchRun>& run);
  // Takes the ended run's hits as the last search's; false when it is not
  // the run under way any more or was stopped.
  bool endSearchRun(const std::shared_ptr<SearchRun>& run);
  void showFirstSearchHit(const std::shared_ptr<SearchRun>& run, int page, const QList<QRectF>& rects);
  void finishFindRun(const std::shared_ptr<SearchRun>& run);
  // `next` as onFindNext chose it: a hit, -1 for none, -2 past an end.
  void goToSearchHit(int next, bool fromPage, const QString& query, const PdfDocument::FindOptions& options,
                     bool backwards, bool wrap);
  QString searchHitStatus(int index, const QString& query) const;
  void noteSkippedSearchPages();
  // The page-change read of a text layer under way; older ones are stale.
  struct PageTextRead;
  std::shared_ptr<PageTextRead> pageTextRead;
  QThreadPool* pageTextPool = nullptr;  // one reader: reads of one document queue anyway
  void showReadPageText(const std::shared_ptr<PageTextRead>& read, bool late);
  // Reads on the one reader thread; `ended` runs on the window's thread after.
  void startPageTextRead(const std::shared_ptr<PageTextRead>& read, std::function<void()> ended);
  bool showNativeTextLayer(int page, OwnPageText own, bool showStatus, const QRectF& textIn, bool anyText);
  // Drops the read under way; with `wait`, until no read touches a document.
  void forgetPageTextRead(bool wait = false);
  bool awaitingPageText = false;
  // The file just opened, whose status says so until its text layer is in.
  QString openedFileName;
  QFrame* searchBusyFrame = nullptr;
  BusyRing* searchBusyRing = nullptr;
  QLabel* searchBusyText = nullptr;
  QTimer* searchProgress = nullptr;

  // The one scan dialog and its tab; null once the dialog is destroyed.
  QPointer<QDialog> scanDialog;
  QPointer<ScanTab> scanTab;

  // Facsimiles waiting for the click that places them; (-1, -1) when none.
  QList<QImage> pendingFacsimileImages;
  QSizeF pendingFacsimileSizePt{-1, -1};
  // ---- Recognition of a page, a region or an image block (MainWindowOcr.cpp),
  //      of the whole document (MainWindowDocumentOcr.cpp), the page's text
  //      (MainWindowPageText.cpp) and page operations (MainWindowPageOperations.cpp) ----
 public slots:
  void runOcrPage(bool regionOnly);
  void onRunOcrRegion(int page, QRectF rect);
  void onRunOcr();
  void onOcrFinished(std::vector<TextBlock> blocks);
  bool ensureOcrReady();
  void onImageBlockActivated(int pageIndex, QRectF pdfRect);
  void showOcrProgressDialog();
  void runOcrDocument(QProgressBar* progress, QListWidget* log);
  // Drops the engine so that the next run starts one with the stored
  // languages; while a document run uses it, it goes when that run ends.
  void discardOcrEngine();
  void onCopyOcrText();
  void onExportOcrText();
  void onRotateCW();
  void onRotateCCW();
  void onRotateCurrentPage();
  void onInsertPageRequested(int beforeIndex);
  void onDeletePageRequested(int index);
  void onMovePageRequested(int from, int to);

 protected:
  // The shared engine, initialised with these languages on first use; null
  // (and none kept) when it cannot start.
  OcrEngine* readyOcrEngine(const QString& languages);
  void finishOcrRun();
  void switchEditModeOn();
  // Writes one page's recognised blocks as its text layer during a document run.
  virtual bool writeRecognisedPage(PdfDocument* document, int page, const std::vector<TextBlock>& blocks);
  // Checks and renders one page for a document run, on a worker thread; it
  // reads the document only.
  virtual PreparedPage prepareDocumentOcrPage(PdfDocument* document, int page, bool skipTextPages,
                                              double storedZoom) const;
  // What a page of a document run will hold at its peak, asked on a worker
  // thread before the page is prepared.
  virtual qint64 documentOcrPageBytes(PdfDocument* document, int page, double storedZoom) const;
  // A page operation may start: a PDF is open, no document run changes pages
  // meanwhile, and the pending block edits are written.
  bool pageOperationMayStart();
  // Thumbnails, view, current page, title and page controls after a change
  // of the page list.
  void refreshAfterPageListChange(int page);
  void rotateCurrentPageBy(int degrees);

  std::unique_ptr<OcrEngine> ocrEngine;
  // The optional layout model, probed once at start-up.
  LayoutDetector layoutDetector;
  bool ocrEngineDiscardPending = false;
  // The document a document run writes into; cleared when that document goes.
  PdfDocument* ocrRunDocument = nullptr;
  // The user asked the document run to stop after the page it is on; stays
  // set after that run so that its dialog can say it was stopped.
  bool ocrStopRequested = false;
  // The workers of that run; they read the document, so it is cancelled
  // before the document goes.
  ParallelPageRecognition* ocrRecognition = nullptr;
  QPointer<QDialog> ocrProgressDialog;
};
