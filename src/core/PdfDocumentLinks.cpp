#include "PdfDocument.h"

#include "DocumentLock.h"
#include "PageSpace.h"
#include "PdfiumHandles.h"

#include <QSet>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Outlines deeper than this or wider than this per parent are cut off.
constexpr int kMaxOutlineDepth = 33;
constexpr int kMaxOutlineChildren = 10000;
// Text-detected web links are easier to hit with this much slack around them.
constexpr double kWebLinkSlack = 1.5;

QString utf16UpToNul(const std::vector<char16_t>& buffer) {
  const auto end = std::find(buffer.begin(), buffer.end(), u'\0');
  return QString::fromUtf16(buffer.data(), qsizetype(end - buffer.begin()));
}

// The URI (uri = true) or the file path of an action, cut at its first NUL.
QByteArray pdfActionUtf8(FPDF_ACTION action, FPDF_DOCUMENT doc, bool uri) {
  const unsigned long length =
      uri ? FPDFAction_GetURIPath(doc, action, nullptr, 0) : FPDFAction_GetFilePath(action, nullptr, 0);
  if (length == 0) return {};
  QByteArray bytes(qsizetype(length), '\0');
  const unsigned long written = uri ? FPDFAction_GetURIPath(doc, action, bytes.data(), length)
                                    : FPDFAction_GetFilePath(action, bytes.data(), length);
  if (written == 0 || written > length) return {};
  const qsizetype nul = bytes.indexOf('\0');
  return nul >= 0 ? bytes.left(nul) : bytes;
}

// Points from the top of the shown page to the place a destination names on
// it; -1 when it names none. Loads the page with `load`, so it is asked only on demand.
template <typename Load>
double destinationTop(FPDF_DOCUMENT doc, FPDF_DEST dest, int page, const Load& load) {
  FPDF_BOOL hasX = 0, hasY = 0, hasZoom = 0;
  FS_FLOAT x = 0, y = 0, zoom = 0;
  if (!dest || page < 0 || page >= FPDF_GetPageCount(doc) ||
      !FPDFDest_GetLocationInPage(dest, &hasX, &hasY, &hasZoom, &x, &y, &zoom) || !hasY)
    return -1;
  pdfium::Page loaded(load(page));
  if (!loaded) return -1;
  const PageSpace space = PageSpace::ofPage(loaded.get());
  // A place on a turned page may lie along the shown width; its top is then unknown.
  if (space.quarterTurns() % 2 != 0 && !hasX) return -1;
  const QPointF shown = space.toShown(QPointF(hasX ? x : 0.0, y));
  const double height = space.shownSize().height();
  return std::clamp(height - shown.y(), 0.0, height);
}

LinkTarget pageTarget(FPDF_DOCUMENT doc, FPDF_DEST dest) {
  LinkTarget target;
  if (!dest) return target;
  // A damaged destination may name a page the document does not have.
  const int page = FPDFDest_GetDestPageIndex(doc, dest);
  if (page >= 0 && page < FPDF_GetPageCount(doc)) {
    target.kind = LinkTarget::Page;
    target.page = page;
  }
  return target;
}

LinkTarget fileTarget(FPDF_ACTION action) {
  LinkTarget target;
  const QString path = QString::fromUtf8(pdfActionUtf8(action, nullptr, false)).trimmed();
  if (!path.isEmpty()) {
    target.kind = LinkTarget::File;
    target.filePath = path;
  }
  return target;
}

// Actions whose destination lies in another document: their page numbers
// say nothing about the pages of this one.
bool leadsElsewhere(FPDF_ACTION action) {
  const unsigned long type = action ? FPDFAction_GetType(action) : PDFACTION_UNSUPPORTED;
  return type == PDFACTION_REMOTEGOTO || type == PDFACTION_EMBEDDEDGOTO;
}

LinkTarget targetFromAction(FPDF_DOCUMENT doc, FPDF_ACTION action) {
  if (!action) return {};
  switch (FPDFAction_GetType(action)) {
    case PDFACTION_GOTO:
      return pageTarget(doc, FPDFAction_GetDest(doc, action));
    case PDFACTION_REMOTEGOTO:
    case PDFACTION_LAUNCH:
      return fileTarget(action);
    case PDFACTION_URI: {
      LinkTarget target;
      const QString text = QString::fromUtf8(pdfActionUtf8(action, doc, true)).trimmed();
      if (!text.isEmpty()) {
        target.kind = LinkTarget::Url;
        target.url = QUrl::fromUserInput(text);
      }
      return target;
    }
    default:  // embedded go-to included: its pages belong to an attached file
      return {};
  }
}

LinkTarget linkAnnotationTarget(FPDF_DOCUMENT doc, FPDF_LINK link) {
  FPDF_ACTION action = FPDFLink_GetAction(link);
  // pdfium answers a link's destination from its action too, remote ones included.
  if (!leadsElsewhere(action)) {
    const LinkTarget byDest = pageTarget(doc, FPDFLink_GetDest(doc, link));
    if (byDest.kind != LinkTarget::None) return byDest;
  }
  return targetFromAction(doc, action);
}

