#include "DistinguishedName.h"

#include <QByteArray>

#include <cctype>

// The parts of an RFC 2253 name as people read them: "\D0\98" escapes turned
// back into their UTF-8 letters, and an escaped comma kept inside its part.
QStringList distinguishedNameParts(const QString& name) {
  const QByteArray bytes = name.simplified().toUtf8();
  QStringList parts;
  QByteArray current;
  const auto isHex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const char c = bytes.at(i);
    if (c == '\\' && i + 2 < bytes.size() && isHex(bytes.at(i + 1)) && isHex(bytes.at(i + 2))) {
      current += char(bytes.mid(i + 1, 2).toInt(nullptr, 16));
      i += 2;
    } else if (c == '\\' && i + 1 < bytes.size()) {
      current += bytes.at(++i);
    } else if (c == ',') {
      parts << QString::fromUtf8(current).trimmed();
      current.clear();
    } else {
      current += c;
    }
  }
  parts << QString::fromUtf8(current).trimmed();
  parts.removeAll(QString());
  return parts;
}

QString readableDistinguishedName(const QString& name) { return distinguishedNameParts(name).join(QStringLiteral(", ")); }

// The short name on a stamp: the common name first, whatever the order of the
// parts, then the other naming attributes.
QString distinguishedPersonName(const QString& name) {
  const QStringList parts = distinguishedNameParts(name);
  for (const char* prefix : {"CN=", "SN=", "G=", "O=", "OU="})
    for (const QString& part : parts)
      if (part.startsWith(QLatin1String(prefix), Qt::CaseInsensitive))
        return part.mid(int(qstrlen(prefix))).trimmed();
  return readableDistinguishedName(name);
}
