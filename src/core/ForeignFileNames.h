#pragma once
// File names that are not valid UTF-8 (made on another system, or copied
// from an old archive). Qt decodes such a name lossily and can then no longer
// open the file, so the program reaches it through a link with a readable
// name in a private folder of its own; what it writes beside the file goes
// beside the real file.

#include <QByteArray>
#include <QString>

#include <optional>
#include <utility>

#include "OwnedLeftovers.h"  // kForeignNameFolderPrefix: the folders that hold the links

// A path Qt can open for the raw bytes of a command-line argument: the
// decoded text when it stands for the same bytes, or when nothing exists
// there; otherwise a link to the file in this process's private folder,
// named by the decoded name. The folder goes when the program ends.
QString openablePathForArgument(const QByteArray& raw);

// What an existing file is on disk (device and inode, links followed), so
// that two names of one file compare equal and two files never do; nothing
// for a path where no file is.
std::optional<std::pair<quint64, quint64>> existingFileIdentity(const QString& path);

// The folder that files written "beside" `path` belong in: the real file's
// folder when `path` is one of this process's links, else the path's own
// folder (a link in another run's folder is trusted for nothing).
QString folderBeside(const QString& path);

// The real file's absolute raw path when `path` is a link in this process's
// own link folder (and still a link of ours); empty otherwise.
QByteArray ownLinkTarget(const QString& path);

// The real file's absolute raw path when this process made a link at `path`,
// from its own record, never read from what now stands there; empty for any
// other path. Writes to such a path go to the real file.
QByteArray recordedLinkTarget(const QString& path);

// Whether `path` lies where any run keeps its links: <temp>/<prefix>*/<n>/<name>.
bool isInNameLinkFolder(const QString& path);

// What the settings keep for a file the user opened: its absolute path, or
// for one of this process's links the real file's bytes, never the link.
QString storedFileName(const QString& path);
// The path to open for a name kept by storedFileName: the path itself, or a
// link of this process to the real file; empty for a file that is gone and
// for a path inside a link folder (another run's link is never followed).
QString openablePathForStored(const QString& stored);
