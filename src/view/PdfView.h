#pragma once
// The central page widget: lays out the pages of the shown document, renders
// them on the global thread pool and paints them with their highlights.
// One class over several files: PdfView.cpp (document, teardown, search,
// appearance), PdfViewLayout.cpp (geometry, zoom, rotation, navigation),
// PdfViewRendering.cpp (render cache and jobs), PdfViewPainting.cpp.

#include "BlockTextRenderer.h"
#include "core/PdfDocument.h"
#include "core/TextBlock.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QHash>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QSet>
#include <QString>
#include <QTextCharFormat>
#include <QTextListFormat>
#include <QTransform>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class BlockEditorFrame;
class QContextMenuEvent;
class QFrame;
class QMouseEvent;
class QPainter;
class QRubberBand;
class QRegularExpression;
class QTextEdit;
template <typename T>
class QFutureWatcher;

enum class ViewMode {
  SinglePage = 0,
  Continuous = 1,
};

// The pointer tool of the page view; the two insert tools fall back to
// Select after one area.
enum class EditTool {
  Hand = 0,
  Select = 1,
  InsertText = 2,
  InsertImage = 3,
};

class PdfView : public QAbstractScrollArea {
  Q_OBJECT

public:
  // One cached rendering of a page.
  struct PageCache {
    int page = -1;
    double zoom = 1.0;
    int rotation = 0;  // effective rotation in degrees
    PdfRenderLayer layer = PdfRenderLayer::Full;
    bool transparent = false;
    QImage image;
    quint64 paintedIn = 0;  // the last paint that drew it
  };

  explicit PdfView(QWidget* parent = nullptr);
  ~PdfView() override;

  // ---- Document and teardown ----
  void setDocument(PdfDocument* doc);
  // Call before deleting a document: when it is the shown one the view lets
  // go of it; in every case no render job of this view runs on it afterwards.
  void releaseDocument(PdfDocument* doc);
  // Cancels the jobs that have not started and waits for the running ones.
  // `interruptChecks`: the document is still open, and a job waiting for a
  // page's check may give up.
  void waitForRenderJobs(bool interruptChecks = true);
  PdfDocument* shownDocument() const { return document; }

  // ---- Layout and mapping ----
  // Page rectangles are in points of the shown page (y up from its bottom
  // edge); "page top" points measure y down from its top edge. The view
  // rotation of a page is honoured by every mapping.
  QPoint pageOffset(int page) const;
  QRectF pdfRectToScreenRect(int page, const QRectF& rect) const;
  QRectF screenContentRectToPdf(const QRect& rect) const;
  QRectF viewToPage(int page, const QPoint& viewportPoint) const;
  QPoint viewportPointForPageTopPoint(int page, const QPointF& pagePoint) const;
  QRect viewportRectForPageTopRect(int page, const QRectF& pageRect) const;
  int pageAtPoint(const QPoint& viewportPoint) const;
  int dominantVisiblePage() const;
  int effectiveRotation(int page) const;

  // ---- Zoom, rotation, mode and navigation ----
  // Zooms keeping the page point under the viewport's centre where it is.
  void setZoom(double newZoom);
  // Zooms keeping the page point under a viewport point (the pointer) there.
  void setZoomAround(double newZoom, const QPoint& anchor);
  void zoomIn();
  void zoomOut();
  void zoomFit();
  void zoomFitWidth();
  void setRotation(int degrees);
  void rotateCurrentPageView(int delta);
  void setViewMode(ViewMode mode);
  void setCurrentPage(int index);
  void ensurePageVisible(int page);
  // Scrolls so that the page's top edge shows at the top of the viewport.
  void showPageTop(int page);
  // Scrolls so that the place `topPoints` below the page's top (as shown)
  // is at the top of the viewport; the page's top when it is below 0.
  void showPageAt(int page, double topPoints);
  void updateCurrentPageFromViewport();
  void updateScrollBars();

  double zoomFactor() const { return zoom; }
  int globalRotation() const { return rotation; }
  int currentPageIndex() const { return currentPage; }
  ViewMode currentViewMode() const { return viewMode; }

