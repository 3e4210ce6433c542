#pragma once
// Fonts named inside a PDF carry subset prefixes ("ABCDEF+") and PostScript
// style suffixes and are rarely installed under those names; the view asks Qt
// for the family this gives instead.

#include <QString>

QString mapPdfFont(const QString& pdfFontName);
