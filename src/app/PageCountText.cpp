#include "PageCountText.h"

#include "ui/CountedText.h"
#include "ui/UiLanguage.h"

QString pageCountSourceText(int count, const QString& languageCode) {
  return countedSourceText(count, languageCode, QStringLiteral("%1 страница"), QStringLiteral("%1 страницы"),
                           QStringLiteral("%1 страниц"));
}

QString pageCountText(int count, const QString& languageCode) {
  return uiTranslate(pageCountSourceText(count, languageCode)).arg(count);
}

QString pageCountText(int count) { return pageCountText(count, currentUiLanguageCode()); }
