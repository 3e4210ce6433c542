#include "PageContentBounds.h"

#include "ContentStateScan.h"
#include "QpdfInMemory.h"

#include <QCryptographicHash>

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <exception>
#include <map>
#include <set>
#include <string>
#include <utility>

struct PageContentBounds::Reader {
  QByteArray bytes;
  QByteArray password;
  bool tried = false;
  std::unique_ptr<QPDF> pdf;
  // Each form's own deepest nesting, kept only for forms that bring their
  // own resources: one that inherits draws what its caller lends it.
  std::map<QPDFObjGen, int> formNesting;

  QPDF* open() {
    if (tried) return pdf.get();
    tried = true;
    try {
      auto opened = std::make_unique<QPDF>();
      opened->setSuppressWarnings(true);
      opened->processMemoryFile("page content", bytes.constData(), size_t(bytes.size()),
                                password.isEmpty() ? nullptr : password.constData());
      pdf = std::move(opened);
    } catch (const std::exception&) {
      // What qpdf cannot read is left to the bound on pdfium itself.
    }
    return pdf.get();
  }
};

namespace {

// pdfium draws forms nested at most this deep; deeper ones cost it nothing.
constexpr size_t kDeepestFormChain = 40;

struct OverBound : std::exception {};

bool overBound(const ContentStateScan& scan, qint64 before) {
  return before + scan.bytesSeen() > kMostPageContentBytes || scan.deepestNesting() >= kRefusedNesting;
}

class ScanPipe : public Pipeline {
public:
  ScanPipe(ContentStateScan& scan, qint64 before) : Pipeline("content scan", nullptr), scan(scan), before(before) {}
  void write(unsigned char const* data, size_t len) override {
    // Fed in small pieces, so that decoding stops as soon as a bound is
    // passed: what lies beyond is never decoded.
    while (len > 0) {
      const size_t piece = std::min<size_t>(len, 64 << 10);
      scan.feed(data, piece);
      data += piece;
      len -= piece;
      if (overBound(scan, before)) throw OverBound();
    }
  }
  void finish() override {}

private:
  ContentStateScan& scan;
  qint64 before;
};

void scanStream(ContentStateScan& scan, QPDFObjectHandle stream, qint64 before) {
  if (!stream.isStream()) return;
  ScanPipe pipe(scan, before);
  try {
    stream.pipeStreamData(&pipe, 0, qpdf_dl_generalized, true);
  } catch (const std::exception&) {
    // A damaged stream counts as far as it could be read.
  }
  static const unsigned char between = '\n';
  scan.feed(&between, 1);
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
      if (deepest >= kRefusedNesting || walk.over()) return deepest;
      if (QPDFObjectHandle cell = patterns.getKey(name); cell.isStream())
        deepest = std::max(deepest, formNesting(walk, cell, resources));
    }
  }
  QPDFObjectHandle xobjects = resources.getKey("/XObject");
  if (!xobjects.isDictionary()) return deepest;
  for (const auto& [name, depth] : scan.drawnNames()) {
    if (deepest >= kRefusedNesting || walk.over()) break;
    QPDFObjectHandle form = xobjects.getKey("/" + name);
    if (!form.isStream() || !form.getDict().getKey("/Subtype").isNameAndEquals("/Form")) continue;
    deepest = std::max(deepest, depth + formNesting(walk, form, resources));
  }
  return deepest;
}

int formNesting(Walk& walk, QPDFObjectHandle form, QPDFObjectHandle inherited) {
  const QPDFObjGen id = form.getObjGen();
  QPDFObjectHandle own = form.getDict().getKey("/Resources");
  const bool ownResources = own.isDictionary();
  if (ownResources)
    if (const auto known = walk.memo.find(id); known != walk.memo.end()) return known->second;
  // A form that draws itself is not drawn again by pdfium, nor too deep a chain.
  if (walk.path.size() >= kDeepestFormChain || !walk.path.insert(id).second) return 0;
  ContentStateScan scan;
  scanStream(scan, form, walk.bytes);
  walk.bytes += scan.bytesSeen();
  const int nesting = nestingWithForms(walk, scan, ownResources ? own : inherited);
  walk.path.erase(id);
  if (ownResources) walk.memo.emplace(id, nesting);
  return nesting;
}

bool pageExceedsBounds(QPDFObjectHandle pageObject, std::map<QPDFObjGen, int>& memo) {
  Walk walk{memo, {}, 0};
  int deepest = 0;
  try {
    QPDFPageObjectHelper page(pageObject);
    ContentStateScan scan;
    QPDFObjectHandle contents = pageObject.getKey("/Contents");
    if (contents.isArray()) {
      for (int i = 0, n = contents.getArrayNItems(); i < n && !overBound(scan, 0); ++i)
        scanStream(scan, contents.getArrayItem(i), 0);
    } else {
      scanStream(scan, contents, 0);
    }
    scan.finish();
    walk.bytes = scan.bytesSeen();
    deepest = nestingWithForms(walk, scan, page.getAttribute("/Resources", false));
    // Annotation appearances are drawn with the page, each on its own.
    QPDFObjectHandle annotations = pageObject.getKey("/Annots");
    if (annotations.isArray()) {
      for (QPDFObjectHandle& annotation : annotations.getArrayAsVector()) {
        if (deepest >= kRefusedNesting || walk.over()) break;
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
  return deepest >= kRefusedNesting || walk.over();
}

}  // namespace

PageContentBounds::PageContentBounds(const QByteArray& bytes, const QByteArray& password)
    : reader(std::make_unique<Reader>()) {
  reader->bytes = bytes;
  reader->password = password;
}

PageContentBounds::~PageContentBounds() = default;

bool PageContentBounds::exceeds(int index) {
  QPDF* pdf = reader->open();
  if (!pdf || index < 0) return false;
  try {
    QPDFObjectHandle page = qpdfPageAt(*pdf, index);
    return page.isDictionary() && pageExceedsBounds(page, reader->formNesting);
  } catch (const std::exception&) {
    return false;
  }
}

QByteArray PageContentBounds::contentKey(int index) {
  QPDF* pdf = reader->open();
  if (!pdf || index < 0) return {};
  try {
    QPDFObjectHandle page = qpdfPageAt(*pdf, index);
    if (!page.isDictionary()) return {};
    // Content, resources and annotations: what the page draws, by the
    // objects named (a direct dictionary by what it says).
    QCryptographicHash key(QCryptographicHash::Sha1);
    for (const char* name : {"/Contents", "/Resources", "/Annots"}) {
      QPDFObjectHandle part = page.getKey(name);
      if (std::string(name) == "/Contents" && !part.isIndirect() && !part.isArray()) return {};
      // Named objects print as references, so the key stays short.
      key.addData(QByteArray::fromStdString(part.unparse()));
      key.addData("\n");
    }
    return key.result().toHex();
  } catch (const std::exception&) {
    return {};
  }
}
