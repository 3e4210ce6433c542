// The signing service's answers before anything is signed: the configured
// certificates, the revocation check and the provider diagnostics.
#include "SignatureService.h"
#include "CoreText.h"

#include "OpensslChainCheck.h"
#include "OpensslHandles.h"
#include "OpensslKeys.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <openssl/err.h>

namespace {

bool fileConfigured(const QString& path) { return !path.isEmpty() && QFileInfo::exists(path); }

// Why the certificate itself cannot sign (out of its validity period, or not
// meant for documents); empty when it can.
QString certificateRefusal(const SigningCertificate& info, X509* certificate) {
  if (!info.validNow) return coreText("сертификат просрочен или ещё не начал действовать");
  if (!info.digitalSignatureAllowed)
    return coreText("сертификат не предназначен для подписи документов: %1").arg(documentSigningRefusal(certificate));
  return QString();
}

SigningCertificate describe(X509* certificate, EVP_PKEY* key, const QString& path, bool searchMode) {
  SigningCertificate info = certificateInfoFromX509(certificate, path);
  info.privateKeyUsable = X509_check_private_key(certificate, key) == 1;
  ERR_clear_error();
  QString checkStatus;
  bool checkFailed = false;
  if (searchMode && info.validNow) {
    info.revocationChecked = linuxCertificateTrustAndRevocationOk(certificate, &checkStatus);
    info.revoked = !info.revocationChecked;
    checkFailed = !info.revocationChecked;
  } else if (searchMode) {
    info.revoked = true;
  }
  info.unavailableReason = info.privateKeyUsable ? certificateRefusal(info, certificate)
                                                 : coreText("закрытый ключ не соответствует сертификату");
  if (info.unavailableReason.isEmpty() && checkFailed) info.unavailableReason = checkStatus;
  info.available = info.unavailableReason.isEmpty();
  info.validationStatus = info.unavailableReason;
  return info;
}

// Listed so the user sees it and knows what is missing; it signs once its
// password is typed in the dialog.
SigningCertificate lockedPkcs12(const QString& path) {
  SigningCertificate info;
  info.id = QStringLiteral("linux-file|") + path;
  info.subject = QFileInfo(path).fileName();
  info.providerName = QStringLiteral("OpenSSL CMS");
  info.storeName = QStringLiteral("Файл");  // a key the dialog recognises, not a text
  info.containerName = path;
  info.hasPrivateKey = true;
  info.available = true;
  info.validationStatus = coreText("Нужен пароль контейнера: введите его в поле «Пароль P12/PFX».");
  return info;
}

QString foundOnPath(const QString& program) {
  return QStandardPaths::findExecutable(program);
}

QString pkcs11Modules() {
  const QStringList patterns = {QStringLiteral("*pkcs11*.so"), QStringLiteral("librtpkcs11*.so"),
                                QStringLiteral("libjcPKCS11*.so")};
  QStringList found;
  for (const QString& root : {QStringLiteral("/usr/lib"), QStringLiteral("/usr/lib64"), QStringLiteral("/usr/local/lib"),
                              QStringLiteral("/opt")}) {
    // Without QDir::CaseSensitive the name filters ignore letter case.
    QDirIterator it(root, patterns, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QString path = it.next();
      if (!found.contains(path)) found << path;
    }
  }
  return found.isEmpty() ? coreText("не найдены") : found.join(QStringLiteral("; "));
}

}  // namespace

