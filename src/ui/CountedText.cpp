#include "CountedText.h"

#include "UiLanguage.h"

#include <cstdlib>

PluralForm pluralFormFor(int count, const QString& code) {
  const int n = std::abs(count);
  const int last = n % 10;
  const int lastTwo = n % 100;
  const bool fewEnding = last >= 2 && last <= 4 && !(lastTwo >= 12 && lastTwo <= 14);
  if (code == QLatin1String("ru") || code == QLatin1String("uk") || code == QLatin1String("be")) {
    if (last == 1 && lastTwo != 11) return PluralForm::One;
    return fewEnding ? PluralForm::Few : PluralForm::Many;
  }
  if (code == QLatin1String("pl")) {
    if (n == 1) return PluralForm::One;
    return fewEnding ? PluralForm::Few : PluralForm::Many;
  }
  return n == 1 ? PluralForm::One : PluralForm::Many;
}

QString countedSourceText(int count, const QString& languageCode, const QString& one, const QString& few,
                          const QString& many) {
  switch (pluralFormFor(count, languageCode)) {
    case PluralForm::One:
      return one;
    case PluralForm::Few:
      return few;
    case PluralForm::Many:
      break;
  }
  return many;
}

QString countedText(int count, const QString& one, const QString& few, const QString& many) {
  return uiTranslate(countedSourceText(count, currentUiLanguageCode(), one, few, many)).arg(count);
}
