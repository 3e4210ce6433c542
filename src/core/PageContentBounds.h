#pragma once
// Counts, through qpdf and without pdfium, how deep the saved graphics
// states of one page nest (with the forms, patterns and appearances it draws)
// and how many content bytes it holds: a fast first filter before a page is
// loaded. Only the page asked for is looked up, so a long document is not
// read whole for its first page.

#include <QByteArray>

#include <memory>

// A page nesting this many saved states, with the forms it draws, is refused.
inline constexpr int kRefusedNesting = 10000;
// Decoded content bytes a page, with the forms and appearances it draws, may hold.
inline constexpr qint64 kMostPageContentBytes = qint64(256) << 20;

class PageContentBounds {
public:
  PageContentBounds(const QByteArray& bytes, const QByteArray& password);
  ~PageContentBounds();
  PageContentBounds(const PageContentBounds&) = delete;
  PageContentBounds& operator=(const PageContentBounds&) = delete;

  // Whether page `index` (in pdfium's order) exceeds the bounds; false when
  // qpdf cannot find or read it.
  bool exceeds(int index);
  // What page `index` draws (its content, resources and annotations), as a
  // key: pages with the same key draw the same. Empty when the page has no
  // content stream of its own.
  QByteArray contentKey(int index);

private:
  struct Reader;
  std::unique_ptr<Reader> reader;
};
