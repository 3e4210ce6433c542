#pragma once
// The recent-files list in the settings ("recentFiles"), kept only while
// "doc/rememberRecent" is on.

#include <QStringList>

bool recentFilesEnabled();
QStringList recentFilePaths();
// Puts the path first (once), keeping the list short; nothing when disabled.
void rememberRecentFile(const QString& absolutePath);
void clearRecentFiles();
