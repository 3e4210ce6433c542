#pragma once
// qpdf over documents held in memory: one page read strictly, its content
// replaced, and the document written back.
//
// qpdf compresses an empty stream to no bytes at all and marks it
// FlateDecode, which other readers take for a truncated stream. Before a
// file goes through qpdf's writer, such streams are given the compressed
// form of nothing instead; what they hold stays empty.

#include <QByteArray>

#include <qpdf/Pl_Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <optional>

void encodeEmptyStreams(QPDF& pdf);

// Writes `pdf` to memory with its empty streams encoded (and, when asked, its
// objects packed into object streams); false when qpdf had to mend anything
// or wrote nothing, so a caller keeps what it had. Streams are decoded and
// compressed again unless `keepStreamData`: then they are written as they are.
// `acceptWarnings`: content qpdf only read with complaints is written all the same.
bool writeQpdfToMemory(QPDF& pdf, bool objectStreams, QByteArray* out, bool keepStreamData = false,
                       bool acceptWarnings = false);

// Page `pageIndex` of `pdf`, read into `reader` without repairs (a file qpdf
// would have to mend could come out different from what pdfium shows);
// nothing when there is no such page. qpdf's exceptions reach the caller.
std::optional<QPDFPageObjectHelper> readQpdfPage(QPDF& reader, const QByteArray& pdf, int pageIndex);

// Page `index` as pdfium counts pages, found down the tree by each node's
// count without reading the pages before it (a long document's page list is
// never built for one page); null when there is none, or the tree loops.
QPDFObjectHandle qpdfPageAt(QPDF& pdf, int index);

// Makes what `content` collected the page's one content stream.
void replacePageContent(QPDF& reader, QPDFPageObjectHelper& page, Pl_Buffer& content);
