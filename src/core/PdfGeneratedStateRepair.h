#pragma once
// pdfium opens every content stream it writes by resetting the graphics
// state through a state of its own ("/FXE5 gs"). When a later edit of the
// same page regenerates its content, pdfium keeps only the states some page
// object uses and drops such a reset state, although the older stream still
// names it: viewers then warn that the page lacks a resource. Before a file
// is written, each dropped reset state is put back (it is always the plain
// default state).

#include <QByteArray>

// With `resetTextState`, each such stream resets the text state too, which
// pdfium's reset leaves as the content before its stream left it: a stream
// appended after a page that sets a character spacing, a scale or a rise
// would draw the new text with them. The file is written anew, its objects
// renumbered: run after the repairs that match objects by number.
// True with `repaired` set when something had to be put in; false (and
// `repaired` untouched) when nothing was missing or the file cannot be read.
bool repairGeneratedStreams(const QByteArray& pdf, bool resetTextState, QByteArray* repaired);

// pdfium, writing a page's content, also drops from its resources what no
// object of its own reading uses, although the page (or a form drawing with
// the page's resources) still names it. Each such entry of a page `before`
// had gets back the very object it named there; pages are matched by object
// number, which pdfium keeps. False when nothing was missing.
bool restoreDroppedResources(const QByteArray& before, const QByteArray& password, const QByteArray& after,
                             QByteArray* repaired);

