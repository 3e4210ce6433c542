#pragma once
// pdfium rewrites only the content streams that held a changed object and
// appends new objects in a stream of their own, after the state the old
// content leaves behind. A page whose content is split over several streams
// in the middle of a text object or a saved state, or which leaves its state
// unbalanced or transformed at its end, then reads with errors in other
// viewers, or shows the new text elsewhere than pdfium does. Such a page is
// given one balanced content stream, wrapped in its own saved state, before
// it is edited, and forms that draw with the page's resources get their own;
// what it draws stays the same.

#include "KeptType3Text.h"

#include <QByteArray>

#include <vector>

// True with `joined` set to the whole file rewritten when page `pageIndex`
// (from 0) of `pdf` needed it; false (and `joined` untouched) when the page
// is fine as it is or the file cannot be rewritten without repairs.
// `objectStreams` packs the rewritten file into object streams. With `kept`,
// shows in Type 3 fonts are tagged (the page is then always rewritten) and
// listed there in their tags' order.
bool joinPageContent(const QByteArray& pdf, int pageIndex, bool objectStreams, QByteArray* joined,
                     std::vector<KeptType3Show>* kept = nullptr);
