#include "PdfDocument.h"

#include "DocumentLock.h"
#include "PageLoadGuard.h"
#include "PageTextCharacters.h"
#include "PageSpace.h"
#include "PdfiumHandles.h"
#include "TextDirection.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// A page and its text page, closed in the right order.
struct LoadedText {
  pdfium::Page page;
  pdfium::TextPage text;
};

bool loadText(FPDF_PAGE page, LoadedText* loaded) {
  loaded->page.reset(page);
  if (!loaded->page) return false;
  loaded->text.reset(FPDFText_LoadPage(loaded->page.get()));
  return bool(loaded->text);
}

// The page's characters in pdfium's order as readable text, and for every
// UTF-16 unit of the string the index of the character it came from (a
// character may give no unit, or several).
struct PageText {
  QString text;
  std::vector<int> charIndex;
};

PageText readPageText(FPDF_TEXTPAGE textPage) {
  PageText result;
  const int count = FPDFText_CountChars(textPage);
  result.text.reserve(std::max(0, count));
  for (int i = 0; i < count; ++i) {
    const char32_t code = FPDFText_GetUnicode(textPage, i);
    // A word broken at a line end comes back whole, as pdftotext gives it.
    if (code == kLineEndHyphen) {
      while (i + 1 < count && (FPDFText_GetUnicode(textPage, i + 1) == '\r' ||
                               FPDFText_GetUnicode(textPage, i + 1) == '\n'))
        ++i;
      continue;
    }
    const QString letters = lettersOfCode(code > 0x10FFFF ? 0xFFFD : code);
    result.text.append(letters);
    result.charIndex.insert(result.charIndex.end(), size_t(letters.size()), i);
  }
  return result;
}

// The union of pdfium's rectangles for one hit, in user space; empty when
// pdfium has none with an area.
QRectF searchResultRect(FPDF_TEXTPAGE textPage, int start, int count) {
  QRectF united;
  bool first = true;
  const int rects = FPDFText_CountRects(textPage, start, count);
  for (int i = 0; i < rects; ++i) {
    double left = 0, top = 0, right = 0, bottom = 0;
    if (!FPDFText_GetRect(textPage, i, &left, &top, &right, &bottom)) continue;
    const QRectF r(std::min(left, right), std::min(bottom, top), std::abs(right - left), std::abs(top - bottom));
    if (r.width() <= 0 || r.height() <= 0) continue;
    united = first ? r : (united | r);
    first = false;
  }
  return united;
}

// A hit on the shown page and the direction its text runs in there.
struct Hit {
  QRectF rect;
  double angle = 0;
};

void appendHit(std::vector<Hit>& hits, FPDF_TEXTPAGE textPage, const PageSpace& space, int start, int count) {
  const QRectF user = searchResultRect(textPage, start, count);
  if (user.width() <= 0 || user.height() <= 0) return;
  double angle = 0;
  for (int i = start; i < start + count; ++i) {
    FS_MATRIX m{};
    if (!FPDFText_GetMatrix(textPage, i, &m)) continue;
    if (const double found = shownAngle(m, space); !std::isnan(found)) {
      angle = found;
      break;
    }
  }
  hits.push_back({space.toShown(user), angle});
}

// Whether hit a is read before b, both of one direction: lines from the top
// down in their own frame, then along the line.
bool readBefore(const Hit& a, const Hit& b) {
  const QTransform frame = readingFrame(a.angle);
  const QRectF ra = frame.mapRect(a.rect);
  const QRectF rb = frame.mapRect(b.rect);
  if (std::abs(ra.center().y() - rb.center().y()) > 0.5 * std::max(ra.height(), rb.height()))
    return ra.center().y() > rb.center().y();
  return ra.left() < rb.left();
}

// pdfium lists the hits of text that does not run upright on the shown page
// (a page with /Rotate 90) by the order their lines take across the page
// turned back, which on screen is backwards. Upright hits keep pdfium's order,
// the page's own, columns and all; the others follow them in reading order,
// each direction on its own.
QList<QRectF> inReadingOrder(std::vector<Hit> hits) {
  const auto turned = std::stable_partition(hits.begin(), hits.end(), [](const Hit& h) { return h.angle == 0.0; });
  // Insertion sort: the order is not transitive across rows, which std::sort
  // must never be given.
  for (auto i = turned; i != hits.end(); ++i) {
    for (auto j = i; j != turned; --j) {
      const Hit& a = *j;
      const Hit& b = *(j - 1);
      const bool before = sameAngle(a.angle, b.angle) ? readBefore(a, b) : a.angle < b.angle;
      if (!before) break;
      std::iter_swap(j, j - 1);
    }
  }
  QList<QRectF> rects;
  rects.reserve(qsizetype(hits.size()));
  for (const Hit& h : hits) rects.append(h.rect);
  return rects;
}

