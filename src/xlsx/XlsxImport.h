#pragma once
// Entry of the spreadsheet import for the window: the dialog and a run that
// hands the chosen pages on one at a time.

#include "xlsx/XlsxImportDialog.h"

#include <QSizeF>

class QWidget;

// Runs the import dialog for path. When the user accepts, every page image is
// handed to addPage with the page size in points, one at a time; a false
// answer stops the run. Returns the number of pages handed on, or -1 when the
// user cancelled. loadMessages receives what could not be read, in the interface language;
// refusal, why no page was made although the user accepted (too many pages).
int runXlsxImport(const QString& path, QWidget* parent,
                  const std::function<bool(const QImage&, QSizeF)>& addPage, QStringList* loadMessages = nullptr,
                  QString* refusal = nullptr);