  // ---- Search highlights and appearance ----
  void setSearchHighlights(int page, const QList<QRectF>& rects, int current);
  void clearSearchHighlights();
  int searchHitPage() const { return searchPage; }
  int currentSearchHitIndex() const { return currentSearchHit; }
  const QList<QRectF>& searchHitRects() const { return searchRects; }
  void setCanvasTheme(bool dark);
  void setOcrDebugLabelsVisible(bool visible);
  bool ocrDebugLabelsShown() const { return ocrDebugLabelsVisible; }
  void setEmptyPlaceholderText(const QString& text);

  // ---- Render cache ----
  const QImage& cachedPageLayer(int page, PdfRenderLayer layer, bool transparent);
  const QImage& cachedPage(int page);
  void requestPageRender(int page, double renderZoom, int renderRotation, PdfRenderLayer layer, bool transparent);
  QString pageRenderKey(int page, double renderZoom, int renderRotation, PdfRenderLayer layer,
                        bool transparent) const;
  void invalidateCache();
  void invalidatePageCache();
  // Lets go of the page images the last paint did not show: a print run
  // needs the memory they hold at a high zoom.
  void releaseUnseenPages();
  int renderJobsInFlight() const { return rendersInFlight; }


  // ---- Block overlay: the editable blocks of one page ----
  void setOcrBlocks(const std::vector<TextBlock>& blocks, int page, bool edited);
  // The blocks with the open editor's text folded into the active one.
  std::vector<TextBlock> ocrBlocksWithEdits() const;
  // What the page must be written with: the blocks with the editor's text,
  // then one empty block for each of the page's own blocks that was deleted
  // or moved to another page, so that its old content goes.
  std::vector<TextBlock> ocrBlocksToWrite() const;
  // The active text block takes typed keys (opened by a click into it or a
  // typed key); until then Delete removes it and a drag of its body moves it.
  bool activeBlockOpenedForTyping() const { return blockOpenForTyping; }
  void clearOcrBlocks();
  void markOcrBlocksDirty();
  void clearOcrBlockSelection();
  static bool blockMoved(const TextBlock& b);
  static bool blockTextEdited(const TextBlock& b);
  void activateOcrBlock(int index);
  void deactivateOcrBlock();
  void setEditMode(bool on);
  bool isEditMode() const { return editMode; }
  QTextEdit* activeTextEditor() const;
  bool hasActiveTextEditor() const { return activeTextEditor() != nullptr; }
  void repositionBlockEditor();
  void undo();
  void redo();
  bool canUndo() const { return !undoStack.empty(); }
  bool canRedo() const { return !redoStack.empty(); }
  void clearUndoHistory();
  // Replaces the matches of `expression` in the text blocks of the page being
  // edited (the first one only unless `all`), as one undo step; how many.
  int replaceTextInBlocks(const QRegularExpression& expression, const QString& replacement, bool all);
  // What the window reads of the overlay: the blocks, their page (-1 for
  // none) and whether they hold edits not yet written into the page.
  const std::vector<TextBlock>& currentOcrBlocks() const { return ocrBlocks; }
  int ocrBlocksPageIndex() const { return ocrBlocksPage; }
  bool hasOcrEdits() const { return ocrBlocksDirty; }

  // ---- Block operations, new blocks, pointer input, text selection, links, menus ----
  // (PdfViewBlockOps.cpp, PdfViewPlacement.cpp, PdfViewInsertEditor.cpp, PdfViewInput.cpp,
  // PdfViewTextSelection.cpp, PdfViewLinks.cpp, PdfViewContextMenus.cpp)
  void reorderSelectedOcrBlocks(int mode);
  void deleteSelectedOcrBlocks();
  void selectOcrBlock(int index, bool additive);
  void selectOcrBlocksInRect(const QRect& viewportRect);
  // False when no single image block is selected to take the picture.
  bool updateSelectedImageBlock(const QImage& image);
  void groupSelectedOcrBlocks();
  void ungroupSelectedOcrBlocksToWords();
  static QRectF ungroupedWordBlockRect(const QRectF& wordRect, const QRectF& lineRect, double fontSize);
  QSet<int> selectedOcrBlockIndices() const { return selectedOcrBlocks; }
  int activeOcrBlockIndex() const { return activeOcrBlock; }

