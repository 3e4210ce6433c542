#include "SignatureRequestFile.h"
#include "CoreText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <cmath>

namespace {

QString stringMember(const QJsonObject& object, const char* key) {
  const QJsonValue value = object.value(QLatin1String(key));
  return value.isString() ? value.toString() : QString();
}

// An absent mode is the detached one; a mode given in any form other than a
// whole number of a known kind is refused rather than guessed.
bool modeMember(const QJsonObject& object, SignatureMode* mode, QString* error) {
  *mode = SignatureMode::DetachedCms;
  const QJsonValue value = object.value(QLatin1String("mode"));
  if (value.isUndefined()) return true;
  const double number = value.toDouble(-1);
  if (!value.isDouble() || number != std::floor(number) || number < 0 || number > 4) {
    if (error)
      *error = coreText("Некорректные параметры подписи: неизвестный режим подписи %1.")
                   .arg(QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact))
                            .mid(1)
                            .chopped(1));
    return false;
  }
  *mode = SignatureMode(int(number));
  return true;
}

}  // namespace

QJsonObject SignatureRequestFile::toJson(const SignatureRequest& request) {
  return {{QStringLiteral("inputPath"), request.inputPath},
          {QStringLiteral("outputPath"), request.outputPath},
          {QStringLiteral("certificateId"), request.certificateId},
          {QStringLiteral("mode"), int(request.mode)},
          {QStringLiteral("tsaUrl"), request.tsaUrl},
          {QStringLiteral("certificatePath"), request.certificatePath},
          {QStringLiteral("privateKeyPath"), request.privateKeyPath},
          {QStringLiteral("keyPassword"), request.keyPassword},
          {QStringLiteral("pkcs12Path"), request.pkcs12Path},
          {QStringLiteral("pkcs12Password"), request.pkcs12Password}};
}

bool SignatureRequestFile::fromJson(const QJsonObject& object, SignatureRequest* request, QString* error) {
  *request = SignatureRequest();
  request->inputPath = stringMember(object, "inputPath");
  request->outputPath = stringMember(object, "outputPath");
  request->certificateId = stringMember(object, "certificateId");
  if (!modeMember(object, &request->mode, error)) return false;
  request->tsaUrl = stringMember(object, "tsaUrl");
  request->certificatePath = stringMember(object, "certificatePath");
  request->privateKeyPath = stringMember(object, "privateKeyPath");
  request->keyPassword = stringMember(object, "keyPassword");
  request->pkcs12Path = stringMember(object, "pkcs12Path");
  request->pkcs12Password = stringMember(object, "pkcs12Password");
  return true;
}

QByteArray SignatureRequestFile::toBytes(const SignatureRequest& request) {
  return QJsonDocument(toJson(request)).toJson(QJsonDocument::Compact);
}
