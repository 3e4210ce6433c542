#pragma once
// Replaces a file as a whole: the bytes go to the target's path + ".~tmp",
// every write is checked, the copy is synced, given the permissions of an
// existing target and renamed over it, so a failure leaves the old file as it
// was. Used by saving, exports, signatures and the journal.

#include <QByteArray>
#include <QString>

// Suffix of the temporary copy, appended to the full target path.
inline constexpr char kTemporarySaveSuffix[] = ".~tmp";

// On failure the target is untouched, the temporary file removed and `error`
// (when given) says why. A symbolic link stays a link: its target is replaced.
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error);