  // False when nothing was added (bad arguments, an area too small, or the
  // loaded page's pending edits could not be handed over first).
  bool appendEditableTextBlock(int page, const QRectF& rect, const QString& text, const QString& fontFamily,
                               float fontSize, const QColor& color);
  bool appendEditableImageBlocks(int page, const QRectF& rect, const QList<QImage>& images);
  bool appendEditableImageBlock(int page, const QRectF& rect, const QImage& image);
  void setImagePlacementPreview(const QList<QImage>& images, const QSizeF& size);
  void clearImagePlacementPreview();
  // Asked before a new block on another page discards the loaded page's
  // unsaved edits: the handler writes them into the document and answers
  // whether that worked. Without a handler, or when it fails, nothing is added.
  using PendingEditsHandler = std::function<bool(int page, const std::vector<TextBlock>& blocks)>;
  void setPendingEditsHandler(PendingEditsHandler handler) { pendingEditsHandler = std::move(handler); }

  void showInlineEditor(int page, QRectF area);
  void hideInlineEditor();
  void commitInlineEditor();

  void setEditTool(EditTool tool);
  EditTool currentEditTool() const { return editTool; }
  // While a markup tool is chosen a drag selects page text (or draws a
  // region) in either mode, never a block, and ends with markupDragFinished.
  void setMarkupToolChosen(bool chosen) { markupTool = chosen; }
  bool markupToolChosen() const { return markupTool; }

  bool selectableTextAtViewportPoint(const QPoint& viewportPoint) const;
  // `spans`, when given, gets each selected line's stretch from the press to
  // the release as the pointer went (not rounded to letters), in the same
  // space as the highlights.
  QList<QRectF> collectTextSelectionHighlights(int page, const QPointF& start, const QPointF& end,
                                               QString* text, QList<QRectF>* spans = nullptr) const;
  QRectF currentSelectionPageTopRect() const;
  QRect currentSelectionViewportRect() const;
  bool lastSelectionContainsViewportPoint(const QPoint& viewportPoint) const;
  void clearLastRegionSelection();
  // The area Copy and Paste take: the one a drag marked, only while it is
  // drawn on its page. True and the area's page and page-top rectangle when
  // there is one.
  bool markedArea(int* page, QRectF* pageTopRect) const;
  // Marks an area as a drag over it does, replacing the one marked before.
  void markArea(int page, const QRectF& pageTopRect);
  void clearSelection();
  QPointF selectionPdfPointForViewportPoint(int page, const QPoint& p) const;
  QRectF selectionPdfRectForViewportRect(int page, const QRect& r) const;
  QString selectedPageText() const { return selectedText; }
  // Drops the cached selectable lines; call when a page's content changed.
  void invalidateSelectableTextCache();

  // Asked before a file is launched or an unknown scheme is opened; without
  // one the view asks the user.
  using LinkConfirmation = std::function<bool(const QString& target)>;
  void setLinkConfirmation(LinkConfirmation confirm) { linkConfirmation = std::move(confirm); }
  bool activateLinkAtViewportPoint(const QPoint& viewportPos);
  // A link of the document that leaves it (a page link or a bookmark): web
  // links open, anything else only after the confirmation.
  void openExternalLink(const QUrl& url);

  int hoveredOcrBlock(QPointF viewportPos) const;
  QRectF ocrGroupScreenRect(int groupId) const;
  void showDocumentContextMenu(const QPoint& viewportPos, const QPoint& globalPos);
  void showOcrBlockContextMenu(const QPoint& viewportPos, const QPoint& globalPos);
  void copySelectedOcrBlocksToClipboard();
  // Copies the selected blocks and removes them (menu "Вырезать", Ctrl+X).
  void cutSelectedOcrBlocks();
  // Pastes the blocks last cut or copied in the view while the clipboard
  // still holds their text: at the last clicked place of a page, else where
  // they were, on the shown page. False when there was nothing to paste.
  bool pasteOcrBlocks();
  // Blocks were cut or copied here and the clipboard still holds their text.
  bool hasPastableBlocks() const;

