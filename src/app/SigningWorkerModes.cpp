#include "SigningWorkerModes.h"
#include "ui/UiLanguage.h"

#include "core/MemoryOnlyFile.h"
#include "core/SignatureRequestFile.h"
#include "core/RegularFileRead.h"
#include "core/SignatureService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr qint64 kLargestRequestFile = 4 * 1024 * 1024;

// Standard input up to its end, refused when longer than `maxBytes`.
FileReadFailure readStandardInput(qint64 maxBytes, QByteArray* content, QString* reason) {
  content->clear();
  char chunk[65536];
  while (const size_t got = std::fread(chunk, 1, sizeof chunk, stdin)) {
    if (content->size() + qint64(got) > maxBytes) {
      content->clear();
      *reason = QStringLiteral("> %1 B").arg(maxBytes);
      return FileReadFailure::TooLarge;
    }
    content->append(chunk, qsizetype(got));
  }
  if (std::ferror(stdin)) {
    *reason = QString::fromLocal8Bit(std::strerror(errno));
    return FileReadFailure::Read;
  }
  return FileReadFailure::None;
}

int printReply(const QJsonObject& object, int exitCode) {
  std::fprintf(stdout, "%s\n", QJsonDocument(object).toJson(QJsonDocument::Compact).constData());
  std::fflush(stdout);
  return exitCode;
}

int printError(const QString& error, int exitCode) {
  return printReply({{QStringLiteral("ok"), false}, {QStringLiteral("error"), error}}, exitCode);
}

QJsonObject resultJson(const SignatureResult& result) {
  return {{QStringLiteral("ok"), result.ok},
          {QStringLiteral("error"), result.error},
          {QStringLiteral("outputPath"), result.outputPath},
          {QStringLiteral("outputSize"), QString::number(result.outputSize)},
          {QStringLiteral("documentSha256"), QString::fromLatin1(result.documentSha256.toHex())},
          {QStringLiteral("signer"), result.signer},
          {QStringLiteral("signedAt"), result.signedAt.toString(Qt::ISODate)},
          {QStringLiteral("mode"), int(result.mode)}};
}

QJsonObject certificateJson(const SigningCertificate& certificate) {
  return {{QStringLiteral("id"), certificate.id},
          {QStringLiteral("subject"), certificate.subject},
          {QStringLiteral("issuer"), certificate.issuer},
          {QStringLiteral("serial"), certificate.serial},
          {QStringLiteral("thumbprint"), certificate.thumbprint},
          {QStringLiteral("providerName"), certificate.providerName},
          {QStringLiteral("containerName"), certificate.containerName},
          {QStringLiteral("storeName"), certificate.storeName},
          {QStringLiteral("publicKeyAlgorithm"), certificate.publicKeyAlgorithm},
          {QStringLiteral("validFrom"), certificate.validFrom.toString(Qt::ISODate)},
          {QStringLiteral("validTo"), certificate.validTo.toString(Qt::ISODate)},
          {QStringLiteral("hasPrivateKey"), certificate.hasPrivateKey},
          {QStringLiteral("privateKeyUsable"), certificate.privateKeyUsable},
          {QStringLiteral("validNow"), certificate.validNow},
          {QStringLiteral("digitalSignatureAllowed"), certificate.digitalSignatureAllowed},
          {QStringLiteral("revocationChecked"), certificate.revocationChecked},
          {QStringLiteral("revoked"), certificate.revoked},
          {QStringLiteral("available"), certificate.available},
          {QStringLiteral("unavailableReason"), certificate.unavailableReason},
          {QStringLiteral("validationStatus"), certificate.validationStatus}};
}

}  // namespace

int runSignatureCli(const QList<QString>& arguments) {
  qputenv("ULVO_SIGN_WORKER", "1");
  if (arguments.size() < 3) return printError(QStringLiteral("Usage: --ulvo-sign-file <request-json>"), 2);
  QByteArray content;
  QString reason;
  // "-": the window's way, the request (with its passwords) comes through a
  // pipe and never lies in a file. A named request is a small ordinary file;
  // a pipe or device is not waited on.
  const FileReadFailure readFailure = arguments.at(2) == QLatin1String("-")
                                          ? readStandardInput(kLargestRequestFile, &content, &reason)
                                          : readRegularFile(arguments.at(2), kLargestRequestFile, &content, &reason);
  if (readFailure != FileReadFailure::None)
    return printError(uiTranslate(QStringLiteral("Не удалось открыть параметры подписи: %1")).arg(reason), 3);
  const QJsonDocument document = QJsonDocument::fromJson(content);
  if (!document.isObject()) return printError(QStringLiteral("Некорректные параметры подписи."), 4);
  SignatureRequest request;
  QString requestError;
  if (!SignatureRequestFile::fromJson(document.object(), &request, &requestError)) return printError(requestError, 4);
  // The open document's copy, when it came as a memory-only file, goes no
  // further than this worker: not to the revocation check it may start.
  adoptInheritedMemoryFile(request.inputPath);

  const SignatureResult result = SignatureService::signFile(request);
  return printReply(resultJson(result), result.ok ? 0 : 5);
}

int runCertificateListCli() {
  qputenv("ULVO_CERT_ENUM_WORKER", "1");
  QString error;
  const QList<SigningCertificate> certificates = SignatureService::availableCertificates(&error);
  QJsonArray list;
  for (const SigningCertificate& certificate : certificates) list.append(certificateJson(certificate));
  // An empty list is an answer, not a failure: its "error" says why (nothing
  // configured yet, files unreadable) and the dialog shows that.
  return printReply({{QStringLiteral("ok"), error.isEmpty()},
                     {QStringLiteral("error"), error},
                     {QStringLiteral("certificates"), list}},
                    0);
}

int runCertificateRevocationCheckCli(const QList<QString>& arguments) {
  if (arguments.size() < 3)
    return printReply({{QStringLiteral("ok"), false},
                       {QStringLiteral("status"), QStringLiteral("Usage: --ulvo-cert-revocation-check <certificate-id>")}},
                      2);
  QString status;
  const bool ok = SignatureService::checkCertificateRevocation(arguments.at(2), &status);
  return printReply({{QStringLiteral("ok"), ok}, {QStringLiteral("status"), status}}, ok ? 0 : 3);
}
