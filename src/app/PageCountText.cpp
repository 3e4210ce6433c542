#include "PageCountText.h"

#include "UiLanguage.h"

#include <cstdlib>

namespace {

// Languages that count the way Russian does: one, a few, many.
bool countsLikeRussian(const QString& code) {
  return code == QLatin1String("ru") || code == QLatin1String("uk") || code == QLatin1String("be");
}

}  // namespace

QString pageCountSourceText(int count, const QString& languageCode) {
  const int n = std::abs(count);
  if (!countsLikeRussian(languageCode)) return n == 1 ? QStringLiteral("%1 страница") : QStringLiteral("%1 страниц");
  const int lastTwo = n % 100;
  const int last = n % 10;
  if (lastTwo >= 11 && lastTwo <= 14) return QStringLiteral("%1 страниц");
  if (last == 1) return QStringLiteral("%1 страница");
  if (last >= 2 && last <= 4) return QStringLiteral("%1 страницы");
  return QStringLiteral("%1 страниц");
}

QString pageCountText(int count, const QString& languageCode) {
  return uiTranslate(pageCountSourceText(count, languageCode)).arg(count);
}

QString pageCountText(int count) { return pageCountText(count, currentUiLanguageCode()); }
