#include "PageLoadGuard.h"

#include "PageCheckChild.h"
#include "PageContentBounds.h"

#include <QMutexLocker>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>

// The bytes some of the document's pages came from; each page of them is
// checked by a worker that keeps them open, or, where there is no worker,
// only scanned here.
struct PageLoadGuard::Source {
  QByteArray bytes;
  QByteArray password;
  std::unique_ptr<PageCheckChild> child;
  std::unique_ptr<PageContentBounds> scan;

  const std::atomic<bool>* interrupt = nullptr;

  void prepare() {
    if (!child && !scan && !PageCheckChild::workerPath().isEmpty()) {
      child = std::make_unique<PageCheckChild>(bytes, password);
      child->interruptWhen(interrupt);
      child->prepare();
    }
  }

  // Nothing when the wait for the worker was interrupted or ran out of patience.
  std::optional<bool> refuses(int index, int patienceMs) {
    prepare();
    if (child) {
      if (const std::optional<bool> loadable = child->loadable(index, patienceMs)) return !*loadable;
      if (child->interrupted()) return std::nullopt;
      // A worker that did not start, open the document or say it is ready
      // in time checked nothing: the count below does not bound every page.
      return true;
    }
    if (!scan) scan = std::make_unique<PageContentBounds>(bytes, password);
    return scan->exceeds(index);
  }

  std::optional<PageRenderCost> cost(int index) const {
    return child ? child->cost(index) : std::nullopt;
  }

  void release() {
    if (child) child->release();
  }
};

PageLoadGuard::PageLoadGuard() = default;
PageLoadGuard::~PageLoadGuard() = default;

void PageLoadGuard::reset(const QByteArray& bytes, const QByteArray& password, int pageCount) {
  auto source = std::make_shared<Source>();
  source->bytes = bytes;
  source->password = password;
  source->interrupt = &interrupting;
  // The worker opens the document while the program lays out its pages.
  if (pageCount > 0) source->prepare();
  opened = source;
  std::vector<Entry> fresh(size_t(std::max(0, pageCount)));
  for (size_t i = 0; i < fresh.size(); ++i) fresh[i] = Entry{source, int(i), Verdict::Unknown, std::nullopt};
  QMutexLocker lock(&entriesLock);
  entries.swap(fresh);
}

void PageLoadGuard::clear() {
  QMutexLocker lock(&entriesLock);
  entries.clear();
}

int PageLoadGuard::pageCount() const {
  QMutexLocker lock(&entriesLock);
  return int(entries.size());
}

void PageLoadGuard::insertMadePage(int index) {
  QMutexLocker lock(&entriesLock);
  index = std::clamp(index, 0, int(entries.size()));
  entries.insert(entries.begin() + index, Entry{});
}

void PageLoadGuard::removePage(int index) {
  QMutexLocker lock(&entriesLock);
  if (index >= 0 && index < int(entries.size())) entries.erase(entries.begin() + index);
}

void PageLoadGuard::movePage(int from, int to) {
  QMutexLocker lock(&entriesLock);
  if (from < 0 || from >= int(entries.size()) || to < 0 || to >= int(entries.size())) return;
  Entry moved = entries[size_t(from)];
  entries.erase(entries.begin() + from);
  entries.insert(entries.begin() + to, moved);
}

void PageLoadGuard::duplicatePage(int page) {
  QMutexLocker lock(&entriesLock);
  if (page < 0 || page >= int(entries.size())) return;
  const Entry copy = entries[size_t(page)];
  entries.insert(entries.begin() + page + 1, copy);
}

void PageLoadGuard::appendFrom(const QByteArray& bytes, const QByteArray& password, const int* indices,
                               unsigned long count, int sourcePageCount) {
  auto source = std::make_shared<Source>();
  source->bytes = bytes;
  source->password = password;
  source->interrupt = &interrupting;
  QMutexLocker lock(&entriesLock);
  if (indices) {
    for (unsigned long i = 0; i < count; ++i) entries.push_back(Entry{source, indices[i], Verdict::Unknown, std::nullopt});
  } else {
    for (int i = 0; i < sourcePageCount; ++i) entries.push_back(Entry{source, i, Verdict::Unknown, std::nullopt});
  }
}

