#pragma once
// The page counter's words: the Russian source text with the plural form the
// count asks for, so that each form has its own entry in the translation table.

#include <QString>

// "%1 страница", "%1 страницы" or "%1 страниц", by the language's plural
// rule (CountedText.h).
QString pageCountSourceText(int count, const QString& languageCode);

// The counter's text for the count in the interface language.
QString pageCountText(int count, const QString& languageCode);
QString pageCountText(int count);
