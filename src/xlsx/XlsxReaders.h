#pragma once
// The workbook's part readers: each turns one package part into records.
// They never fail: what cannot be read is left out and, where the user should
// know, a message naming the part goes into the report.

#include "XlsxRecords.h"

#include <QByteArray>
#include <QSet>
#include <QStringList>

#include <memory>

class QXmlStreamAttributes;
class QXmlStreamReader;

// Messages for the user, each said once, and the running cell count of a
// workbook that keeps its memory bounded.
struct XlsxReadReport {
  QStringList messages;
  qint64 cellsStored = 0;
  void add(const QString& message) {
    if (!messages.contains(message)) messages.append(message);
  }
};

// Adds "part is damaged" to the report when the reader stopped at an error.
void iNoteXmlError(const QXmlStreamReader& reader, const QString& part, XlsxReadReport* report);

// xsd:boolean: "1" and "true" are true.
bool iXsdTrue(QStringView text);
// xsd:boolean: "0" and "false" are false.
bool iXsdFalse(QStringView text);

// Column letters (A = 0, case-insensitive); -1 without letters; a column past
// the sheet's last gives xlsxlimits::kMaxColumn.
int iColumnFromLetters(QStringView letters);

// Styles and colours.
QColor iIndexedColor(int index);
QColor iResolveColor(const QXmlStreamAttributes& attributes, const QList<QColor>& theme);
QList<QColor> iParseTheme(const QByteArray& xml, const QString& part = QString(), XlsxReadReport* report = nullptr);
std::unique_ptr<XlsxIStyles> iParseStyles(const QByteArray& xml, const QList<QColor>& theme,
                                          const QString& part = QString(), XlsxReadReport* report = nullptr);

// One worksheet part.
std::unique_ptr<XlsxISheetData> iParseSheet(const QByteArray& xml, const QList<QString>& sharedStrings,
                                            const QString& part = QString(), XlsxReadReport* report = nullptr);

// One chart part; the anchor is the loader's.
XlsxIChart iParseChart(const QByteArray& xml, const QString& part = QString(), XlsxReadReport* report = nullptr);
