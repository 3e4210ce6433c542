#pragma once
// What is to be signed and with which keys.

#include "SignatureMode.h"

#include <QString>

struct SignatureRequest {
  QString inputPath;
  QString outputPath;       // replaced when it exists
  QString certificateId;    // carried only; keys come from the paths below
  SignatureMode mode = SignatureMode::DetachedCms;
  QString tsaUrl;           // carried only
  QString certificatePath;  // PEM, used when pkcs12Path is blank
  QString privateKeyPath;   // PEM, possibly encrypted
  QString keyPassword;
  QString pkcs12Path;       // takes precedence when not blank after trimming
  QString pkcs12Password;
};
