#include "PageLoadGuard.h"

#include "ContentStateScan.h"

#include <QMutexLocker>

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <exception>
#include <map>
#include <set>
#include <string>

// The bytes some of the document's pages came from, read by qpdf once asked.
struct PageLoadGuard::Source {
  QByteArray bytes;
  QByteArray password;
  bool tried = false;
  std::unique_ptr<QPDF> pdf;
  std::vector<QPDFPageObjectHelper> pages;
  std::map<QPDFObjGen, int> formNesting;  // each form's own deepest nesting, with what it draws

  QPDF* reader() {
    if (tried) return pdf.get();
    tried = true;
    try {
      auto opened = std::make_unique<QPDF>();
      opened->setSuppressWarnings(true);
      opened->processMemoryFile("page content", bytes.constData(), size_t(bytes.size()),
                                password.isEmpty() ? nullptr : password.constData());
      pages = QPDFPageDocumentHelper(*opened).getAllPages();
      pdf = std::move(opened);
    } catch (const std::exception&) {
      pages.clear();  // what qpdf cannot read is left to pdfium as before
    }
    return pdf.get();
  }
};

namespace {

// pdfium draws forms nested at most this deep; deeper ones cost it nothing.
constexpr size_t kDeepestFormChain = 40;

struct OverBound : std::exception {};

class ScanPipe : public Pipeline {
public:
  explicit ScanPipe(ContentStateScan& scan) : Pipeline("content scan", nullptr), scan(scan) {}
  void write(unsigned char const* data, size_t len) override {
    scan.feed(data, len);
    // Decoding stops here: what lies beyond a bound is never looked at.
    if (scan.bytesSeen() > kMostPageContentBytes || scan.deepestNesting() > kMostNestedStates) throw OverBound();
  }
  void finish() override { scan.finish(); }

private:
  ContentStateScan& scan;
};

template <typename Pipe>
void scanInto(ContentStateScan& scan, const Pipe& pipeTo) {
  ScanPipe pipe(scan);
  try {
    pipeTo(&pipe);
  } catch (const std::exception&) {
    // A damaged stream counts as far as it could be read.
  }
  scan.finish();
}

struct Walk {
  std::map<QPDFObjGen, int>& memo;
  std::set<QPDFObjGen> path;
  qint64 bytes = 0;
  bool over() const { return bytes > kMostPageContentBytes; }
};

int formNesting(Walk& walk, QPDFObjectHandle form, QPDFObjectHandle inherited);

// The deepest nesting a stream reaches with the forms it draws from `resources`.
int nestingWithForms(Walk& walk, const ContentStateScan& scan, QPDFObjectHandle resources) {
  int deepest = scan.deepestNesting();
  if (!resources.isDictionary()) return deepest;
  // A tiling pattern's cell is parsed like a form of its own where it is painted.
  if (QPDFObjectHandle patterns = resources.getKey("/Pattern"); patterns.isDictionary()) {
    for (const std::string& name : patterns.getKeys()) {
      if (deepest > kMostNestedStates || walk.over()) return deepest;
      if (QPDFObjectHandle cell = patterns.getKey(name); cell.isStream())
        deepest = std::max(deepest, formNesting(walk, cell, resources));
    }
  }
  QPDFObjectHandle xobjects = resources.getKey("/XObject");
  if (!xobjects.isDictionary()) return deepest;
  for (const auto& [name, depth] : scan.drawnNames()) {
    if (deepest > kMostNestedStates || walk.over()) break;
    QPDFObjectHandle form = xobjects.getKey("/" + name);
    if (!form.isStream() || !form.getDict().getKey("/Subtype").isNameAndEquals("/Form")) continue;
    deepest = std::max(deepest, depth + formNesting(walk, form, resources));
  }
  return deepest;
}

int formNesting(Walk& walk, QPDFObjectHandle form, QPDFObjectHandle inherited) {
  const QPDFObjGen id = form.getObjGen();
  if (const auto known = walk.memo.find(id); known != walk.memo.end()) return known->second;
  // A form that draws itself is not drawn again by pdfium, nor too deep a chain.
  if (walk.path.size() >= kDeepestFormChain || !walk.path.insert(id).second) return 0;
  ContentStateScan scan;
  scanInto(scan, [&form](Pipeline* pipe) { form.pipeStreamData(pipe, 0, qpdf_dl_generalized, true); });
  walk.bytes += scan.bytesSeen();
  QPDFObjectHandle own = form.getDict().getKey("/Resources");
  const int nesting = nestingWithForms(walk, scan, own.isDictionary() ? own : inherited);
  walk.path.erase(id);
  walk.memo.emplace(id, nesting);
  return nesting;
}

bool pageExceedsBounds(QPDFPageObjectHelper& page, std::map<QPDFObjGen, int>& memo) {
  Walk walk{memo, {}, 0};
  int deepest = 0;
  try {
    ContentStateScan scan;
    scanInto(scan, [&page](Pipeline* pipe) { page.pipeContents(pipe); });
    walk.bytes = scan.bytesSeen();
    deepest = nestingWithForms(walk, scan, page.getAttribute("/Resources", false));
    // Annotation appearances are drawn with the page, each on its own.
    QPDFObjectHandle annotations = page.getObjectHandle().getKey("/Annots");
    if (annotations.isArray()) {
      for (QPDFObjectHandle& annotation : annotations.getArrayAsVector()) {
        if (deepest > kMostNestedStates || walk.over()) break;
        if (!annotation.isDictionary()) continue;
        QPDFObjectHandle appearances = annotation.getKey("/AP");
        QPDFObjectHandle normal = appearances.isDictionary() ? appearances.getKey("/N") : QPDFObjectHandle::newNull();
        std::vector<QPDFObjectHandle> streams;
        if (normal.isStream()) streams.push_back(normal);
        else if (normal.isDictionary())
          for (const std::string& state : normal.getKeys())
            if (QPDFObjectHandle each = normal.getKey(state); each.isStream()) streams.push_back(each);
        for (QPDFObjectHandle& stream : streams)
          deepest = std::max(deepest, formNesting(walk, stream, QPDFObjectHandle::newNull()));
      }
    }
  } catch (const std::exception&) {
    // What could be read decides.
  }
  return deepest > kMostNestedStates || walk.over();
}

}  // namespace