QList<SigningCertificate> SignatureService::availableCertificates(QString* errorText) {
  ensureOpensslProviders();
  if (errorText) errorText->clear();
  QList<SigningCertificate> certificates;
  const bool searchMode = signingRevocationMode() == QLatin1String("search");
  QSettings settings;
  settings.beginGroup(QStringLiteral("signing/linux"));
  const QString certificatePath = settings.value(QStringLiteral("certificatePath")).toString();
  const QString privateKeyPath = settings.value(QStringLiteral("privateKeyPath")).toString();
  const QString pkcs12Path = settings.value(QStringLiteral("pkcs12Path")).toString();

  if (fileConfigured(pkcs12Path)) {
    X509* certificate = nullptr;
    EVP_PKEY* key = nullptr;
    if (loadPkcs12(pkcs12Path, QString(), &certificate, &key, nullptr)) {
      const openssl::Certificate ownedCertificate(certificate);
      const openssl::Key ownedKey(key);
      certificates << describe(certificate, key, pkcs12Path, searchMode);
    } else if (pkcs12NeedsPassword(pkcs12Path)) {
      certificates << lockedPkcs12(pkcs12Path);
    }
  }
  if (fileConfigured(certificatePath) && fileConfigured(privateKeyPath)) {
    X509* certificate = nullptr;
    EVP_PKEY* key = nullptr;
    if (loadPemCertificate(certificatePath, &certificate, nullptr)) {
      const openssl::Certificate ownedCertificate(certificate);
      if (loadPemPrivateKey(privateKeyPath, QString(), &key, nullptr)) {
        const openssl::Key ownedKey(key);
        certificates << describe(certificate, key, certificatePath, searchMode);
      } else if (pemKeyNeedsPassword(privateKeyPath)) {
        // The certificate reads without the key's pass phrase: listed with
        // what it says, and with what it still needs.
        ERR_clear_error();
        SigningCertificate info = certificateInfoFromX509(certificate, certificatePath);
        info.unavailableReason = certificateRefusal(info, certificate);
        info.available = info.unavailableReason.isEmpty();
        info.validationStatus = info.available
                                    ? coreText("Нужен пароль ключа: введите его в поле «Пароль ключа».")
                                    : info.unavailableReason;
        certificates << info;
      }
    }
  }
  if (certificates.isEmpty() && errorText)
    *errorText = fileConfigured(pkcs12Path) || fileConfigured(certificatePath)
                     ? QStringLiteral("Выбранные файлы ключей не удалось прочитать. Проверьте пути к PEM-сертификату и "
                                      "ключу или к P12/PFX контейнеру ниже.")
                     : QStringLiteral("Файлы ключей ещё не выбраны: укажите ниже PEM-сертификат и закрытый ключ или "
                                      "P12/PFX контейнер.");
  return certificates;
}

bool SignatureService::describeSigner(const SignatureRequest& request, SigningCertificate* signer) {
  ensureOpensslProviders();
  X509* certificate = nullptr;
  QString path = request.pkcs12Path.trimmed();
  if (!path.isEmpty()) {
    EVP_PKEY* key = nullptr;
    if (!loadPkcs12(request.pkcs12Path, request.pkcs12Password, &certificate, &key, nullptr)) {
      ERR_clear_error();
      return false;
    }
    const openssl::Key ownedKey(key);
  } else {
    path = request.certificatePath.trimmed();
    if (path.isEmpty() || !loadPemCertificate(request.certificatePath, &certificate, nullptr)) {
      ERR_clear_error();
      return false;
    }
  }
  const openssl::Certificate owned(certificate);
  *signer = certificateInfoFromX509(certificate, path);
  return true;
}

bool SignatureService::checkCertificateRevocation(const QString& /*certificateId*/, QString* status) {
  if (status)
    *status = QCoreApplication::translate("SignatureService",
                                          "изолированная проверка отзыва используется только на Windows");
  return false;
}

bool SignatureService::isNativeSigningAvailable() { return true; }

QStringList SignatureService::linuxProviderDiagnostics() {
  const QString notFound = coreText("не найден");
  const QString pkcs11Tool = foundOnPath(QStringLiteral("pkcs11-tool"));
  QString cryptoPro = foundOnPath(QStringLiteral("cryptcp"));
  if (cryptoPro.isEmpty()) cryptoPro = foundOnPath(QStringLiteral("csptest"));
  const QString vipnet = foundOnPath(QStringLiteral("vipnet-csp"));
  return {
      QStringLiteral("OpenSSL CMS: %1")
          .arg(QFileInfo::exists(QStringLiteral("/usr/bin/openssl")) ? coreText("доступно")
                                                                    : coreText("не найдено в /usr/bin/openssl")),
      QStringLiteral("OpenSC pkcs11-tool: %1").arg(pkcs11Tool.isEmpty() ? notFound : pkcs11Tool),
      QStringLiteral("CryptoPro CSP cryptcp/csptest: %1").arg(cryptoPro.isEmpty() ? notFound : cryptoPro),
      QStringLiteral("ViPNet CSP CLI: %1").arg(vipnet.isEmpty() ? notFound : vipnet),
      coreText("PKCS#11 модули: %1").arg(pkcs11Modules()),
  };
}
