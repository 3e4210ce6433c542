#pragma once
// The program's one handle on an open PDF. A plain class: the main window owns
// one per document tab and lends raw pointers to the view, the thumbnail
// worker and the tools. Every operation takes the document's mutex (and,
// inside it, the process-wide pdfium lock); page count and sizes sit behind
// their own read-write lock so that layout never waits for a render.

#include "LinkTarget.h"
#include "PageRenderCost.h"
#include "TextBlock.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QPointF>
#include <QReadWriteLock>
#include <QRectF>
#include <QSizeF>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

class EmbeddableFont;
class PageLoadGuard;
class PdfFormFields;
class StatedFontWeights;
struct PicturePages;

struct fpdf_document_t__;
struct fpdf_font_t__;
struct fpdf_page_t__;
struct fpdf_pageobject_t__;

enum class PdfRenderLayer {
  Full = 0,      // the whole page
  NoText = 1,    // every page object except text objects
  TextOnly = 2,  // text objects only
};

class PdfDocument {
public:
  PdfDocument();
  ~PdfDocument();
  PdfDocument(const PdfDocument&) = delete;
  PdfDocument& operator=(const PdfDocument&) = delete;

  // A file locked with a password opens only with it; without the right one
  // open fails and needsPassword() says so.
  bool open(const QString& path, const QByteArray& password = QByteArray());
  bool needsPassword() const { return passwordRequired; }
  // The password the file was opened with (empty for an unlocked file).
  QByteArray passwordUsed() const { return openPassword; }
  void close();
  bool createEmpty();
  void markModified();

  // Never wait for the document mutex.
  int pageCount() const;
  QSizeF pageSize(int page) const;

  QString lastError() const { return lastErrorMessage; }
  QString filePath() const { return currentFilePath; }
  bool isModified() const { return modified; }
  // How many times the document was marked changed since it was created.
  quint64 modificationMarks() const { return modified.marks; }
  // Takes back a mark that stood for pending edits which were all undone.
  void clearModifiedMark() { modified.value = false; }
  bool isOpen() const { return opened.load(std::memory_order_acquire); }
  // Whether the page was refused when it was to be loaded: its content asks
  // for more than any real page (see PageLoadGuard); it renders as nothing,
  // has no text and takes no edit. Never waits for the document.
  bool isPageRefused(int page) const;
  // Whether a rendering of the page at `scale` is refused: the page is, or
  // drawing it that large would take longer than the bound. Never waits.
  bool isRenderRefused(int page, double scale) const;
  // Whether the page is still to be checked before it loads. Never waits.
  bool isPageBeingChecked(int page) const;
  // Whether the page's check has ended, waiting for it at most `waitMs`.
  bool pageCheckEndsWithin(int page, int waitMs) const;
  // While set, operations waiting for a page's check give up at once (the
  // page is then left unchecked), so that a view can let go of the document.
  void interruptPageChecks(bool interrupt) const;
  // The file's PDF version ("1.7"); empty when no document is open or the
  // header does not say.
  QString pdfVersion() const;
  // Whether the file is encrypted; a file locked only by an owner password
  // opens without a password and counts as encrypted too.
  bool isEncrypted() const;
  // How many signature fields the file carries; a full save breaks them all.
  int signatureCount() const;
  // The file holds the PDF inside something else (an attached signature's
  // .p7m envelope): saving over it would drop the envelope with its signature.
  bool openedFromEnvelope() const { return envelope; }
  // What the file lets its reader do; everything for an unprotected file.
  struct Permissions {
    bool print = true;
    bool copy = true;
    bool modify = true;
  };
  Permissions permissions() const;
  // The base names of every font the file's pages, their forms and their
  // annotations' appearances carry, in order of first appearance, without
  // subset tags ("[none]" for a font without a name). Read from the file as
  // opened or last saved.
  QStringList fontNames() const;

