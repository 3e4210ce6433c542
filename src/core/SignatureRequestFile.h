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
  // Missing or mistyped text members read as empty and a missing mode as the
  // detached one. A mode that is present but not a whole number in 0..4 (a
  // string, a fraction, out of range) is refused: false, with `error` set.
  static bool fromJson(const QJsonObject& object, SignatureRequest* request, QString* error);

  // Writes the request to a new private file in the temporary folder.
  bool create(const SignatureRequest& request, QString* error);
  QString path() const;

private:
  std::unique_ptr<QTemporaryFile> file;
};
