#pragma once
// Leftovers of our own processes that died before they could clean up (a
// crash, kill -9): temporary folders and the atomic writer's half-written
// copies. Their names carry the owning process id; only entries that the
// user owns, that are exactly of our naming, and whose process is gone are
// removed.

#include <QString>

// Whether a process with this id is running (one we may not signal counts as
// running: it is not ours to judge).
bool isProcessAlive(qint64 pid);

// "<prefix><pid>-<random>": the name of a private temporary folder of this
// process, to be created with QTemporaryDir(QDir::tempPath() + "/" + name + "XXXXXX").
QString ownedTemporaryFolderTemplate(const QString& prefix);

// Removes the folders "<prefix><pid>-<random>" directly in `parent` whose
// process is gone and which the user owns (never following a link).
// Returns how many were removed.
int removeStaleOwnedFolders(const QString& parent, const QString& prefix);
