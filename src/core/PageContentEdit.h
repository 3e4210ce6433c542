#pragma once
// A page's content as a sequence of operators that an edit filters and never
// writes anew: pdfium reads the page and decides what goes, but cannot write
// back much of what it reads (colour spaces, shadings, inline images, Type 3
// and CID text, marked content), so every operator the edit does not remove
// is copied by qpdf as it was.
//
// begin() wraps each show and each image of the page, and of every form it
// draws, in a marked-content sequence under a tag no file carries, numbered
// per stream, so that the objects pdfium reads name the operators that drew
// them. The page's own content becomes one balanced stream wrapped in q … Q,
// so that what pdfium appends after it starts from the default state.
// finish() removes the chosen operators and every tag; a form drawn here that
// loses something is drawn from a copy of its own, so other pages and other
// places keep theirs; every other form gets its own bytes back. What pdfium
// generated for the page is taken over from its file: each piece marked for a
// removed show is drawn where that show stood (what the page drew after it
// still covers it), the rest after the page's own content.

#include <QByteArray>
#include <QPointF>
#include <QString>
#include <QTransform>

#include "ShowCut.h"

#include <map>
#include <memory>
#include <set>
#include <vector>

struct ShapedPlacement;

// What goes from one content stream (the page's, or one drawing of a form).
struct ContentDrops {
  std::set<long> ids;
  // Where the first glyph of each show starts on the page (user space): a
  // show kept after removed ones in the same line is set there again, as the
  // removed ones no longer advance the pen to it.
  std::map<long, QPointF> origins;
  // New content drawn in place of a removed show: the numbers its pieces
  // carry under the new-content tag, in drawing order.
  std::map<long, std::vector<int>> splices;
  // New content drawn right after a show that stays, the same way.
  std::map<long, std::vector<int>> after;
  // Pieces painted in the fill the content has where they are drawn when
  // it is a pattern (the user left the line's colour as it was read).
  std::set<int> pageFill;
  // Shows cut at glyph boundaries: what of each stays, and where.
  std::map<long, ShowCut> cuts;
  // Images drawn where they stood with this matrix concatenated first: a
  // picture carried or turned keeps its object and its pixels.
  std::map<long, QTransform> carried;
  // By the order in which this stream draws forms: what goes inside each.
  std::map<int, ContentDrops> forms;
};

class PageContentEdit {
public:
  PageContentEdit();
  ~PageContentEdit();
  PageContentEdit(const PageContentEdit&) = delete;
  PageContentEdit& operator=(const PageContentEdit&) = delete;

  // The whole file with page `pageIndex` (from 0) marked; false with a
  // message when the file cannot be read without repairs or the page's
  // content is beyond the bounds an edit processes.
  bool begin(const QByteArray& pdf, int pageIndex, bool objectStreams, QByteArray* marked, QString* error);
  // The marked-content tag's name, without its slash.
  const QByteArray& tag() const;
  // The tag, without its slash, that marks each new object meant for the
  // place of a removed show, with the piece's number as /K.
  QByteArray newContentTag() const;
  // The whole file with the drops made, the new content of `generated` (the
  // marked file with pdfium's new objects appended to the page; empty for
  // none) taken over, and no tag left. The page's resources are the ones it
  // named: pdfium's own reading of them does not count. `shaped` are new
  // lines set here instead of by pdfium, under the numbers of their pieces.
  bool finish(const ContentDrops& drops, const QByteArray& generated, const std::map<int, ShapedPlacement>& shaped,
              QByteArray* result, QString* error);
  bool finish(const ContentDrops& drops, const QByteArray& generated, QByteArray* result, QString* error);

private:
  struct State;
  std::unique_ptr<State> d;
};