  // ---- Editing the active block in place and formatting its text ----
  // (PdfViewBlockEditing.cpp, PdfViewTextFormat.cpp)
  QRect ocrBlockScreenRect(int index) const;
  void fitKeptLinesBlockToContent(TextBlock& block, QTextEdit* editor);
  void fitActiveTextBlockToContent();
  void rescaleActiveBlockEditor(double factor);
  bool activeBlockUsesFixedLineLayout() const;
  // Whether the open block's text breaks where the editor's width ends, as
  // the page gets it (a new text block), not only at its line feeds.
  bool activeBlockWraps() const;
  void mergeActiveTextFormat(const QTextCharFormat& format);
  void setActiveTextFontFamily(const QString& family);
  void setActiveTextFontSize(int points);
  void setActiveTextBold(bool on);
  void setActiveTextItalic(bool on);
  void setActiveTextUnderline(bool on);
  void setActiveTextStrikeOut(bool on);
  void setActiveTextSuperscript(bool on);
  void setActiveTextSubscript(bool on);
  void setActiveTextColor(const QColor& color);
  void setActiveTextBackgroundColor(const QColor& color);
  void clearActiveTextFormatting();
  void mergeActiveBlockFormat(const QTextBlockFormat& format);
  void setActiveTextAlignment(Qt::Alignment alignment);
  void adjustActiveTextIndent(int delta);
  void setActiveTextBulletedList();
  void setActiveTextNumberedList();
  bool insertTextIntoActiveEditor(const QString& text);
  void updateActiveBlockText(const QString& text);
  void connectActiveTextEditorSignals(QTextEdit* editor);
  void emitActiveTextFormat();

signals:
  void pageChanged(int index);
  void zoomChanged(double zoom);
  void textSelected(QString text);
  void selectionRectReady(int page, QRectF rect);
  // A drag left an area marked and drawn, for Copy and Paste to take.
  void areaMarked(int page, QRectF pageTopRect);
  // Follows selectionRectReady when the drag selected page text: the stretch
  // of each selected line, page-top points.
  void textSpansSelected(int page, QList<QRectF> spans);
  // A drag with a markup tool chosen is over; its selection has been sent.
  void markupDragFinished(int page);
  void ocrRegionRequested(int page, QRectF rect);
  void imageBlockActivated(int pageIndex, QRectF pdfRect);
  void imageBlockEditRequested(QImage image);
  void imageRectReady(int page, QRectF pageRect);
  void textInserted(int page, QRectF pageRect, QString text);
  void activeTextEditorAvailable(bool available);
  // The user began to change text the page draws in a way a typed line cannot take.
  void textEditRefused(QString why);
  void activeTextFormatChanged(QString family, int size, bool bold, bool italic, bool underline, bool strikeOut,
                               bool superscript, bool subscript, Qt::Alignment alignment);
  void ocrBlocksEdited();
  // Blocks left the page for the clipboard, or came back from it.
  void ocrBlocksCut(int count);
  void ocrBlocksPasted(int page, int count);
  void undoRedoAvailabilityChanged(bool canUndo, bool canRedo);
  // Undo or redo brought the blocks back to how they were loaded.
  void ocrEditsReverted();
  void editModeChanged(bool on);

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  // Pointer, wheel and keys (PdfViewInput.cpp); the inline editor's keys (PdfViewInsertEditor.cpp).
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Menus open on the press; the event that follows must not open another.
  void contextMenuEvent(QContextMenuEvent* event) override;
  // Tab walks the loaded blocks instead of the focus chain.
  bool focusNextPrevChild(bool next) override;

private:
  // Values of one painted page, formed once per paint and shared by every step.
  struct PageGeometry {
    int page = -1;
    int left = 0;  // viewport pixels
    int top = 0;
    int pageWidthPx = 0;  // on screen, after the view rotation
    int pageHeightPx = 0;
    double pageHeightPt = 0;  // the shown page's own height in points
    QRect rect;
  };

  // Continuous layout as prefix sums, rebuilt only when an input changes:
  // every lookup is then O(1) or a binary search.
  struct Layout {
    bool valid = false;
    const PdfDocument* doc = nullptr;
    int pageCount = 0;
    std::vector<QSize> screenSizes;
    std::vector<qint64> tops;  // content y of each page; one more entry: the content height
    int maxWidth = 0;
  };

  // Layout (PdfViewLayout.cpp)
  int pageCountOrZero() const;
  bool isValidPage(int page) const;
  const Layout& layout() const;
  void invalidateLayout();
  QSize pageScreenSize(int page) const;
  qint64 pageContentTop(int page) const;
  // Pages whose vertical extent meets the content rows [top, bottom].
  std::pair<int, int> pagesInContentRows(qint64 top, qint64 bottom) const;
  // Top-origin points of the shown page to viewport pixels.
  QTransform pageTopToViewport(int page) const;
  PageGeometry pageGeometry(int page) const;

