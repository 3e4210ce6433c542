#pragma once
// Replaces a file as a whole: the bytes go to a temporary file in the target's
// folder, every write is checked, the file is synced and then renamed over the
// target, so a failure leaves the old file as it was.

#include <QByteArray>
#include <QString>

// On failure error gets the file system's reason (when set).
bool writeFileAtomically(const QString& path, const QByteArray& data, QString* error);
