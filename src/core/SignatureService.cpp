#include "SignatureService.h"
#include "CoreText.h"

#include "ForeignFileNames.h"

#include "AtomicFileWrite.h"
#include "OpensslChainCheck.h"
#include "OpensslHandles.h"
#include "OpensslKeys.h"
#include "PdfSignatureShell.h"
#include "RegularFileRead.h"
#include "SignatureJournal.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <openssl/err.h>
#include <openssl/x509.h>

#include <sys/stat.h>

namespace {

constexpr qint64 kLargestSignableFile = 0x7FFFFFFF;

struct SigningKeys {
  openssl::Certificate certificate;
  openssl::Key key;
  bool fromPkcs12 = false;
};

SignatureResult startResult(const SignatureRequest& request) {
  SignatureResult result;
  result.outputPath = request.outputPath;
  result.mode = request.mode;
  result.signedAt = QDateTime::currentDateTime();
  return result;
}

bool loadSigningKeys(const SignatureRequest& request, SigningKeys* keys, QString* error) {
  X509* certificate = nullptr;
  EVP_PKEY* key = nullptr;
  if (!request.pkcs12Path.trimmed().isEmpty()) {
    if (!loadPkcs12(request.pkcs12Path, request.pkcs12Password, &certificate, &key, error)) return false;
    keys->fromPkcs12 = true;
  } else if (!request.certificatePath.trimmed().isEmpty() && !request.privateKeyPath.trimmed().isEmpty()) {
    if (!loadPemCertificate(request.certificatePath, &certificate, error)) return false;
    if (!loadPemPrivateKey(request.privateKeyPath, request.keyPassword, &key, error)) {
      X509_free(certificate);
      return false;
    }
  } else {
    *error = coreText("Для Linux укажите PEM-сертификат и закрытый ключ либо P12/PFX контейнер.");
    return false;
  }
  keys->certificate.reset(certificate);
  keys->key.reset(key);
  return true;
}

// A path with its folder resolved; the last component is kept as written.
QString resolvedPath(const QString& path) {
  const QFileInfo info(path);
  const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
  return QDir::cleanPath((folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') + info.fileName());
}

// The same file reached by another name (a link, a hard link, another
// spelling of the folder) counts as the same file.
bool isSameFile(const QString& first, const QString& second) {
  if (first.trimmed().isEmpty() || second.trimmed().isEmpty()) return false;
  struct stat a {};
  struct stat b {};
  if (::stat(QFile::encodeName(first).constData(), &a) == 0 && ::stat(QFile::encodeName(second).constData(), &b) == 0)
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
  return resolvedPath(first) == resolvedPath(second);
}

// The output replaces whatever it names, so it must not name a file the
// signing reads or the journal keeps.
bool outputPathAllowed(const SignatureRequest& request, QString* error) {
  if (isSameFile(request.outputPath, request.inputPath)) {
    *error = coreText("Файл подписи не может совпадать с исходным файлом.");
    return false;
  }
  for (const QString& key : {request.pkcs12Path, request.certificatePath, request.privateKeyPath}) {
    if (isSameFile(request.outputPath, key)) {
      *error = coreText("Файл подписи не может совпадать с файлом ключа или сертификата.");
      return false;
    }
  }
  if (isSameFile(request.outputPath, signatureJournalPath())) {
    *error = coreText("Файл подписи не может совпадать с журналом подписей.");
    return false;
  }
  return true;
}

QByteArray cmsSignature(const SigningKeys& keys, const QByteArray& data, bool detached, QString* error) {
  openssl::Bio input(BIO_new_mem_buf(data.constData(), int(data.size())));
  if (!input) {
    *error = coreText("OpenSSL не смог подготовить данные для подписи: %1").arg(opensslErrorText());
    return {};
  }
  const unsigned int flags = detached ? (CMS_DETACHED | CMS_BINARY) : CMS_BINARY;
  openssl::Cms cms(CMS_sign(keys.certificate.get(), keys.key.get(), nullptr, input.get(), flags));
  if (!cms) {
    *error = coreText("OpenSSL не смог создать CMS подпись: %1").arg(opensslErrorText());
    return {};
  }
  openssl::Bio output(BIO_new(BIO_s_mem()));
  if (!output || i2d_CMS_bio(output.get(), cms.get()) != 1) {
    *error = coreText("OpenSSL не смог сериализовать CMS подпись: %1").arg(opensslErrorText());
    return {};
  }
  char* der = nullptr;
  const long length = BIO_get_mem_data(output.get(), &der);
  if (length <= 0) {
    *error = coreText("OpenSSL вернул пустую подпись.");
    return {};
  }
  return QByteArray(der, int(length));
}

// The certificate as people call it: its common name, in letters.
QString commonName(X509* certificate) {
  X509_NAME* name = X509_get_subject_name(certificate);
  const int index = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
  if (index < 0) return x509NameToString(name);
  unsigned char* utf8 = nullptr;
  const int length = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index)));
  if (length < 0) {
    ERR_clear_error();
    return x509NameToString(name);
  }
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(utf8), length);
  OPENSSL_free(utf8);
  return text;
}

