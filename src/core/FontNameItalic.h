#pragma once
// Whether a font's name says its glyphs lean: a word of the name ("Italic",
// "Oblique", "Slanted", "Inclined") or the style letters of a TeX name
// ("ti" of CMTI10, "sl" of CMSL10, "mi" of CMMI10). A subset tag ("ABCDEF+")
// and hyphens do not matter.

#include <QString>

bool fontNameSaysItalic(const QString& name);
