#include "SymbolCharacterLists.h"

#include <QFontMetrics>
#include <QSet>

namespace {

QStringList fromCodePoints(std::initializer_list<char32_t> points) {
  QStringList list;
  for (char32_t point : points) list.append(QString::fromUcs4(&point, 1));
  return list;
}

}  // namespace

QList<std::pair<QString, QStringList>> fixedSymbolTabs() {
  return {
      {QStringLiteral("Популярные"),
       fromCodePoints({0x2116, 0x00A7, 0x00B6, 0x00A9, 0x00AE, 0x2122, 0x00B0, 0x00B1, 0x00D7, 0x00F7, 0x2248, 0x2260,
                       0x2264, 0x2265, 0x2026, 0x2030, 0x00AB, 0x00BB, 0x201E, 0x201C, 0x201D, 0x2013, 0x2014, 0x2022})},
      {QStringLiteral("Математика"),
       fromCodePoints({0x221E, 0x221A, 0x2211, 0x220F, 0x222B, 0x2206, 0x2202, 0x2208, 0x2229, 0x222A, 0x2282, 0x2283,
                       0x2295, 0x2297, 0x00B9, 0x00B2, 0x00B3, 0x00BC, 0x00BD, 0x00BE, 0x2153, 0x2154, 0x215B, 0x215C})},
      {QStringLiteral("Валюта"),
       fromCodePoints({0x20BD, 0x0024, 0x20AC, 0x00A3, 0x00A5, 0x20BF, 0x20B4, 0x20B8, 0x00A2, 0x00A4, 0x20BA, 0x20B9,
                       0x20A9, 0x20AA, 0x20AB, 0x20A6})},
      {QStringLiteral("Греческие"),
       fromCodePoints({0x03B1, 0x03B2, 0x03B3, 0x03B4, 0x03B5, 0x03B6, 0x03B7, 0x03B8, 0x03BB, 0x03BC, 0x03C0, 0x03C1,
                       0x03C3, 0x03C4, 0x03C6, 0x03C9, 0x0391, 0x0392, 0x0393, 0x0394, 0x039B, 0x03A0, 0x03A3, 0x03A9})},
  };
}

QStringList allSymbols(const QFontMetrics& metrics) {
  QStringList list;
  QSet<QString> seen;
  const auto addToAllSymbols = [&](const QString& s) {
    if (s.isEmpty() || s.contains(QChar(0xFFFD)) || s.contains(QChar(0x25A1))) return;
    if (s.size() == 1 && s.at(0).category() == QChar::Other_NotAssigned) return;
    if (!metrics.inFontUcs4(s.toUcs4().value(0))) return;
    if (seen.contains(s)) return;
    seen.insert(s);
    list.append(s);
  };
  for (const auto& tab : fixedSymbolTabs())
    for (const QString& s : tab.second) addToAllSymbols(s);
  const auto addSymbolRange = [&](char32_t first, char32_t last) {
    for (char32_t point = first; point <= last; ++point) {
      const QString s = QString::fromUcs4(&point, 1);
      if (s.trimmed().isEmpty()) continue;
      addToAllSymbols(s);
    }
  };
  const std::pair<char32_t, char32_t> ranges[] = {
      {0x00A1, 0x00FF}, {0x2000, 0x206F}, {0x2070, 0x209F}, {0x20A0, 0x20CF}, {0x2100, 0x214F},
      {0x2150, 0x218F}, {0x2190, 0x21FF}, {0x2200, 0x22FF}, {0x2300, 0x23FF}, {0x2460, 0x24FF},
      {0x25A0, 0x25FF}, {0x2600, 0x26FF}, {0x2700, 0x27BF}, {0x2900, 0x297F}, {0x2B00, 0x2BFF}};
  for (const auto& [first, last] : ranges) addSymbolRange(first, last);
  return list;
}
