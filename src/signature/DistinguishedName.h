#pragma once
// Certificate names as people read them. The signing service hands names out
// as RFC 2253 text, where every byte of a Cyrillic letter is escaped ("\\D0\\98")
// and a comma inside a value is escaped too.

#include <QString>
#include <QStringList>

QStringList distinguishedNameParts(const QString& name);
// "CN=Иван Петров, O=Test, Org, C=RU"
QString readableDistinguishedName(const QString& name);
// The common name, else the surname, given name, organisation or unit, in
// that order whatever the order of the parts; else the readable name.
QString distinguishedPersonName(const QString& name);
