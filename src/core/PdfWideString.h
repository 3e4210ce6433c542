#pragma once
// Strings for pdfium's wide-string parameters (UTF-16LE, NUL-terminated).

#include <QList>
#include <QString>

inline QList<ushort> toPdfWide(const QString& text) {
  QList<ushort> wide;
  wide.reserve(text.size() + 1);
  for (QChar c : text) wide.append(c.unicode());
  wide.append(0);
  return wide;
}
