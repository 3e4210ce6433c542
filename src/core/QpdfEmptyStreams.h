#pragma once
// qpdf compresses an empty stream to no bytes at all and marks it
// FlateDecode, which other readers take for a truncated stream. Before a
// file goes through qpdf's writer, such streams are given the compressed
// form of nothing instead; what they hold stays empty.

#include <qpdf/QPDF.hh>

void encodeEmptyStreams(QPDF& pdf);