  // Scale in pixels per point, rotation in degrees clockwise (quarter turns).
  QImage renderPageLayer(int page, double scale, int rotation, PdfRenderLayer layer,
                         bool transparent) const;
  QImage renderPage(int page, double scale, int rotation) const;
  // The page's own content, as recognition reads it: without annotations and
  // form fields, whose words are no text of the page.
  QImage renderPageContent(int page, double scale) const;
  // What the page draws after the line whose characters lie in `place`
  // (shown page, points) on a transparent page, the line's own objects left
  // out; a null image when nothing drawn later reaches into the place.
  // `gone`: the old places of other lines the edit takes off the page; what
  // they drew covers nothing once written.
  QImage renderDrawnOver(int page, double scale, int rotation, const QRectF& place,
                         const std::vector<QRectF>& gone = {}) const;
  // Region in points of the shown page, y measured from the bottom edge.
  QImage renderPageRegion(int page, double scale, const QRectF& region) const;

  // ---- Pages, saving, search, links and outline, image and markup objects ----
  // Rectangles and points are in the space of the page as shown (PageSpace).

  struct FindOptions {
    bool caseSensitive = false;
    bool wholeWord = false;
    bool regularExpression = false;
  };

  struct OutlineItem {
    QString title;
    int page = -1;  // -1: leads to no page of this document
    QUrl url;
    QList<OutlineItem> children;
    // Where the bookmark stands among its siblings, from the outline's root;
    // bookmarkTop finds it again by this.
    QList<int> location;
  };

  bool deletePage(int index);
  // Degrees clockwise; cut down to whole quarter turns.
  bool rotatePage(int page, int degrees);
  // `to` is the index the page has after the move.
  bool movePage(int from, int to);
  // Pages first .. first + count - 1, in their order, so that the first lands
  // at `to`: as movePage for each, in one pass over the document.
  bool movePages(int first, int count, int to);
  bool insertBlankPage(int index, QSizeF size);
  // A copy of the page right after it.
  bool duplicatePage(int page);
  bool appendRenderedPage(const QImage& image, QSizeF size);
  // A JPEG as a new last page holding its data unchanged; false (nothing
  // added) when the data is not a grey or colour JPEG that pdfium takes.
  bool appendJpegPage(const QByteArray& jpeg, QSizeF size);
  bool appendPage(const QString& path, int index);
  // A PDF is appended page by page (a locked one read with `password`); an
  // image becomes one page at 150 dpi.
  bool importDocument(const QString& path, const QByteArray& password = QByteArray());
  // Appends the pages of a TIFF as readTiffPages made them (possibly on
  // another thread); false with its reason when it made none. The pictures
  // it left out stay listed in skippedPictures() until the next import.
  bool importPicturePages(const PicturePages& pages);
  QStringList skippedPictures() const { return skippedPictureLines; }
  bool extractPageSubset(const QList<int>& pages, const QString& path);

  bool save(const QString& path);
  bool saveAs(const QString& path);
  // A locked document's copy is written in the clear unless `keepLock`: then
  // locked as a save locks it, with the opened file's passwords.
  bool saveCopy(const QString& path, bool keepLock = false) const;
  // The same copy as bytes, for what must not be written to a file.
  bool saveCopy(QByteArray* bytes, bool keepLock = false) const;
  // Writes the file as opened, unchanged, followed by one appended update
  // that draws the only page of `overlay` (as large as page `page` is shown)
  // over that page: signatures the file carries stay valid. False, with
  // nothing written, for a changed document or a file that cannot take an
  // update (locked, damaged, certified against changes).
  bool saveWithPageOverlay(const QString& path, int page, const PdfDocument& overlay);
  // Formats: pdf, txt, html, xhtml, png, jpg, jpeg, bmp.
  bool exportDocument(const QString& path, const QString& format, int dpi);