  // Rendering (PdfViewRendering.cpp)
  void onRenderFinished(QFutureWatcher<QImage>* watcher, const QString& key, int page, double renderZoom,
                        int renderRotation, PdfRenderLayer layer, bool transparent, int generation);

  // Painting (PdfViewPainting.cpp)
  void paintBackground(QPainter& painter) const;
  void paintPage(QPainter& painter, const PageGeometry& g);
  // Whether the page has waited for its check long enough to say so.
  bool checkWaitLasts(int page);
  void paintSearchHits(QPainter& painter, int page) const;
  void paintTextHighlights(QPainter& painter, int page) const;
  void paintLastRegion(QPainter& painter, int page) const;

  // ---- View core ----
  PdfDocument* document = nullptr;
  double zoom = 1.0;
  int rotation = 0;
  QHash<int, int> pageRotations;
  int currentPage = 0;
  ViewMode viewMode = ViewMode::Continuous;
  bool darkCanvas = false;
  QString emptyPlaceholderText;
  int searchPage = -1;
  QList<QRectF> searchRects;
  int currentSearchHit = -1;
  bool ocrDebugLabelsVisible = false;
  mutable Layout pageLayout;

  // ---- Render cache ----
  std::vector<PageCache> pageCache;
  quint64 paints = 0;
  int renderGeneration = 0;
  int rendersInFlight = 0;
  QSet<QString> pendingRenderKeys;
  QImage noImage;
  // When each page still waiting for its check was first painted without its
  // image (ms of a steady clock): only a wait that lasts is announced.
  QHash<int, qint64> checkWaitSince;
  QList<QFutureWatcher<QImage>*> renderWatchers;
  // Jobs that have not started yet give up when their batch is cancelled.
  std::shared_ptr<std::atomic<bool>> renderCancel;

  // ---- Text selection and marked region, as painted ----
  int highlightPage = -1;
  QList<QRectF> highlightRects;  // shown-page points
  int lastRegionPage = -1;
  QRectF lastRegionRect;  // page-top points
  bool lastRegionIsRegion = false;

  // ---- Block overlay (PdfViewBlocks.cpp, PdfViewBlockEditor.cpp, PdfViewUndo.cpp) ----
  // The undo record of the whole overlay.
  struct EditSnapshot {
    std::vector<TextBlock> blocks;
    std::vector<int> groupIds;
    std::vector<TextBlock> removed;
    QSet<int> selectedBlocks;
    QString label;
    int page = -1;
    int activeBlock = -1;
    int nextGroupId = 1;
    bool edited = false;
  };
  static constexpr std::size_t kMaxUndoSteps = 100;

  void normalizeEditableBlockFontSizes();
  bool isValidBlockIndex(int index) const { return index >= 0 && index < static_cast<int>(ocrBlocks.size()); }
  void onActiveEditorTextChanged();
  void onBlockFrameRectChanged(QRect newRect);
  void onBlockFrameRotationChanged(double degrees);
  EditSnapshot makeEditSnapshot(const QString& label, bool includeActiveEditor) const;
  void pushUndoSnapshot(const QString& label, bool includeActiveEditor);
  void captureActiveEditorUndoIfNeeded(const QString& label, bool includeActiveEditor);
  void captureBlockInteractionUndoIfNeeded(const QString& label);
  // A command on the active editor (format, paragraph, list, inserted text)
  // is one undo step of its own; typing after it starts the next step.
  void pushEditorCommandUndo(const QString& label);
  void restoreEditSnapshot(const EditSnapshot& s);
  void stepHistory(std::vector<EditSnapshot>& from, std::vector<EditSnapshot>& to, const QString& label);
  void emitUndoRedoAvailability();

