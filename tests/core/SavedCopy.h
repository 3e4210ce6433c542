#pragma once
// Writes a document's current state to a file, for checking it with the
// command-line tools.

#include "core/PdfDocument.h"

#include <QFile>

inline bool saveCopy(PdfDocument& doc, const QString& path) {
  const QByteArray bytes = doc.saveToBytes();
  QFile file(path);
  return !bytes.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
