#pragma once
// The outcome of one signing.

#include "SignatureMode.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

struct SignatureResult {
  bool ok = false;            // the output file was written
  QString error;              // the one message of a failure
  QString outputPath;         // the request's, also on failure
  qint64 outputSize = 0;      // bytes of the written output
  QByteArray documentSha256;  // raw digest: the input, or the signed PDF in the embedded mode
  QString signer;             // certificate subject once the keys were checked
  QDateTime signedAt;         // local time at which signing started
  SignatureMode mode = SignatureMode::DetachedCms;
};