PageLoadGuard::PageLoadGuard() = default;
PageLoadGuard::~PageLoadGuard() = default;

void PageLoadGuard::reset(const QByteArray& bytes, const QByteArray& password, int pageCount) {
  auto source = std::make_shared<Source>();
  source->bytes = bytes;
  source->password = password;
  std::vector<Entry> fresh(size_t(std::max(0, pageCount)));
  for (size_t i = 0; i < fresh.size(); ++i) fresh[i] = Entry{source, int(i), Verdict::Unknown};
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

void PageLoadGuard::appendFrom(const QByteArray& bytes, const int* indices, unsigned long count,
                               int sourcePageCount) {
  auto source = std::make_shared<Source>();
  source->bytes = bytes;
  QMutexLocker lock(&entriesLock);
  if (indices) {
    for (unsigned long i = 0; i < count; ++i) entries.push_back(Entry{source, indices[i], Verdict::Unknown});
  } else {
    for (int i = 0; i < sourcePageCount; ++i) entries.push_back(Entry{source, i, Verdict::Unknown});
  }
}

bool PageLoadGuard::refuses(int page) {
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
  bool refuse = false;
  if (source && source->reader() && index >= 0 && index < int(source->pages.size()))
    refuse = pageExceedsBounds(source->pages[size_t(index)], source->formNesting);
  QMutexLocker lock(&entriesLock);
  if (page < int(entries.size()) && entries[size_t(page)].source == source && entries[size_t(page)].index == index)
    entries[size_t(page)].verdict = refuse ? Verdict::Refused : Verdict::Loadable;
  return refuse;
}

bool PageLoadGuard::refused(int page) const {
  QMutexLocker lock(&entriesLock);
  return page >= 0 && page < int(entries.size()) && entries[size_t(page)].verdict == Verdict::Refused;
}