  std::vector<TextBlock> ocrBlocks;  // painting order, last frontmost
  std::vector<int> ocrBlockGroupIds;  // 0 = no group
  // The page's own blocks that were deleted or moved away, as empty blocks
  // at their old places (PdfViewBlockMoves.cpp).
  std::vector<TextBlock> removedOcrBlocks;
  // Where blocks made in the view (placed, pasted, moved in) first stood:
  // deleting one of those leaves nothing of the page's to take away.
  QList<QRectF> placedBlockPlaces;
  // Blocks last cut or copied, and the clipboard text they went with.
  std::vector<TextBlock> blockClipboard;
  QString blockClipboardText;
  int pastePage = -1;
  QPointF pastePoint;  // page-top points of the last press on empty page area
  bool blockOpenForTyping = false;
  bool bodyPressed = false;  // a press on the body of a block not open for typing
  bool textPointerHeld = false;  // a press into a block open for typing, until its release
  bool editorTakesPointer = false;  // a press on the active block's words past its frame, until its release
  QPoint bodyPressGlobal;
  QPoint bodyPressLocal;  // in the frame
  mutable QHash<qint64, QImage> removedInkMasks;  // by the ink image's cache key
  QSet<int> selectedOcrBlocks;
  int nextOcrGroupId = 1;
  int ocrBlocksPage = -1;
  int activeOcrBlock = -1;
  bool ocrBlocksDirty = false;
  bool editMode = false;
  bool markupTool = false;
  BlockEditorFrame* blockEditorFrame = nullptr;  // created on the first activation
  bool editorSyncInProgress = false;
  std::vector<EditSnapshot> undoStack;  // newest last
  std::vector<EditSnapshot> redoStack;
  bool restoringSnapshot = false;
  bool editorUndoCaptured = false;
  int editorUndoBlock = -1;
  bool blockInteractionUndoCaptured = false;
  mutable BlockTextRenderer blockTextRenderer;

  // ---- Block editing and overlay painting (PdfViewBlockEditing.cpp,
  // PdfViewTextFormat.cpp, PdfViewOverlayPainting.cpp) ----
  // The per-pixel results of one block, kept until the block, the zoom or
  // the page image changes. Positions are page pixels, free of the scroll.
  struct OverlayPatch {
    QRectF sourceRect;  // originalRect of the block it was made for
    double zoom = 0;
    qint64 pageImageKey = 0;
    qint64 inputKey = 0;  // image of an ink block, or the text drawn under it
    QRectF target;        // where the patch goes, relative to the page's corner
    QImage image;
  };

  void placeBlockEditor(bool scrollIntoView);
  void markActiveBlockEdited();
  bool refuseActiveBlockEdit();
  void scheduleActiveBlockFit();
  void runListCommand(const QString& label, QTextListFormat::Style style);
  bool inkModeActive(int page) const;
  void paintInkLayerRestoration(QPainter& painter, const PageGeometry& g, const QImage& pageImage);
  void paintBlockOverlay(QPainter& painter, const PageGeometry& g, const QImage& pageImage);
  // Paints the page's background over `place` (old glyphs cleaned away), built once into `slot`.
  // What the page draws after an edited block's old line, over the new text.
  void paintDrawnOver(QPainter& painter, const PageGeometry& g, const QImage& pageImage, int index);
  void paintCleanedBackground(QPainter& painter, const PageGeometry& g, const QImage& pageImage, const QRectF& place,
                              OverlayPatch* slot);
  void paintBlockOutline(QPainter& painter, int blockIndex, const QRectF& screen);
  void paintFontLabel(QPainter& painter, const TextBlock& block, const QRectF& screen);
  QRectF groupScreenRect(int groupId) const;
  QRectF mappedPageRect(const PageGeometry& g, const QRectF& rect) const;

  bool fittingActiveBlock = false;
  bool placingBlockEditor = false;
  std::vector<OverlayPatch> cleaningPatches;     // by block index
  std::vector<OverlayPatch> coverPatches;        // what the page draws over each block, by block index
  std::vector<OverlayPatch> removedPatches;      // by removed block
  std::vector<OverlayPatch> inkRestorePatches;   // by block index
  std::vector<OverlayPatch> inkMasks;            // by block index
  int overlayPatchBuilds = 0;                    // per-pixel passes run, for tests and measurements
  bool overlayCachingEnabled = true;

