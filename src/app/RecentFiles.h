#pragma once
// The recent-files list in the settings ("recentFiles"), kept only while
// "doc/rememberRecent" is on.

#include <QStringList>

bool recentFilesEnabled();
// The paths to open for the stored list, in order (see openablePathForStored).
QStringList recentFilePaths();
// The path to open for the first stored entry; empty when there is none.
QString lastRecentFilePath();
// Puts the file first (once), keeping the list short; nothing when disabled.
// A link of ours is kept as the real file it leads to.
void rememberRecentFile(const QString& absolutePath);
void clearRecentFiles();
