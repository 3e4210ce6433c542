#pragma once
// The signing request as the JSON handed to the signing worker. It holds key
// passwords, so the window hands it over through the worker's standard input
// and never writes it to a file.

#include "SignatureRequest.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

class SignatureRequestFile {
public:
  static QJsonObject toJson(const SignatureRequest& request);
  // Missing or mistyped text members read as empty and a missing mode as the
  // detached one. A mode that is present but not a whole number in 0..4 (a
  // string, a fraction, out of range) is refused: false, with `error` set.
  static bool fromJson(const QJsonObject& object, SignatureRequest* request, QString* error);
  // What the worker reads from its standard input: compact JSON.
  static QByteArray toBytes(const SignatureRequest& request);
};