  QString extractAllText(int page) const;
  QString extractAllTextAllPages() const;
  QList<QRectF> findText(int page, const QString& query) const;
  QList<QRectF> findTextWithOptions(int page, const QString& query, const FindOptions& options) const;
  // The expression a search with these options looks for (plain text escaped).
  static QRegularExpression findExpression(const QString& query, const FindOptions& options);

  LinkTarget linkAtPoint(int page, QPointF point) const;
  QList<OutlineItem> outline() const;
  // Points from the top of the shown page to the place the bookmark at
  // `location` names; -1 when it names none (or no such bookmark exists).
  double bookmarkTop(const QList<int>& location) const;

  // `position` is the lower-left corner of the image on the page.
  bool addImageToPage(int page, QPointF position, QSizeF size, const QImage& image);
  bool addMarkupAnnot(int page, const QRectF& rect, const QColor& color, int kind);
  // Marks the text of the regions (shown space): a region picks the letters
  // its horizontal extent overlaps whose middle lies in its height. Where no
  // region picks a letter, the regions themselves are marked as drawn.
  bool addMarkupAnnot(int page, const QList<QRectF>& regions, const QColor& color, int kind);
  bool addHighlightAnnot(int page, const QRectF& rect, const QColor& color);
  // How many objects the page's content holds; -1 when it cannot be loaded.
  int pageObjectCount(int page) const;
  // Takes an addition back: the objects from index `keep` on go, when the
  // page holds exactly `count` objects (else it changed since: false).
  bool removeTrailingPageObjects(int page, int keep, int count);
  bool addStickyNote(int page, QPointF position, const QString& text, const QString& author);
  // The text notes of a page: where each sits (shown space) and what it says.
  struct Note {
    QRectF rect;
    QString text;
  };
  QList<Note> notes(int page) const;
  // Whether the page carries form fields (widget annotations).
  bool hasFormFields(int page) const;
  // ---- end of pages, saving, search, links and outline, objects ----

