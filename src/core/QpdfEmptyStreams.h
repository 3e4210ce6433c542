#pragma once
// qpdf compresses an empty stream to no bytes at all and marks it
// FlateDecode, which other readers take for a truncated stream. Before a
// file goes through qpdf's writer, such streams are given the compressed
// form of nothing instead; what they hold stays empty.

#include <QByteArray>

#include <qpdf/QPDF.hh>

void encodeEmptyStreams(QPDF& pdf);

// Writes `pdf` to memory with its empty streams encoded (and, when asked, its
// objects packed into object streams); false when qpdf had to mend anything
// or wrote nothing, so a caller keeps what it had.
bool writeQpdfToMemory(QPDF& pdf, bool objectStreams, QByteArray* out);
