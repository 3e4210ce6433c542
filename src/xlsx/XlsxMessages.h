#pragma once
// Messages of the spreadsheet import for the user: a Russian source text and
// its arguments, put into the interface language when they are shown.

#include <QString>
#include <QStringList>

struct XlsxMessage {
  QString source;    // Russian, with %1.. for the arguments
  QStringList args;  // from the file (names of parts and sheets): shown as plain text
  // The message in the interface language.
  QString text() const;
  // The message in Russian, as written.
  QString sourceText() const;
  bool operator==(const XlsxMessage& other) const { return source == other.source && args == other.args; }
};

// The interface's translation of a Russian source text; the window installs
// its own, the default keeps the source.
using XlsxTranslator = QString (*)(const QString&);
void setXlsxTranslator(XlsxTranslator translator);
QString xlsxTranslate(const QString& source);