  // --- Compression: smaller copies of the document and forecasts of their size ---
  // One compression run. imageDpi is used clamped to 36..600 and jpegQuality to 1..100.
  struct CompressionOptions {
    int imageDpi = 150;
    int jpegQuality = 55;
    bool grayscale = false;
    bool recompressSmallImages = true;  // in-place branch: also re-encode images already small enough
    bool rasterizePages = true;         // true: one image per page; false: re-encode image objects only
    bool monochrome = false;            // raster branch: 1-bit Flate pages instead of JPEG
  };
  struct CompressionEstimate {
    qint64 bytes = -1;
    QString label;
    CompressionOptions options;
    bool sampled = false;
  };
  // Writes a compressed copy to `path` (atomically); the open document is left as it is.
  bool compressTo(const QString& path, const CompressionOptions& options);
  // Forecast in bytes, or -1. `sampled` (may be null) tells whether sample pages were extrapolated.
  qint64 estimateCompressedSize(const CompressionOptions& options, bool* sampled);
  // The smallest forecast of the four minimum presets.
  CompressionEstimate estimateMinimumCompressedSize();
  // Images of more pixels than this (8192 x 8192) are never decoded for
  // re-encoding: the copy keeps them as they are.
  static constexpr qint64 kLargestRecompressedImagePixels = qint64(8192) * 8192;
  // How many images the last in-place compression kept for that reason.
  int imagesKeptWhole() const { return keptWholeImages; }

private:
  int keptWholeImages = 0;
  bool recompressImagesUnlocked(const QString& path, const CompressionOptions& options);
  // False, with a message naming the page, when a page must not be loaded.
  bool allPagesLoadableUnlocked();
  // What each page of `doc` cost its check, for the raster writer.
  std::function<std::optional<PageRenderCost>(int)> pageCostsUnlocked() const;
  // --- end of compression ---

public:
  // ---- Page text and pictures as blocks, and writing blocks back ----
  // All rectangles in points of the shown page (see PageSpace).
  // The page's own text, one block per visual line, top-down.
  std::vector<TextBlock> extractText(int page) const;
  // The page's pictures: image objects and regions of coloured ink.
  std::vector<TextBlock> extractImages(int page) const;
  // The picture the page draws in this shown rectangle at its own pixel
  // size, masks applied, as it stands on the page; null when no picture
  // object lies exactly there or it is too large to hold.
  QImage imageObjectOwnPixels(int page, const QRectF& shownRect) const;
  // Writes edited blocks back into the page: replaced text is removed and
  // rewritten visibly, text that the page does not show gets an invisible
  // searchable layer. False when nothing could be done or visible text of a
  // changed block could not be written (the page is then left untouched).
  bool overlayOcrText(int page, const std::vector<TextBlock>& blocks, bool replaceAll);
  // The font file that text of this style is tried in first when it is
  // written; empty when none is installed.
  static QString preferredFaceFile(const QString& family, bool bold, bool italic, bool familyFace = false);
  // The baseline (points from the shown page's bottom) of the visible text
  // the page draws in each rectangle; NaN where it draws none. A line moved
  // elsewhere keeps where its glyphs stood in its box.
  std::vector<double> textBaselines(int page, const std::vector<QRectF>& rects) const;
  bool addFreeText(int page, QRectF rect, const QString& text, const QString& family, float size,
                   QColor color);
  // Searchable text that is not drawn, fitted into rect: the words of a
  // picture placed on the page (a signature stamp) stay findable.
  bool addInvisibleText(int page, QRectF rect, const QString& text, const QString& family, float size);

private:
  // A new text object placed on the page's shown space, not yet inserted;
  // null on failure. The caller owns it.
  fpdf_pageobject_t__* createTextObjectUnlocked(fpdf_page_t__* page, const QString& text, const QRectF& rect,
                                                const QString& family, float size, const QColor& color,
                                                bool bold, bool italic, bool invisible, bool fitToRect,
                                                double horizontalScale = 1.0, bool familyFace = false);
  // Writing blocks back: what the loaded page loses and gains, then the gain.
  struct WriteBackPlan;
  WriteBackPlan planWriteBackUnlocked(fpdf_page_t__* page, const std::vector<TextBlock>& blocks, bool replaceAll,
                                     const QByteArray& tag);
  bool applyWriteBackUnlocked(fpdf_page_t__* page, const std::vector<TextBlock>& blocks, const WriteBackPlan& plan,
                              const QByteArray& newContentTag = QByteArray());
  // Runs `write` with `other` standing in for the document, fonts included.
  bool writeIntoUnlocked(fpdf_document_t__* other, const std::function<bool()>& write);
  bool insertTextObjectUnlocked(fpdf_page_t__* page, const QString& text, const QRectF& rect,
                                const QString& family, float size, const QColor& color, bool bold,
                                bool italic, bool invisible, bool fitToRect);
  // The font text of this style is written in, able to draw every character
  // of `text`. Fonts are embedded as subsets; a loaded subset is reused while
  // it covers what is written and replaced by a wider one when it does not
  // (pdfium would embed the file again for every load and never drops orphans).
  struct LoadedFont {
    fpdf_font_t__* handle = nullptr;
    std::shared_ptr<EmbeddableFont> file;  // null for a standard font
    std::set<char32_t> coverage;
    bool whole = false;  // the full file went in: covers everything
  };
  // With `familyFace` the face follows the family asked for (sans for
  // Helvetica or Arial, mono for Courier, else serif); without it the serif
  // face comes first whatever the family.
  const LoadedFont* loadFontUnlocked(const QString& family, bool bold, bool italic, const QString& text,
                                     bool familyFace = false);
  // Advance width of `text` in the font it is written in, points; 0 when unknown.
  double writtenAdvanceUnlocked(const QString& text, const QString& family, float size, bool bold, bool italic);
  void closeLoadedFontsUnlocked();
  std::map<QString, LoadedFont> loadedFonts;
  // ---- end of page text and blocks ----

private:
  bool loadFromFileUnlocked(const QString& path, const QByteArray& password);
  // The bytes a save writes: pdfium's rewrite, packed or locked again as the
  // opened file was.
  bool savedBytesUnlocked(QByteArray* bytes);
  // Continues on `bytes`, a rewrite of the current document; false when
  // pdfium cannot open it (the document stays as it was).
  bool continueOnRewriteUnlocked(QByteArray bytes);
  // Appends pages of the PDF at `path` (all when `indices` is null).
  bool importPagesUnlocked(const QString& path, const int* indices, unsigned long count,
                           const QByteArray& password = QByteArray());
  // The same from a PDF held in memory.
  bool importPdfBytesUnlocked(const QByteArray& bytes, const int* indices, unsigned long count,
                              const QByteArray& password = QByteArray());
  void refreshPageMetricsUnlocked();
  void clearPageMetrics();
  // The page loaded by pdfium, or null when it cannot be or must not be
  // (PageLoadGuard); the caller closes it. Every page of `doc` loads here.
  fpdf_page_t__* loadPageUnlocked(int page) const;
  // The document's mutex, once page `page` is checked: what locks it then
  // never holds the document while a page check runs.
  QMutex& mutexAfterCheck(int page) const;
  // The form-fill environment of `doc` that draws its form fields, made when
  // a page is first drawn; null when pdfium refuses one.
  void* formHandleUnlocked() const;
  // A loaded page drawn whole at `scale`, turned by `rotation`; the caller holds the lock.
  // `index` is the page's, for what its check cost.
  QImage renderLoadedPageUnlocked(fpdf_page_t__* page, int index, double scale, int rotation, bool transparent,
                                  bool withFields) const;
  // renderPageLayer, with annotations and form fields drawn or all left out.
  QImage renderPageImage(int page, double scale, int rotation, PdfRenderLayer layer, bool transparent,
                         bool withFields) const;
  void dropDoc();
  static QString pdfiumErrorString();

