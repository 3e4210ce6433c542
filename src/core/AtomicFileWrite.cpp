#include "AtomicFileWrite.h"

#include <QSaveFile>

bool writeFileAtomically(const QString& path, const QByteArray& data, QString* error) {
  QSaveFile file(path);
  // Never fall back to writing the target in place.
  file.setDirectWriteFallback(false);
  if (!file.open(QIODevice::WriteOnly)) {
    if (error) *error = file.errorString();
    return false;
  }
  if (file.write(data) != data.size()) {
    if (error) *error = file.errorString();
    file.cancelWriting();
    return false;
  }
  // commit() flushes, syncs to disk and renames.
  if (!file.commit()) {
    if (error) *error = file.errorString();
    return false;
  }
  return true;
}
