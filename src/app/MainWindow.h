#pragma once
// The one top-level window of the interactive program: ribbon, left panel,
// workspace with the document tabs, page view and floating bar, and the open
// documents. One class, its members split over several MainWindow*.cpp files
// by theme.

#include "AppProduct.h"
#include "core/PdfDocument.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QRectF>
#include <QString>

#include <memory>
#include <vector>

class PageThumbnailPanel;
class QDialog;
class QImage;
class ScanTab;
class PdfDocument;
class PdfView;
class QComboBox;
class QLabel;
class QProgressBar;
class QSpinBox;
class QTabBar;
class QTabWidget;
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
  void onZoomComboChanged(const QString& text);
  void updateZoomCombo();
  void updateTitle();
  void refreshDocumentTabs();

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
  void showOcrProgressDialog();
  void showPageToolsDialog(const QList<QString>& files, bool fromShellAction);
  void showAnnotationPropertiesDialog();
  void showDocumentPropertiesDialog();
  void showSettingsDialog();
  void showAboutDialog();
  void showSearchDialog();
  void onRotateCCW();
  void onRotateCW();
  void runShellAction(const QString& action, const QList<QString>& files, bool fromShellAction);
  void showEcpStartup(const QList<QString>& files);

  // ---- The road of one edit: text layer of a page (MainWindowTextLayer.cpp),
  //      pending edits, OCR bar and edit mode (MainWindowEditing.cpp), saving
  //      (MainWindowSaving.cpp), left panel and outline (MainWindowLeftPanel.cpp) ----
  bool loadNativeTextLayerForPage(int page, bool showStatus);
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

 protected:
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
  // Save-as once the name is chosen: pending edits first, then the write.
  bool saveActiveDocumentAs(const QString& fileName);
  QWidget* buildWorkspace();
  QWidget* buildFloatingBar();

  // Detaches the view and the thumbnails from a document and destroys it; no
  // document is deleted while a render still reads it.
  void destroyDocument(std::unique_ptr<PdfDocument> document);
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
  int ocrPage = -1;
  int pendingSelectionPage = -1;
  QRectF pendingSelectionRect;

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
  void onThumbnailMovePage(int from, int to);
  void onThumbnailDeletePage(int index);
  void onThumbnailInsertPage(int beforeIndex);
  void onThumbnailImportPage(int beforeIndex);

  // Entry points of features still to come (MainWindowPending.cpp).
  void showImportDialog();
  void importFilesAt(const QString& kind, int mode);
  // A workbook's sheets appended to the document through the spreadsheet
  // dialog: the pages added, or -1 when the user cancelled; error says why
  // nothing was added.
  int appendSpreadsheetPages(PdfDocument* document, const QString& path, QString* error);
  void showSignatureDialog(bool fromShellAction, const QList<QString>& batch, const QList<QString>& skipped,
                           const QString& path);
  void showCompressedPdfExportDialog(const QString& suggestedPath, bool fromShellAction);
  void showSpecialCharactersDialog();
  void onFacsimileInsert();
  void onFacsimileAdd();
  void onFacsimileEdit();
  void checkForUpdates();

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
  void showScannedPdfExportDialog(const QString& suggestedPath);

  // ---- Scanning (MainWindowScanning.cpp) ----
  void showScanDialog();
  void onPageScanned(const QImage& image);

 protected:
  void setupShortcuts();
  void connectViewCommands();
  // A page command runs only where the edition may edit pages (and import,
  // when it imports).
  void runPageCommand(const QString& command, bool imports);
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
  bool extractPagesToFile(const QString& pagesText, bool deleteAfter);
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

  // The one scan dialog and its tab; null once the dialog is destroyed.
  QPointer<QDialog> scanDialog;
  QPointer<ScanTab> scanTab;
};
