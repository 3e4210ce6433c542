#include "SignatureRequestFile.h"
#include "CoreText.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QTemporaryFile>

#include <cmath>
#include <unistd.h>

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

SignatureRequestFile::SignatureRequestFile() = default;
SignatureRequestFile::~SignatureRequestFile() = default;

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

bool SignatureRequestFile::create(const SignatureRequest& request, QString* error) {
  // QTemporaryFile creates the file with mode 0600 and a random name.
  auto created = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/ulvo-sign-request-XXXXXX.json"));
  const QByteArray json = QJsonDocument(toJson(request)).toJson(QJsonDocument::Compact);
  if (!created->open() || !created->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
      created->write(json) != json.size() || !created->flush() || ::fsync(created->handle()) != 0) {
    if (error) *error = created->errorString();
    return false;
  }
  file = std::move(created);
  return true;
}

QString SignatureRequestFile::path() const { return file ? file->fileName() : QString(); }
