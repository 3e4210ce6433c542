#include "PageListParsing.h"

#include <QStringList>

#include <algorithm>

namespace {

// Text that is not a number counts as 0.
int numberOf(const QString& text) { return text.trimmed().toInt(nullptr, 10); }

}  // namespace

QList<int> parsePageList(const QString& text, int pageCount) {
  QList<int> pages;
  for (const QString& rawPart : text.trimmed().split(QLatin1Char(','))) {
    const QString part = rawPart.trimmed();
    if (part.isEmpty()) continue;
    if (part.contains(QLatin1Char('-'))) {
      const QStringList ends = part.split(QLatin1Char('-'));
      const int first = std::max(numberOf(ends.at(0)), 1);
      const int last = std::min(numberOf(ends.at(1)), pageCount);
      for (int n = first; n <= last; ++n) pages.append(n - 1);
      continue;
    }
    const int n = numberOf(part);
    if (n >= 1 && n <= pageCount) pages.append(n - 1);
  }
  return pages;
}

QList<int> distinctPagesDescending(const QList<int>& pages) {
  QList<int> result = pages;
  std::sort(result.begin(), result.end(), std::greater<int>());
  result.erase(std::unique(result.begin(), result.end()), result.end());
  return result;
}

QStringList pagePerFileNames(const QString& chosenPdf, const QList<int>& pages) {
  QString base = chosenPdf;
  if (base.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) base.chop(4);
  QStringList names;
  for (int page : pages) names << base + QStringLiteral("-%1.pdf").arg(page + 1);
  return names;
}