// The chain check speaks in the verifier's words and escapes letters outside
// ASCII; the user is told what happened in plain words instead.
QString revocationReason(const QString& status) {
  const QString text = status.toLower();
  if (text.contains(QLatin1String("certificate revoked"))) return coreText("сертификат отозван удостоверяющим центром");
  if (status.contains(QStringLiteral("таймаут проверки CRL/портала УЦ")))
    return coreText("сведения об отзыве недоступны: адрес списка отзыва (CRL) не ответил вовремя");
  if (text.contains(QLatin1String("crl has expired")) || text.contains(QLatin1String("crl is not yet valid")))
    return coreText("список отзыва (CRL) устарел или ещё не действует");
  if (text.contains(QLatin1String("crl"))) return coreText("сведения об отзыве недоступны: список отзыва (CRL) не удалось получить");
  if (text.contains(QLatin1String("issuer certificate")) || text.contains(QLatin1String("self-signed")) ||
      text.contains(QLatin1String("self signed")))
    return coreText("цепочка не доверена: корневой сертификат удостоверяющего центра не найден среди доверенных");
  if (text.contains(QLatin1String("has expired")) || text.contains(QLatin1String("not yet valid")))
    return coreText("срок действия сертификата в цепочке истёк или ещё не начался");
  if (text.contains(QLatin1String("openssl cli"))) return coreText("не найдена программа openssl для проверки отзыва");
  return coreText("цепочка сертификатов или сведения об отзыве не прошли проверку");
}

QString revocationRefusalText(X509* certificate, const QString& status) {
  // Each edition keeps its own settings under its own name; the e-signature
  // edition has no settings window, and its signature dialog holds the choice.
  const bool signatureEdition = QCoreApplication::applicationName() == QLatin1String("ulvo-ecp");
  const QString text =
      signatureEdition
          ? coreText("Сертификат «%1» не прошёл проверку отзыва: %2.\n\nПроверку отзыва можно перенести на поиск "
                     "сертификатов или отключить в окне подписи: «Проверка отзыва».")
          : coreText("Сертификат «%1» не прошёл проверку отзыва: %2.\n\nПроверку отзыва можно перенести на поиск "
                     "сертификатов или отключить: Настройки → Подпись → «Проверка отзыва».");
  return text.arg(commonName(certificate), revocationReason(status));
}

void rememberKeyFiles(const SignatureRequest& request, bool fromPkcs12) {
  QSettings settings;
  settings.beginGroup(QStringLiteral("signing/linux"));
  if (fromPkcs12) {
    settings.setValue(QStringLiteral("pkcs12Path"), request.pkcs12Path);
    settings.remove(QStringLiteral("certificatePath"));
    settings.remove(QStringLiteral("privateKeyPath"));
  } else {
    settings.setValue(QStringLiteral("certificatePath"), request.certificatePath);
    settings.setValue(QStringLiteral("privateKeyPath"), request.privateKeyPath);
    settings.remove(QStringLiteral("pkcs12Path"));
  }
}

// The CMS signature of `data` with the request's keys, after every check of
// the certificate; empty with `result->error` set when refused. Sets the
// signer's name. Nothing is written anywhere.
QByteArray signedCms(const SignatureRequest& request, const QByteArray& data, bool detached, SignatureResult* result,
                     bool* fromPkcs12) {
  SigningKeys keys;
  if (!loadSigningKeys(request, &keys, &result->error)) return {};
  if (!certificateValidNow(keys.certificate.get())) {
    result->error = coreText("Сертификат просрочен или ещё не начал действовать.");
    return {};
  }
  if (X509_check_private_key(keys.certificate.get(), keys.key.get()) != 1) {
    result->error = coreText("Закрытый ключ не соответствует сертификату: %1").arg(opensslErrorText());
    return {};
  }
  const QString usageRefusal = documentSigningRefusal(keys.certificate.get());
  if (!usageRefusal.isEmpty()) {
    result->error = coreText("Сертификат не предназначен для подписи документов: %1").arg(usageRefusal);
    return {};
  }
  if (signingRevocationMode() == QLatin1String("sign")) {
    QString status;
    if (!linuxCertificateTrustAndRevocationOk(keys.certificate.get(), &status)) {
      result->error = revocationRefusalText(keys.certificate.get(), status);
      return {};
    }
  }
  result->signer = x509NameToString(X509_get_subject_name(keys.certificate.get()));
  if (request.mode == SignatureMode::CadesT) {
    result->error = SignatureService::modeUnavailableReason(request.mode);
    return {};
  }

  *fromPkcs12 = keys.fromPkcs12;
  return cmsSignature(keys, data, detached, &result->error);
}

