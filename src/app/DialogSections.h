#pragma once
// Pieces the window's larger dialogs are built from: the recent-files list of
// the open dialog and the titled sections of the settings dialog.

#include <QList>
#include <QString>

#include <utility>

class QListWidget;
class QVBoxLayout;
class QWidget;

// Refills the list with the recent files that still exist, most recent first;
// each item holds the absolute path in Qt::UserRole. Without any, one disabled
// line says so.
void fillRecentFilesList(QListWidget* list, const QList<QString>& recentPaths);

// A parentless section with its title and, when given, a hint; the caller
// appends the section's controls to the returned layout.
std::pair<QWidget*, QVBoxLayout*> settingsSectionHeader(const QString& title, const QString& hint);
