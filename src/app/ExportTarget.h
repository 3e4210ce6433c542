#pragma once
// The last check before an export writes its file.

#include <QString>

class MainWindow;

// False, after telling the user, when the target is the file of an open tab
// (no tab may go on showing a file replaced under it, and a document is
// never overwritten by its own copy) or when it exists and the user declines
// to overwrite it.
bool confirmExportTarget(MainWindow* window, const QString& title, const QString& target);

class QWidget;

// True when no file is at this path, or the user agrees to replace the one
// there; the question names it.
bool confirmReplacingFile(QWidget* parent, const QString& path);
