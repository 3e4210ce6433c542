#pragma once
// Decides, before pdfium loads a page, whether the page can be loaded within
// bounds no real page reaches. pdfium copies the whole graphics state at
// every "q" while it parses a page, so a few kilobytes of compressed "q"s
// that are never closed ask for gigabytes; such a page is refused instead of
// loaded (for the view, the thumbnails, the text layer and every edit), and
// the rest of the document works. The content is read through qpdf from the
// bytes the pages came from and counted by ContentStateScan, once per page.
//
// The guard follows the document's structural changes, so that each page of
// pdfium's document still knows which bytes it came from.

#include <QByteArray>
#include <QMutex>

#include <memory>
#include <vector>

// Saved states a page, with the forms it draws, may nest at its deepest.
inline constexpr int kMostNestedStates = 10000;
// Decoded content bytes a page, with the forms and appearances it draws, may hold.
inline constexpr qint64 kMostPageContentBytes = qint64(256) << 20;

class PageLoadGuard {
public:
  PageLoadGuard();
  ~PageLoadGuard();
  PageLoadGuard(const PageLoadGuard&) = delete;
  PageLoadGuard& operator=(const PageLoadGuard&) = delete;

  // The pages of a document as pdfium opened it from `bytes`.
  void reset(const QByteArray& bytes, const QByteArray& password, int pageCount);
  void clear();
  int pageCount() const;

  // Structural changes, in pdfium's terms.
  void insertMadePage(int index);  // a page this program made: blank, or its own content
  void removePage(int index);
  void movePage(int from, int to);
  void duplicatePage(int page);  // the copy goes right after the page
  // Pages of the PDF in `bytes` appended at the end: `indices` of it, or all
  // `sourcePageCount` when `indices` is null.
  void appendFrom(const QByteArray& bytes, const int* indices, unsigned long count, int sourcePageCount);

  // Whether the page must not be loaded; decided on the first call (the
  // caller serialises these calls, as it serialises pdfium).
  bool refuses(int page);
  // What an earlier refuses() decided, without deciding anything: safe from
  // any thread, never waits for a scan.
  bool refused(int page) const;

private:
  struct Source;
  enum class Verdict : unsigned char { Unknown, Loadable, Refused };
  struct Entry {
    std::shared_ptr<Source> source;  // null for a page this program made
    int index = -1;
    Verdict verdict = Verdict::Loadable;
  };
  mutable QMutex entriesLock;
  std::vector<Entry> entries;
};
