#pragma once
// Every save session loads the fonts it writes afresh, and pdfium embeds
// each load as a font of its own: a document saved again and again would
// carry the same subset once per save. Before a file is written, fonts
// that are the same in every byte (dictionary, program, widths, mapping)
// are merged into one, and so are identical font programs of different
// font dictionaries.

#include <QByteArray>

// True with `merged` set when something was merged; false (and `merged`
// untouched) when nothing repeats or the file cannot be read cleanly.
bool mergeRepeatedFonts(const QByteArray& pdf, bool objectStreams, QByteArray* merged);
