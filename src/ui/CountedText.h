#pragma once
// Counts in words: the Russian source text with the plural form the count
// takes in the interface language, so that each form has its own entry in the
// translation table ("%1 страница", "%1 страницы", "%1 страниц").

#include <QString>

enum class PluralForm { One, Few, Many };

// The form a count takes: Russian, Ukrainian and Belarusian say one for 1,
// 21, 101, few for 2-4, 22-24 and many otherwise (11-14 included); Polish
// says one for 1 only; other languages one for 1 and many for the rest.
PluralForm pluralFormFor(int count, const QString& languageCode);

// The Russian source of the count's form in the language.
QString countedSourceText(int count, const QString& languageCode, const QString& one, const QString& few,
                          const QString& many);

// The count in words in the interface language: source looked up, then filled.
QString countedText(int count, const QString& one, const QString& few, const QString& many);