  // ---- Block operations, new blocks, pointer input, text selection, links, menus ----
  enum class SelectionMode { None = 0, Text = 1, Region = 2, Blocks = 3 };
  // One line of page text as the selection sees it (bottom-origin points).
  // A turned line is measured along its own text: `lineRect` is its box
  // unturned and `turn` shows it on the page; `rect` is where it shows.
  struct SelectableLine {
    QString text;
    QRectF rect;
    float fontSize = 0;
    QRectF lineRect;
    QTransform turn;
    double rotation = 0;
    // Where each letter of `text` starts along lineRect, and where the last
    // one ends (n + 1 values); empty when only the line's box is known.
    QList<double> edges;
  };
  // The native lines of one page, kept until the page or its content changes.
  struct SelectableLineCache {
    const PdfDocument* doc = nullptr;
    int page = -1;
    int pageCount = 0;
    QSizeF pageSize;
    QList<SelectableLine> lines;
  };

  void replaceOverlayBlocks(std::vector<TextBlock> blocks, std::vector<int> groupIds);
  bool moveBlockWithFrame(TextBlock& block, const QRect& newRect);
  // PdfViewBlockMoves.cpp
  bool blockCameFromPage(const TextBlock& block) const;
  void rememberRemovedBlock(const TextBlock& block);
  void keepBaselinesForAnotherPlace(TextBlock& block, int page) const;
  // Keeps the selected blocks for a paste and puts what they say on the
  // system clipboard; the text put there (empty for pictures alone).
  QString storeSelectedOcrBlocks();
  void paintRemovedBlocks(QPainter& painter, const PageGeometry& g, const QImage& pageImage);
  void settleActiveBlockPage();
  // The blocks under a block that grew down from `oldBottom` (points, y up)
  // make room for its new lines.
  void pushBlocksBelow(int index, double oldBottom);
  bool moveActiveBlockToPage(int target);
  bool handleActiveEditorEvent(QObject* watched, QEvent* event);
  void openActiveBlockForTyping(const QPoint& editorViewportPos, bool placeCaret);
  int previewPositionForEditorPoint(const QPoint& editorViewportPos) const;
  // The active block as its preview lays it out: the editor's text in the
  // rectangle the frame holds.
  TextBlock activeShownBlock(QRectF* screenRect) const;
  // Where block i's words show on screen: its box, and the typed words the
  // preview draws past it.
  QRectF shownTextScreenRect(int i) const;
  bool forwardToActiveEditor(QMouseEvent* event);
  bool handleOpenEditorMouse(QWidget* watched, QMouseEvent* mouse);
  bool prepareOverlayForPage(int page);
  void switchOverlayToPage(int page);
  void paintPlacementPreview(QPainter& painter, const PageGeometry& g) const;
  QList<SelectableLine> selectableLines(int page) const;
  bool levelDragCrossesText(int page) const;
  void updateInteractiveSelectionPreview();
  void updateSelectionEndFromViewport(const QPoint& p);
  QRubberBand* selectionRubberBand();
  void finishSelectionDrag(const QPoint& position, Qt::KeyboardModifiers modifiers);
  void activateNeighbourTextBlock(bool forward);
  void goToPageByKey(int page);
  void openLinkUrl(const QUrl& url, bool trusted);

  EditTool editTool = EditTool::Select;
  SelectionMode selectionMode = SelectionMode::None;
  bool selecting = false;
  QPoint selectionStart;
  QPoint selectionEnd;
  int selectionPage = -1;
  QPointF selectionStartOnPage;
  QPointF selectionEndOnPage;
  bool panning = false;
  QPoint panStart;
  int panStartHorizontal = 0;
  int panStartVertical = 0;
  int pressedBlock = -1;
  QRubberBand* rubberBand = nullptr;
  QString selectedText;
  mutable SelectableLineCache selectableLineCache;
  QFrame* inlineFrame = nullptr;
  QTextEdit* inlineTextEdit = nullptr;
  int inlinePage = -1;
  QRectF inlineArea;
  // The typing box of a new block holds all of its wrapped lines.
  void fitInlineEditor();
  QList<QImage> placementImages;
  QSizeF placementSize{-1, -1};
  QPoint placementCursor;
  bool placementActive = false;
  QRect blockFrameLastRect;  // viewport pixels: the frame at the last step of its gesture
  PendingEditsHandler pendingEditsHandler;
  LinkConfirmation linkConfirmation;

  friend struct PdfViewTestAccess;
  friend struct PdfViewSelectionAccess;
};
