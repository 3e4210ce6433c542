#pragma once
// Every save session loads the fonts it writes afresh, and pdfium embeds
// each load as a font of its own: a document saved again and again would
// carry the same subset once per save. Before a file is written, this
// program's own subsets ("ABCDEF+DejaVu...", "ABCDEF+Noto...") whose
// TrueType programs decode to the same bytes share one program, and their
// descriptors, CIDFonts, ToUnicode maps and Type0 fonts are merged once
// they differ only in what was merged. Fonts the file brought stay as they are.

#include <QByteArray>

// True with `merged` set when something was merged; false (and `merged`
// untouched) when nothing repeats, the file cannot be read cleanly or its
// fonts are nested too deep to compare safely.
bool mergeRepeatedFonts(const QByteArray& pdf, bool objectStreams, QByteArray* merged);