bool PageLoadGuard::refuses(int page) {
  // Interrupted: refused this once, and decided when asked again.
  const std::optional<bool> decided = decide(page, -1);
  return !decided || *decided;
}

std::optional<bool> PageLoadGuard::decide(int page, int patienceMs) {
  {
    // A page decided before never waits behind another page's check.
    QMutexLocker lock(&entriesLock);
    if (page < 0 || page >= int(entries.size())) return false;
    const Verdict verdict = entries[size_t(page)].verdict;
    if (verdict != Verdict::Unknown) return verdict == Verdict::Refused;
  }
  std::unique_lock<QMutex> deciding(decidingLock, std::defer_lock);
  if (patienceMs < 0)
    deciding.lock();
  else if (!deciding.try_lock_for(std::chrono::milliseconds(patienceMs)))
    return std::nullopt;
  std::shared_ptr<Source> source;
  int index = -1;
  {
    QMutexLocker lock(&entriesLock);
    if (page < 0 || page >= int(entries.size())) return false;
    const Entry& entry = entries[size_t(page)];
    if (entry.verdict != Verdict::Unknown) return entry.verdict == Verdict::Refused;
    source = entry.source;
    index = entry.index;
  }
  // Each worker holds a whole document: beside the opened file's, only the
  // one in use runs (the others keep their verdicts and start again if asked).
  const std::shared_ptr<Source> file = opened.lock();
  if (source && source != file) {
    std::vector<std::shared_ptr<Source>> others;
    {
      QMutexLocker lock(&entriesLock);
      for (const Entry& entry : entries)
        if (entry.source && entry.source != source && entry.source != file &&
            std::find(others.begin(), others.end(), entry.source) == others.end())
          others.push_back(entry.source);
    }
    for (const std::shared_ptr<Source>& other : others) other->release();
  }
  const std::optional<bool> decided = source ? source->refuses(index, patienceMs) : std::optional<bool>(false);
  if (!decided) return std::nullopt;
  const bool refuse = *decided;
  const std::optional<PageRenderCost> cost = source ? source->cost(index) : std::nullopt;
  QMutexLocker lock(&entriesLock);
  // Every entry of the same page of the same source (a duplicate) learns it too.
  for (Entry& entry : entries)
    if (entry.source == source && entry.index == index && entry.verdict == Verdict::Unknown) {
      entry.verdict = refuse ? Verdict::Refused : Verdict::Loadable;
      entry.cost = cost;
    }
  return refuse;
}

bool PageLoadGuard::refused(int page) const {
  QMutexLocker lock(&entriesLock);
  return page >= 0 && page < int(entries.size()) && entries[size_t(page)].verdict == Verdict::Refused;
}

int PageLoadGuard::indexIn(const QByteArray& bytes, int page) const {
  QMutexLocker lock(&entriesLock);
  if (page < 0 || page >= int(entries.size()) || bytes.isEmpty()) return -1;
  const Entry& entry = entries[size_t(page)];
  return entry.source && entry.source->bytes.constData() == bytes.constData() ? entry.index : -1;
}

bool PageLoadGuard::undecided(int page) const {
  QMutexLocker lock(&entriesLock);
  return page >= 0 && page < int(entries.size()) && entries[size_t(page)].verdict == Verdict::Unknown;
}

std::optional<PageRenderCost> PageLoadGuard::renderCost(int page) const {
  QMutexLocker lock(&entriesLock);
  if (page < 0 || page >= int(entries.size())) return std::nullopt;
  return entries[size_t(page)].cost;
}

void PageLoadGuard::interruptChecks(bool interrupt) { interrupting.store(interrupt, std::memory_order_release); }
