#pragma once
// Reading a whole file that must be an ordinary file of bounded size. A pipe,
// device, socket or folder named where a file belongs is refused at once,
// without waiting for a writer and without reading an endless stream.

#include <QByteArray>
#include <QString>

#include <optional>

enum class FileReadFailure { None, Open, NotRegular, TooLarge, Read };

// Fills `bytes` with the file's content (at most `maxBytes`). On failure
// returns the kind and, when `reason` is given, a short text saying why.
FileReadFailure readRegularFile(const QString& path, qint64 maxBytes, QByteArray* bytes, QString* reason);

// The first `maxBytes` of an ordinary file (fewer when it is shorter), read
// without waiting on a pipe; nothing for anything else or an unreadable file.
std::optional<QByteArray> regularFileHead(const QString& path, int maxBytes);

// Whether an existing path names something other than an ordinary file
// (links followed). A missing path is not refused here.
bool isExistingNonRegularFile(const QString& path);

// A PDF the document model opens or imports: held whole in memory, so at
// most 4 GB and an ordinary file. False with the message for the user.
bool readPdfFile(const QString& path, QByteArray* bytes, QString* error);
