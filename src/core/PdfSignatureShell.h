#pragma once
// A PDF prepared for an embedded signature: the input followed by one
// incremental update that adds a signature dictionary with a reserved
// /Contents string, an invisible signature field whose widget sits on the
// first page, and new versions of the objects that list it (the form, the
// page). The input bytes are never changed, so earlier signatures stay valid.

#include <QByteArray>
#include <QString>

struct PdfSignatureShell {
  QByteArray pdf;          // the whole new file, /Contents still all "0"
  QByteArray signedBytes;  // what the /ByteRange covers
  qint64 contentsOffset = -1;  // first hex digit of /Contents in pdf
  qint64 contentsLength = 0;   // hex digits reserved
};

// On failure the shell is untouched and error (when set) gets one message.
bool preparePdfSignatureShell(const QByteArray& pdf, const QString& signerName, PdfSignatureShell* shell,
                              QString* error);
