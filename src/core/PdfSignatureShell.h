#pragma once
// A PDF prepared for an embedded signature: the input followed by one
// incremental update that adds a signature dictionary with a reserved
// /Contents string, an invisible signature field and a catalog copy pointing
// to it. The input bytes are never changed; the update is plain byte work.

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
