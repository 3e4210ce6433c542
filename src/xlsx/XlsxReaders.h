#pragma once
// The workbook's part readers: each turns one package part into records.
// They never fail: what cannot be read is left out and, where the user should
// know, a message naming the part goes into the report.

#include "XlsxMessages.h"
#include "XlsxRecords.h"

#include <QByteArray>
#include <QSet>
#include <QStringList>

#include <memory>

class QXmlStreamAttributes;
class QXmlStreamReader;

// Messages for the user, each said once, and the running budgets of a
// workbook that keep its memory bounded.
struct XlsxReadReport {
  QList<XlsxMessage> messages;
  qint64 cellsStored = 0;
  qint64 chartPointsStored = 0;  // list entries of all chart series, gaps included
  void add(const QString& source, const QStringList& args = {}) {
    const XlsxMessage message{source, args};
    if (!messages.contains(message)) messages.append(message);
  }
};

// Height in points of a row without a height of its own.
inline constexpr double kDefaultRowHeightPt = 15.0;
// Size in points of the text of a cell without a font of its own.
inline constexpr double kDefaultFontPt = 11.0;

// Whether a list read from `part` may take one more record; when it may not,
// says once that the rest of the part was left out.
bool iListHasRoom(qsizetype size, qsizetype limit, const QString& part, XlsxReadReport* report);

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

// Rows without a height fixed by the workbook grow to hold their largest font.
void iGrowRowsToFonts(XlsxISheetData& sheet, const XlsxIStyles& styles);

// One chart part; the anchor is the loader's.
XlsxIChart iParseChart(const QByteArray& xml, const QString& part = QString(), XlsxReadReport* report = nullptr);
