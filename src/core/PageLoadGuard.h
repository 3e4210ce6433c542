#pragma once
// Decides, before pdfium loads a page, whether the page can be loaded within
// bounds no real page reaches. A few kilobytes of content can ask pdfium for
// gigabytes or hours (states saved without end, forms drawing themselves,
// one form drawn thousands of times), and no scan foresees every way: each
// page is first loaded, with its text and a small rendering, by a worker
// process under a memory and a time bound (PageCheckChild), after a quick
// count of its saved states (PageContentBounds). A page the worker did not
// survive is refused instead of loaded (for the view, the thumbnails, the
// text layer and every edit), and the rest of the document works; so are
// all pages of a source whose worker never said it was ready. Without the
// worker beside the program (a test or bench binary built alone), pages are
// only counted, here.
//
// The guard follows the document's structural changes, so that each page of
// pdfium's document still knows which bytes it came from.

#include "PageRenderCost.h"

#include <QByteArray>
#include <QMutex>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

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
  void appendFrom(const QByteArray& bytes, const QByteArray& password, const int* indices, unsigned long count,
                  int sourcePageCount);

  // Whether the page must not be loaded; decided on the first call, which
  // may wait seconds for the page's check: call it without the document's
  // lock first (calls are serialised here).
  bool refuses(int page);
  // The same, waiting at most `patienceMs` for the check (no limit when
  // negative); nothing when it is still running then, or was interrupted.
  std::optional<bool> decide(int page, int patienceMs);
  // While set, a refuses() waiting for a check gives up (and refuses the
  // page this once, leaving it undecided); safe from any thread.
  void interruptChecks(bool interrupt);
  // What an earlier refuses() decided, without deciding anything: safe from
  // any thread, never waits for a scan.
  bool refused(int page) const;
  // Whether the page is still to be decided (it may be being checked).
  bool undecided(int page) const;
  // What drawing the page cost its check; nothing for a page this program
  // made or one no worker checked.
  std::optional<PageRenderCost> renderCost(int page) const;
  // Which page of `bytes` (the very array the guard was reset with) page
  // `page` is now; -1 where it came from other bytes or was made here.
  int indexIn(const QByteArray& bytes, int page) const;

private:
  struct Source;
  enum class Verdict : unsigned char { Unknown, Loadable, Refused };
  struct Entry {
    std::shared_ptr<Source> source;  // null for a page this program made
    int index = -1;
    Verdict verdict = Verdict::Loadable;
    std::optional<PageRenderCost> cost;
  };
  QMutex decidingLock;
  std::atomic<bool> interrupting{false};
  mutable QMutex entriesLock;
  std::vector<Entry> entries;
  std::weak_ptr<Source> opened;  // the pages of the file as it was opened or saved
};
