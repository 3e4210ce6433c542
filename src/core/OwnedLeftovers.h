#pragma once
// Leftovers of our own processes that died before they could clean up (a
// crash, kill -9): temporary folders and the atomic writer's half-written
// copies. Only entries that the user owns, that are exactly of our naming,
// and whose owner is gone are removed: a folder's owner is gone when the lock
// it kept on the file inside can be taken (see OwnedTemporaryFolder), a
// writer's copy when its process id names no running process.

#include <QString>

#include <memory>

class OwnedTemporaryFolder;

// Prefixes of the program's private temporary folders, each followed by the
// owner's pid, "-" and six random characters. Every folder the program makes
// under the temporary directory carries one, so that the start-up sweep finds
// what a killed run left, whatever it held.
inline constexpr char kFitCopyFolderPrefix[] = "ulvo-fit-";           // compressed export's size fit
inline constexpr char kForeignNameFolderPrefix[] = "ulvo-names-";     // links to non-UTF-8 names
inline constexpr char kSignSourceFolderPrefix[] = "ulvo-sign-source-";  // the open document's copy to sign
inline constexpr char kCompressFolderPrefix[] = "ulvo-compress-";     // a compressed copy before it is kept
inline constexpr char kPrintFolderPrefix[] = "ulvo-print-";           // printed sheets before they replace the file
inline constexpr const char* kOwnedTemporaryFolderPrefixes[] = {kFitCopyFolderPrefix, kForeignNameFolderPrefix,
                                                                kSignSourceFolderPrefix, kCompressFolderPrefix,
                                                                kPrintFolderPrefix};

// Whether a process with this id is running (one we may not signal counts as
// running: it is not ours to judge).
bool isProcessAlive(qint64 pid);

// "<prefix><pid>-<random>": the name of a private temporary folder of this
// process, to be created with QTemporaryDir(QDir::tempPath() + "/" + name + "XXXXXX").
QString ownedTemporaryFolderTemplate(const QString& prefix);

// No run of the program lasts longer than this (a day).
inline constexpr long kLongestRunSeconds = 24 * 60 * 60;

// Removes the folders "<prefix><pid>-<random>" directly in `parent` whose
// in-use lock can be taken and which the user owns (never following a link);
// a folder without its lock file is still being made and stays, unless it
// was last changed longer ago than any run lasts (an earlier version's, which
// kept no lock file). Returns how many were removed.
int removeStaleOwnedFolders(const QString& parent, const QString& prefix);

// Every prefix above, and earlier versions' signing request files older than
// any run: what the start-up sweep calls. Returns how many went.
int removeStaleOwnedTemporaryFolders(const QString& parent);

// A new private folder of this process under the temporary directory, named
// "<prefix><pid>-<random>" (owner-only, locked as in use, removed with the
// object). Check isValid() before use.
std::unique_ptr<OwnedTemporaryFolder> newOwnedTemporaryFolder(const char* prefix);