LinkTarget webLinkAt(FPDF_PAGE page, const PageSpace& space, QPointF point) {
  LinkTarget target;
  pdfium::TextPage text(FPDFText_LoadPage(page));
  if (!text) return target;
  pdfium::PageLinks links(FPDFLink_LoadWebLinks(text.get()));
  if (!links) return target;
  const int count = FPDFLink_CountWebLinks(links.get());
  for (int link = 0; link < count; ++link) {
    const int rects = FPDFLink_CountRects(links.get(), link);
    for (int r = 0; r < rects; ++r) {
      double left = 0, top = 0, right = 0, bottom = 0;
      if (!FPDFLink_GetRect(links.get(), link, r, &left, &top, &right, &bottom)) continue;
      const QRectF user(std::min(left, right), std::min(bottom, top), std::abs(right - left), std::abs(top - bottom));
      const QRectF shown =
          space.toShown(user.normalized()).adjusted(-kWebLinkSlack, -kWebLinkSlack, kWebLinkSlack, kWebLinkSlack);
      if (!shown.contains(point)) continue;
      const int length = FPDFLink_GetURL(links.get(), link, nullptr, 0);
      if (length <= 0) return target;
      std::vector<char16_t> buffer(size_t(length), u'\0');
      FPDFLink_GetURL(links.get(), link, reinterpret_cast<unsigned short*>(buffer.data()), length);
      const QString url = utf16UpToNul(buffer).trimmed();
      if (!url.isEmpty()) {
        target.kind = LinkTarget::Url;
        target.url = QUrl::fromUserInput(url);
      }
      return target;
    }
  }
  return target;
}

QString bookmarkTitle(FPDF_BOOKMARK bookmark) {
  const unsigned long bytes = FPDFBookmark_GetTitle(bookmark, nullptr, 0);
  if (bytes == 0) return {};
  std::vector<char16_t> buffer(size_t(bytes / 2 + 1), u'\0');
  FPDFBookmark_GetTitle(bookmark, buffer.data(), static_cast<unsigned long>(buffer.size() * 2));
  return utf16UpToNul(buffer).trimmed();
}

// `seen` holds every bookmark read so far: a damaged outline whose entries
// point back at each other is read once instead of without end.
void appendOutlineItems(FPDF_DOCUMENT doc, FPDF_BOOKMARK parent, QList<PdfDocument::OutlineItem>& items,
                        int depth, QSet<FPDF_BOOKMARK>& seen, const QList<int>& parentLocation) {
  if (depth >= kMaxOutlineDepth) return;
  int walked = 0;
  for (FPDF_BOOKMARK child = FPDFBookmark_GetFirstChild(doc, parent); child && walked < kMaxOutlineChildren;
       child = FPDFBookmark_GetNextSibling(doc, child), ++walked) {
    if (seen.contains(child)) break;
    seen.insert(child);
    PdfDocument::OutlineItem item;
    item.location = parentLocation;
    item.location.append(walked);
    item.title = bookmarkTitle(child);
    LinkTarget target = targetFromAction(doc, FPDFBookmark_GetAction(child));
    if (target.kind == LinkTarget::None) target = pageTarget(doc, FPDFBookmark_GetDest(doc, child));
    item.page = target.page;
    item.url = target.url;
    appendOutlineItems(doc, child, item.children, depth + 1, seen, item.location);
    if (!item.title.isEmpty() || item.page >= 0 || item.url.isValid() || !item.children.isEmpty())
      items.append(std::move(item));
  }
}

}  // namespace

LinkTarget PdfDocument::linkAtPoint(int page, QPointF point) const {
  DocumentLock lock(mutexAfterCheck(page));
  if (!doc || page < 0 || page >= FPDF_GetPageCount(doc)) return {};
  pdfium::Page loaded(loadPageUnlocked(page));
  if (!loaded) return {};
  const PageSpace space = PageSpace::ofPage(loaded.get());
  const QPointF user = space.toUser(point);
  if (FPDF_LINK link = FPDFLink_GetLinkAtPoint(loaded.get(), user.x(), user.y())) {
    LinkTarget target = linkAnnotationTarget(doc, link);
    if (target.kind == LinkTarget::Page) {
      FPDF_ACTION action = FPDFLink_GetAction(link);
      FPDF_DEST dest = FPDFLink_GetDest(doc, link);
      if (!dest && action && FPDFAction_GetType(action) == PDFACTION_GOTO) dest = FPDFAction_GetDest(doc, action);
      target.top = destinationTop(doc, dest, target.page, [this](int p) { return loadPageUnlocked(p); });
    }
    if (target.kind != LinkTarget::None) return target;
  }
  return webLinkAt(loaded.get(), space, point);
}

QList<PdfDocument::OutlineItem> PdfDocument::outline() const {
  DocumentLock lock(mutex);
  QList<OutlineItem> items;
  if (!doc) return items;
  QSet<FPDF_BOOKMARK> seen;
  appendOutlineItems(doc, nullptr, items, 0, seen, {});
  return items;
}

double PdfDocument::bookmarkTop(const QList<int>& location) const {
  DocumentLock lock(mutex);
  if (!doc || location.isEmpty() || location.size() > kMaxOutlineDepth) return -1;
  FPDF_BOOKMARK bookmark = nullptr;
  for (const int index : location) {
    if (index < 0 || index >= kMaxOutlineChildren) return -1;
    bookmark = FPDFBookmark_GetFirstChild(doc, bookmark);
    for (int i = 0; bookmark && i < index; ++i) bookmark = FPDFBookmark_GetNextSibling(doc, bookmark);
    if (!bookmark) return -1;
  }
  FPDF_DEST dest = FPDFBookmark_GetDest(doc, bookmark);
  FPDF_ACTION action = FPDFBookmark_GetAction(bookmark);
  if (!dest && action && FPDFAction_GetType(action) == PDFACTION_GOTO) dest = FPDFAction_GetDest(doc, action);
  return dest ? destinationTop(doc, dest, FPDFDest_GetDestPageIndex(doc, dest),
                               [this](int p) { return loadPageUnlocked(p); })
              : -1;
}