SignatureResult signEmbeddedPdf(const SignatureRequest& request, const QByteArray& data) {
  SignatureResult result = startResult(request);
  result.documentSha256 = QCryptographicHash::hash(data, QCryptographicHash::Sha256);
  if (QFileInfo(request.inputPath).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) != 0) {
    result.error = coreText("Встроенная подпись доступна только для PDF.");
    return result;
  }
  PdfSignatureShell shell;
  if (!preparePdfSignatureShell(data, QString(), &shell, &result.error)) return result;

  // The signed byte range is signed in memory: it holds the whole document,
  // which must not be left in a temporary file.
  bool fromPkcs12 = false;
  const QByteArray der = signedCms(request, shell.signedBytes, true, &result, &fromPkcs12);
  if (der.isEmpty()) return result;
  rememberKeyFiles(request, fromPkcs12);
  const QByteArray hex = der.toHex().toUpper();
  if (hex.size() > shell.contentsLength) {
    result.error = coreText("CMS-подпись слишком большая для зарезервированного поля PDF.");
    return result;
  }
  QByteArray signedPdf = shell.pdf;
  signedPdf.replace(shell.contentsOffset, shell.contentsLength,
                    hex + QByteArray(shell.contentsLength - hex.size(), '0'));
  QString writeError;
  if (!writeFileAtomically(request.outputPath, signedPdf, &writeError)) {
    result.error = coreText("Не удалось записать PDF со встроенной подписью: %1").arg(writeError);
    return result;
  }
  result.ok = true;
  result.outputSize = QFileInfo(request.outputPath).size();
  result.documentSha256 = QCryptographicHash::hash(signedPdf, QCryptographicHash::Sha256);
  return result;
}

}  // namespace

QString SignatureService::modeDisplayName(SignatureMode mode) {
  const char* text = "Подпись";
  switch (mode) {
    case SignatureMode::DetachedCms: text = "Отделённая CMS/CAdES-BES (*.sig)"; break;
    case SignatureMode::AttachedCms: text = "Присоединённая CMS/CAdES-BES (*.p7m)"; break;
    case SignatureMode::CadesT: text = "CAdES-T со штампом времени"; break;
    case SignatureMode::StampedPdfDetached: text = "PDF со штампом + отделённая подпись"; break;
    case SignatureMode::EmbeddedPdf: text = "PDF со встроенной подписью"; break;
  }
  return QCoreApplication::translate("SignatureService", text);
}

QString SignatureService::modeUnavailableReason(SignatureMode mode) {
  if (mode != SignatureMode::CadesT) return QString();
  return QStringLiteral(
      "CAdES-T на Linux требует CryptoPro CSP/утилиту CAdESCOM-совместимого провайдера. Сейчас Linux-ветка умеет "
      "CMS/CAdES-BES через OpenSSL.");
}

QString SignatureService::defaultOutputPath(const QString& inputPath, SignatureMode mode) {
  const QFileInfo input(inputPath);
  const QString folder = inputPath.isEmpty() ? QDir::homePath() : folderBeside(inputPath);
  QString base = input.completeBaseName();
  if (base.isEmpty()) base = QStringLiteral("document");
  QString name;
  if (mode == SignatureMode::AttachedCms) name = base + QStringLiteral(".p7m");
  else if (mode == SignatureMode::EmbeddedPdf) name = base + QStringLiteral(".signed.pdf");
  else name = input.fileName() + QStringLiteral(".sig");
  return folder + QLatin1Char('/') + name;
}

SignatureResult SignatureService::signFile(const SignatureRequest& request) {
  ensureOpensslProviders();
  ERR_clear_error();
  SignatureResult result = startResult(request);

  // One read: the bytes hashed are the bytes signed, and a pipe or device
  // never stands in for the document.
  QByteArray data;
  QString reason;
  switch (readRegularFile(request.inputPath, kLargestSignableFile, &data, &reason)) {
    case FileReadFailure::None: break;
    case FileReadFailure::TooLarge:
      result.error = coreText("Файл слишком большой для текущего режима подписи в памяти.");
      return result;
    case FileReadFailure::Read:
      result.error = coreText("Не удалось прочитать исходный файл: %1").arg(reason);
      return result;
    case FileReadFailure::Open:
    case FileReadFailure::NotRegular:
      result.error = coreText("Не удалось открыть исходный файл: %1").arg(reason);
      return result;
  }
  result.documentSha256 = QCryptographicHash::hash(data, QCryptographicHash::Sha256);
  if (!outputPathAllowed(request, &result.error)) return result;

  if (request.mode == SignatureMode::EmbeddedPdf) return signEmbeddedPdf(request, data);
  if (unsigned(request.mode) > 3u) {
    result.error = QStringLiteral(
        "Этот режим подписи будет включён следующим этапом. Сейчас доступны отделённая и присоединённая CMS/CAdES-BES.");
    return result;
  }

  const bool detached = request.mode != SignatureMode::AttachedCms;
  bool fromPkcs12 = false;
  const QByteArray der = signedCms(request, data, detached, &result, &fromPkcs12);
  if (der.isEmpty()) return result;
  QString writeError;
  if (!writeFileAtomically(request.outputPath, der, &writeError)) {
    result.error = coreText("Не удалось записать подпись: %1").arg(writeError);
    return result;
  }
  rememberKeyFiles(request, fromPkcs12);
  result.ok = true;
  result.outputSize = QFileInfo(request.outputPath).size();
  return result;
}
