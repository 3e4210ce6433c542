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
#include <memory>
#include <vector>

class BlockEditorFrame;
class QPainter;
class QTextEdit;
template <typename T>
class QFutureWatcher;

enum class ViewMode {
  SinglePage = 0,
  Continuous = 1,
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
  };

  explicit PdfView(QWidget* parent = nullptr);
  ~PdfView() override;

  // ---- Document and teardown ----
  void setDocument(PdfDocument* doc);
  // Call before deleting a document: when it is the shown one the view lets
  // go of it; in every case no render job of this view runs on it afterwards.
  void releaseDocument(PdfDocument* doc);
  // Cancels the jobs that have not started and waits for the running ones.
  void waitForRenderJobs();
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
  void setZoom(double newZoom);
  void zoomIn();
  void zoomOut();
  void zoomFit();
  void zoomFitWidth();
  void setRotation(int degrees);
  void rotateCurrentPageView(int delta);
  void setViewMode(ViewMode mode);
  void setCurrentPage(int index);
  void ensurePageVisible(int page);
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
  int renderJobsInFlight() const { return rendersInFlight; }


  // ---- Block overlay: the editable blocks of one page ----
  void setOcrBlocks(const std::vector<TextBlock>& blocks, int page, bool edited);
  // The blocks with the open editor's text folded into the active one.
  std::vector<TextBlock> ocrBlocksWithEdits() const;
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
  // What the window reads of the overlay: the blocks, their page (-1 for
  // none) and whether they hold edits not yet written into the page.
  const std::vector<TextBlock>& currentOcrBlocks() const { return ocrBlocks; }
  int ocrBlocksPageIndex() const { return ocrBlocksPage; }
  bool hasOcrEdits() const { return ocrBlocksDirty; }

  // ---- Editing the active block in place and formatting its text ----
  // (PdfViewBlockEditing.cpp, PdfViewTextFormat.cpp)
  QRect ocrBlockScreenRect(int index) const;
  void fitActiveTextBlockToContent();
  void rescaleActiveBlockEditor(double factor);
  bool activeBlockUsesFixedLineLayout() const;
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
  void ocrRegionRequested(int page, QRectF rect);
  void imageBlockActivated(int pageIndex, QRectF pdfRect);
  void imageBlockEditRequested(QImage image);
  void imageRectReady(int page, QRectF pageRect);
  void textInserted(int page, QRectF pageRect, QString text);
  void activeTextEditorAvailable(bool available);
  void activeTextFormatChanged(QString family, int size, bool bold, bool italic, bool underline, bool strikeOut,
                               bool superscript, bool subscript, Qt::Alignment alignment);
  void ocrBlocksEdited();
  void undoRedoAvailabilityChanged(bool canUndo, bool canRedo);

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

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
  int renderGeneration = 0;
  int rendersInFlight = 0;
  QSet<QString> pendingRenderKeys;
  QImage noImage;
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
  void restoreEditSnapshot(const EditSnapshot& s);
  void stepHistory(std::vector<EditSnapshot>& from, std::vector<EditSnapshot>& to, const QString& label);
  void emitUndoRedoAvailability();

  std::vector<TextBlock> ocrBlocks;  // painting order, last frontmost
  std::vector<int> ocrBlockGroupIds;  // 0 = no group
  QSet<int> selectedOcrBlocks;
  int nextOcrGroupId = 1;
  int ocrBlocksPage = -1;
  int activeOcrBlock = -1;
  bool ocrBlocksDirty = false;
  bool editMode = false;
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
  void scheduleActiveBlockFit();
  void runListCommand(const QString& label, QTextListFormat::Style style);
  bool inkModeActive(int page) const;
  void paintInkLayerRestoration(QPainter& painter, const PageGeometry& g, const QImage& pageImage);
  void paintBlockOverlay(QPainter& painter, const PageGeometry& g, const QImage& pageImage);
  void paintCleanedBackground(QPainter& painter, const PageGeometry& g, const QImage& pageImage, int blockIndex);
  void paintBlockOutline(QPainter& painter, int blockIndex, const QRectF& screen);
  void paintFontLabel(QPainter& painter, const TextBlock& block, const QRectF& screen);
  QRectF groupScreenRect(int groupId) const;
  QRectF mappedPageRect(const PageGeometry& g, const QRectF& rect) const;

  bool fittingActiveBlock = false;
  bool placingBlockEditor = false;
  std::vector<OverlayPatch> cleaningPatches;     // by block index
  std::vector<OverlayPatch> inkRestorePatches;   // by block index
  std::vector<OverlayPatch> inkMasks;            // by block index
  int overlayPatchBuilds = 0;                    // per-pixel passes run, for tests and measurements
  bool overlayCachingEnabled = true;

  friend struct PdfViewTestAccess;
};
