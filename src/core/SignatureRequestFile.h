#pragma once
// The signing request as the JSON file handed to the signing worker. The file
// holds key passwords, so it is created readable by its owner only, under an
// unpredictable name, and removed when this object goes.

#include "SignatureRequest.h"

#include <QJsonObject>
#include <QString>

#include <memory>

class QTemporaryFile;

class SignatureRequestFile {
public:
  SignatureRequestFile();
  ~SignatureRequestFile();
  SignatureRequestFile(const SignatureRequestFile&) = delete;
  SignatureRequestFile& operator=(const SignatureRequestFile&) = delete;

  static QJsonObject toJson(const SignatureRequest& request);
  // Missing or mistyped members read as empty; a mode that is not an integral
  // number in 0..4 reads as the detached mode.
  static SignatureRequest fromJson(const QJsonObject& object);

  // Writes the request to a new private file in the temporary folder.
  bool create(const SignatureRequest& request, QString* error);
  QString path() const;

private:
  std::unique_ptr<QTemporaryFile> file;
};
