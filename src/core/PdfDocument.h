#pragma once
// The program's one handle on an open PDF. A plain class: the main window owns
// one per document tab and lends raw pointers to the view, the thumbnail
// worker and the tools. Every operation takes the document's mutex (and,
// inside it, the process-wide pdfium lock); page count and sizes sit behind
// their own read-write lock so that layout never waits for a render.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QReadWriteLock>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include "TextBlock.h"

#include <atomic>
#include <map>
#include <vector>

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

  bool open(const QString& path);
  void close();
  bool createEmpty();
  void markModified();

  // Never wait for the document mutex.
  int pageCount() const;
  QSizeF pageSize(int page) const;

  QString lastError() const { return lastErrorMessage; }
  QString filePath() const { return currentFilePath; }
  bool isModified() const { return modified; }
  bool isOpen() const { return opened.load(std::memory_order_acquire); }

  // Scale in pixels per point, rotation in degrees clockwise (quarter turns).
  QImage renderPageLayer(int page, double scale, int rotation, PdfRenderLayer layer,
                         bool transparent) const;
  QImage renderPage(int page, double scale, int rotation) const;
  // Region in points of the shown page, y measured from the bottom edge.
  QImage renderPageRegion(int page, double scale, const QRectF& region) const;

  // ---- Page text and pictures as blocks, and writing blocks back ----
  // All rectangles in points of the shown page (see PageSpace).
  // The page's own text, one block per visual line, top-down.
  std::vector<TextBlock> extractText(int page) const;
  // The page's pictures: image objects and regions of coloured ink.
  std::vector<TextBlock> extractImages(int page) const;
  // Writes edited blocks back into the page: replaced text is removed and
  // rewritten visibly, text that the page does not show gets an invisible
  // searchable layer. False when nothing could be done or visible text of a
  // changed block could not be written (the page is then left untouched).
  bool overlayOcrText(int page, const std::vector<TextBlock>& blocks, bool replaceAll);
  bool addFreeText(int page, QRectF rect, const QString& text, const QString& family, float size,
                   QColor color);
  // The whole document as PDF bytes; empty on failure (error in lastError()).
  // Meant to be folded into saving.
  QByteArray saveToBytes();

private:
  // A new text object placed on the page's shown space, not yet inserted;
  // null on failure. The caller owns it.
  fpdf_pageobject_t__* createTextObjectUnlocked(fpdf_page_t__* page, const QString& text, const QRectF& rect,
                                                const QString& family, float size, const QColor& color,
                                                bool bold, bool italic, bool invisible, bool fitToRect);
  bool insertTextObjectUnlocked(fpdf_page_t__* page, const QString& text, const QRectF& rect,
                                const QString& family, float size, const QColor& color, bool bold,
                                bool italic, bool invisible, bool fitToRect);
  // One embedded font per font file (or standard font) and document: pdfium
  // would embed the file again for every load and never drops orphans.
  fpdf_font_t__* loadFontUnlocked(const QString& family, bool bold, bool italic);
  void closeLoadedFontsUnlocked();
  std::map<QString, fpdf_font_t__*> loadedFonts;
  // ---- end of page text and blocks ----

private:
  bool loadFromFileUnlocked(const QString& path);
  void refreshPageMetricsUnlocked();
  void clearPageMetrics();
  void dropDoc();
  static QString pdfiumErrorString();

  mutable QMutex mutex;
  QString lastErrorMessage;
  fpdf_document_t__* doc = nullptr;
  QString currentFilePath;
  QByteArray fileData;
  bool modified = false;
  std::atomic<bool> opened{false};

  mutable QReadWriteLock metricsLock;
  int cachedPageCount = 0;
  QList<QSizeF> cachedPageSizes;
};
