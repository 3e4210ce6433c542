#pragma once
// Reading a whole .xlsx workbook into records, once, without widgets.

#include "XlsxMessages.h"
#include "XlsxRecords.h"

#include <QStringList>

#include <memory>

struct XlsxWorkbook {
  QList<XlsxSheetInfo> sheets;          // readable worksheets, workbook order
  std::unique_ptr<XlsxIStyles> styles;  // null when the file is no zip package
  QList<XlsxMessage> notes;             // what could not be read, for the user
  // The notes in Russian, as written.
  QStringList messages() const {
    QStringList texts;
    for (const XlsxMessage& note : notes) texts.append(note.sourceText());
    return texts;
  }
};

XlsxWorkbook loadXlsxWorkbook(const QString& path);

// Part name of a relationship target: an absolute target ("/xl/...") counts
// from the package root, a relative one from the folder of its owner part.
QString iResolvePartPath(const QString& ownerPart, const QString& target);
