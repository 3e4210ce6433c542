#pragma once
// The page counter's words: the Russian source text with the plural form the
// count asks for, so that each form has its own entry in the translation table.

#include <QString>

// "%1 страница", "%1 страницы" or "%1 страниц": for Russian by the Russian
// rules; for another language the singular source for one and "%1 страниц"
// for any other count, as languages with two forms need.
QString pageCountSourceText(int count, const QString& languageCode);

// The counter's text for the count in the interface language.
QString pageCountText(int count, const QString& languageCode);
QString pageCountText(int count);