// pdfium's own search; the caller holds the document lock.
// Takes over the loaded page `page` (null when it could not be loaded).
QList<QRectF> plainSearch(FPDF_PAGE page, const QString& query, unsigned long flags) {
  std::vector<Hit> hits;
  LoadedText loaded;
  if (!loadText(page, &loaded)) return {};
  const PageSpace space = PageSpace::ofPage(loaded.page.get());
  pdfium::Search search(
      FPDFText_FindStart(loaded.text.get(), reinterpret_cast<FPDF_WIDESTRING>(query.utf16()), flags, 0));
  if (!search) return {};
  while (FPDFText_FindNext(search.get())) {
    const int start = FPDFText_GetSchResultIndex(search.get());
    const int count = FPDFText_GetSchCount(search.get());
    appendHit(hits, loaded.text.get(), space, start, count);
  }
  return inReadingOrder(std::move(hits));
}

// Each match is located by its own position in the page text, so every
// occurrence is reported once and the expression's case rule holds.
QList<QRectF> expressionSearch(FPDF_PAGE page, const QRegularExpression& expression) {
  std::vector<Hit> hits;
  LoadedText loaded;
  if (!loadText(page, &loaded)) return {};
  const PageSpace space = PageSpace::ofPage(loaded.page.get());
  const PageText pageText = readPageText(loaded.text.get());
  QRegularExpressionMatchIterator matches = expression.globalMatch(pageText.text);
  while (matches.hasNext()) {
    const QRegularExpressionMatch match = matches.next();
    if (match.capturedLength(0) <= 0) continue;
    const int first = pageText.charIndex[size_t(match.capturedStart(0))];
    const int last = pageText.charIndex[size_t(match.capturedEnd(0) - 1)];
    appendHit(hits, loaded.text.get(), space, first, last - first + 1);
  }
  return inReadingOrder(std::move(hits));
}

}  // namespace

QString PdfDocument::extractAllText(int page) const {
  DocumentLock lock(mutexAfterCheck(page));
  LoadedText loaded;
  if (!loadText(doc ? loadPageUnlocked(page) : nullptr, &loaded)) return {};
  return readPageText(loaded.text.get()).text;
}

QString PdfDocument::extractAllTextAllPages() const {
  QStringList pages;
  const int count = pageCount();
  for (int i = 0; i < count; ++i) pages.append(extractAllText(i));
  return pages.join(QLatin1Char('\n'));
}

QList<QRectF> PdfDocument::findText(int page, const QString& query) const {
  if (query.isEmpty()) return {};
  DocumentLock lock(mutexAfterCheck(page));
  return plainSearch(doc ? loadPageUnlocked(page) : nullptr, query, 0);
}

QRegularExpression PdfDocument::findExpression(const QString& query, const FindOptions& options) {
  // pdfium's whole-word rule takes a Cyrillic letter for a word boundary
  // ("договор" inside "договоры"): words are bounded by letters and digits
  // of every script here instead.
  const QString escaped = QRegularExpression::escape(query);
  const QString pattern = options.regularExpression ? query
                          : options.wholeWord
                              ? QStringLiteral("(?<![\\p{L}\\p{N}])%1(?![\\p{L}\\p{N}])").arg(escaped)
                              : escaped;
  return QRegularExpression(pattern, options.caseSensitive ? QRegularExpression::NoPatternOption
                                                           : QRegularExpression::CaseInsensitiveOption);
}

QList<QRectF> PdfDocument::findTextWithOptions(int page, const QString& query, const FindOptions& options) const {
  if (query.isEmpty()) return {};
  if (options.regularExpression || options.wholeWord) {
    const QRegularExpression expression = findExpression(query, options);
    if (!expression.isValid()) return {};
    DocumentLock lock(mutexAfterCheck(page));
    return expressionSearch(doc ? loadPageUnlocked(page) : nullptr, expression);
  }
  unsigned long flags = 0;
  if (options.caseSensitive) flags |= FPDF_MATCHCASE;
  DocumentLock lock(mutexAfterCheck(page));
  return plainSearch(doc ? loadPageUnlocked(page) : nullptr, query, flags);
}