  mutable QMutex mutex;
  QString lastErrorMessage;
  QStringList skippedPictureLines;
  fpdf_document_t__* doc = nullptr;
  // Belongs to `doc`: dropped before it closes.
  mutable std::unique_ptr<PdfFormFields> formFields;
  QString currentFilePath;
  QByteArray fileData;
  // Read from fileData as text extraction needs them; dropped with it.
  mutable std::unique_ptr<StatedFontWeights> statedFontWeights;
  // The password the file was opened with; saving locks the file with it again.
  QByteArray openPassword;
  bool passwordRequired = false;
  bool envelope = false;
  // Every setting to true counts, so that a caller can tell whether anything
  // but its own mark changed the document since.
  struct ModifiedFlag {
    bool value = false;
    quint64 marks = 0;
    ModifiedFlag& operator=(bool on) {
      if (on) ++marks;
      value = on;
      return *this;
    }
    operator bool() const { return value; }
  };
  ModifiedFlag modified;
  // The marks of `modified` when fileData last stood for the document as it
  // is (kept by loading, saving in place and joining a page's content);
  // while they stay the same, fileData need not be serialised again.
  static constexpr quint64 kFileDataStale = ~quint64(0);
  quint64 fileDataMarks = kFileDataStale;
  // pdfium wrote page content since fileData was read: it drops the
  // resources its own reading of a page does not use, which saving puts back.
  bool contentGenerated = false;
  bool generateContentUnlocked(fpdf_page_t__* page);
  std::atomic<bool> opened{false};

  // Which bytes each page came from, and whether it may be loaded.
  std::unique_ptr<PageLoadGuard> loadGuard;

  mutable QReadWriteLock metricsLock;
  int cachedPageCount = 0;
  QList<QSizeF> cachedPageSizes;
};
