#pragma once
// File names that are not valid UTF-8 (made on another system, or copied
// from an old archive). Qt decodes such a name lossily and can then no longer
// open the file, so the program reaches it through a link with a readable
// name in a private folder of its own; what it writes beside the file goes
// beside the real file.

#include <QByteArray>
#include <QString>

// Prefix of the private folders that hold the links ("<prefix><pid>-<random>").
inline constexpr char kForeignNameFolderPrefix[] = "ulvo-names-";

// A path Qt can open for the raw bytes of a command-line argument: the
// decoded text when it stands for the same bytes, or when nothing exists
// there; otherwise a link to the file in this process's private folder,
// named by the decoded name. The folder goes when the program ends.
QString openablePathForArgument(const QByteArray& raw);

// The folder that files written "beside" `path` belong in: the real file's
// folder when `path` is one of those links, else the path's own folder.
QString folderBeside(const QString& path);
