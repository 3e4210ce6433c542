#pragma once
// Replaces a file as a whole: the bytes go to a new temporary file with a
// random name beside the target (created exclusively, readable by its owner
// only until it is given the target's permissions, which happens before any
// data is written), every write is checked, the copy is synced and renamed
// over the target, so a failure leaves the old file as it was. Used by saving,
// exports, signatures and the journal.

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

// The temporary copy is named as the target plus this suffix, the writer's
// process id, "-", six random characters and the marker below. A write
// removes such copies of its own target that the user owns and whose writer
// is no longer running; a name without the marker is the user's, whatever it
// looks like.
inline constexpr char kTemporarySaveSuffix[] = ".~tmp";
inline constexpr char kTemporarySaveMarker[] = "~ulvo-partial";

enum class AtomicFileAccess {
  AsTarget,   // an existing target keeps its mode (and owner and group where allowed); a new file gets 0666 & ~umask
  OwnerOnly,  // 0600 whatever the target had
};

enum class AtomicFileLinks {
  Follow,  // a link at the target is replaced through (see below)
  Refuse,  // a link at the target is refused: for stores whose files must stay inside their folder
};

// On failure the target is untouched, the temporary file removed and `error`
// (when given) says why. A symbolic link at `path` stays a link and its
// target is replaced, but only a link that may be followed: in a folder that
// anyone may write to and that has the sticky bit, a link that neither the
// user nor the folder's owner owns is refused (the kernel's protected-links
// rule). Something that exists at the target and is not an ordinary file is
// refused, never replaced.
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error,
                         AtomicFileAccess access = AtomicFileAccess::AsTarget,
                         AtomicFileLinks links = AtomicFileLinks::Follow);
// The same for content too large to hold in memory: `produce` writes it into
// the device it is given (the temporary file) and returns false, with its
// reason in `error` when it has one, to abandon the write.
bool writeFileAtomically(const QString& path, const std::function<bool(QIODevice* device, QString* error)>& produce,
                         QString* error, AtomicFileAccess access = AtomicFileAccess::AsTarget,
                         AtomicFileLinks links = AtomicFileLinks::Follow);

// Tests only: called with the temporary file's path after it is created,
// after its final permissions are set and after the data is written.
void setAtomicFileWriteTestHook(std::function<void(const QString& temporaryPath)> hook);

// Tests only: replaces fsync (of the data and of the folder); an empty
// function puts fsync back.
void setAtomicFileSyncForTest(std::function<int(int fd)> sync);
