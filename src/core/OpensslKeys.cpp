#include "OpensslKeys.h"
#include "CoreText.h"

#include "OpensslHandles.h"
#include "RegularFileRead.h"

#include <QStringList>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/pem.h>
#include <openssl/provider.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <mutex>

namespace {

// Hands the UTF-8 pass phrase to OpenSSL; none when it is empty.
int passwordCallback(char* buffer, int size, int /*rwflag*/, void* userData) {
  const auto* password = static_cast<const QByteArray*>(userData);
  if (!password || password->isEmpty() || size <= 0) return 0;
  const int length = int(qMin<qsizetype>(size, password->size()));
  memcpy(buffer, password->constData(), size_t(length));
  return length;
}

// Key files are small; anything bigger, or not an ordinary file, is not one.
constexpr qint64 kLargestKeyFile = 4 * 1024 * 1024;

// A memory BIO over the whole file; the bytes must outlive it. On failure the
// reason is in `reason` (for OpenSSL's own failures, its error queue).
openssl::Bio openForReading(const QString& path, QByteArray* bytes, QString* reason) {
  if (readRegularFile(path, kLargestKeyFile, bytes, reason) != FileReadFailure::None) return openssl::Bio();
  openssl::Bio bio(BIO_new_mem_buf(bytes->constData(), int(bytes->size())));
  if (!bio) *reason = opensslErrorText();
  return bio;
}

QString hexPairs(const unsigned char* bytes, unsigned int length) {
  QStringList pairs;
  for (unsigned int i = 0; i < length; ++i)
    pairs << QStringLiteral("%1").arg(bytes[i], 2, 16, QLatin1Char('0')).toUpper();
  return pairs.join(QLatin1Char(':'));
}

bool fail(QString* error, const QString& message) {
  if (error) *error = message.arg(opensslErrorText());
  else ERR_clear_error();
  return false;
}

bool failOpen(QString* error, const QString& message, const QString& reason) {
  ERR_clear_error();
  if (error) *error = message.arg(reason);
  return false;
}

// Extended key usages that allow signing documents: document signing
// (RFC 9336 and the Microsoft and Adobe ones), e-mail protection and any.
bool documentSigningPurpose(const ASN1_OBJECT* purpose) {
  const int nid = OBJ_obj2nid(purpose);
  if (nid == NID_anyExtendedKeyUsage || nid == NID_email_protect) return true;
  char text[80];
  if (OBJ_obj2txt(text, sizeof text, purpose, 1) <= 0) return false;
  const QByteArray oid(text);
  return oid == "1.3.6.1.5.5.7.3.36" || oid == "1.3.6.1.4.1.311.10.3.12" || oid == "1.2.840.113583.1.1.5";
}

}  // namespace

void ensureOpensslProviders() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Loading one provider explicitly stops the automatic loading of the
    // default one, so both are named; a missing legacy module only costs the
    // old containers.
    OSSL_PROVIDER_load(nullptr, "default");
    OSSL_PROVIDER_load(nullptr, "legacy");
    ERR_clear_error();
  });
}

QString opensslErrorText() {
  QStringList entries;
  char text[512];
  while (unsigned long code = ERR_get_error()) {
    // The failures a user meets in the program's own words, the library's
    // text after them as a detail.
    QString own;
    if (ERR_GET_LIB(code) == ERR_LIB_PKCS12 && ERR_GET_REASON(code) == PKCS12_R_MAC_VERIFY_FAILURE)
      own = coreText("неверный пароль контейнера");
    else if (ERR_GET_REASON(code) == EVP_R_BAD_DECRYPT || ERR_GET_REASON(code) == PEM_R_BAD_PASSWORD_READ)
      own = coreText("неверный пароль ключа");
    ERR_error_string_n(code, text, sizeof text);
    entries << (own.isEmpty() ? QString::fromUtf8(text) : own + QStringLiteral(" (") + QString::fromUtf8(text) + u')');
  }
  return entries.isEmpty() ? coreText("неизвестная ошибка OpenSSL") : entries.join(QStringLiteral("; "));
}

bool loadPemCertificate(const QString& path, X509** certificate, QString* error) {
  QByteArray bytes;
  QString reason;
  openssl::Bio bio = openForReading(path, &bytes, &reason);
  if (!bio) return failOpen(error, coreText("Не удалось открыть сертификат: %1"), reason);
  X509* loaded = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr);
  if (!loaded) return fail(error, coreText("Не удалось прочитать PEM/CRT сертификат: %1"));
  *certificate = loaded;
  return true;
}

bool loadPemPrivateKey(const QString& path, const QString& password, EVP_PKEY** key, QString* error) {
  QByteArray bytes;
  QString reason;
  openssl::Bio bio = openForReading(path, &bytes, &reason);
  if (!bio) return failOpen(error, coreText("Не удалось открыть закрытый ключ: %1"), reason);
  QByteArray passphrase = password.toUtf8();
  EVP_PKEY* loaded = PEM_read_bio_PrivateKey(bio.get(), nullptr, passwordCallback, &passphrase);
  if (!loaded) return fail(error, coreText("Не удалось прочитать PEM закрытый ключ: %1"));
  *key = loaded;
  return true;
}

bool loadPkcs12(const QString& path, const QString& password, X509** certificate, EVP_PKEY** key,
                QString* error) {
  ensureOpensslProviders();
  QByteArray bytes;
  QString reason;
  openssl::Bio bio = openForReading(path, &bytes, &reason);
  if (!bio) return failOpen(error, coreText("Не удалось открыть P12/PFX контейнер: %1"), reason);
  openssl::Pkcs12 container(d2i_PKCS12_bio(bio.get(), nullptr));
  if (!container) return fail(error, coreText("Не удалось прочитать P12/PFX контейнер: %1"));
  const QByteArray passphrase = password.toUtf8();
  X509* loadedCertificate = nullptr;
  EVP_PKEY* loadedKey = nullptr;
  if (PKCS12_parse(container.get(), passphrase.constData(), &loadedKey, &loadedCertificate, nullptr) != 1 ||
      !loadedCertificate || !loadedKey) {
    X509_free(loadedCertificate);
    EVP_PKEY_free(loadedKey);
    return fail(error, coreText("Не удалось извлечь сертификат/ключ из P12/PFX: %1"));
  }
  *certificate = loadedCertificate;
  *key = loadedKey;
  return true;
}

bool pkcs12NeedsPassword(const QString& path) {
  QByteArray bytes;
  QString reason;
  openssl::Bio bio = openForReading(path, &bytes, &reason);
  const openssl::Pkcs12 container(bio ? d2i_PKCS12_bio(bio.get(), nullptr) : nullptr);
  const bool needs = container && PKCS12_mac_present(container.get()) &&
                     PKCS12_verify_mac(container.get(), "", 0) != 1 &&
                     PKCS12_verify_mac(container.get(), nullptr, 0) != 1;
  ERR_clear_error();
  return needs;
}

bool pemKeyNeedsPassword(const QString& path) {
  QByteArray bytes;
  return readRegularFile(path, kLargestKeyFile, &bytes, nullptr) == FileReadFailure::None &&
         bytes.contains("ENCRYPTED");
}

QString x509NameToString(const X509_NAME* name) {
  if (!name) return {};
  openssl::Bio bio(BIO_new(BIO_s_mem()));
  // RFC 2253 form, but letters outside ASCII stay UTF-8 instead of becoming
  // backslash escapes of their bytes.
  if (!bio || X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) < 0) {
    ERR_clear_error();
    return {};
  }
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio.get(), &data);
  return QString::fromUtf8(data, length);
}

QDateTime asn1TimeToDateTime(const ASN1_TIME* time) {
  if (!time) return {};
  // Read the fields directly: the printed form pads days 1-9 with a space,
  // which the text parser then rejects.
  std::tm fields{};
  if (ASN1_TIME_to_tm(time, &fields) != 1) {
    ERR_clear_error();
    return QDateTime();
  }
  const QDate date(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday);
  const QTime clock(fields.tm_hour, fields.tm_min, fields.tm_sec);
  if (!date.isValid() || !clock.isValid()) return QDateTime();
  return QDateTime(date, clock, Qt::UTC).toLocalTime();
}

bool certificateValidNow(X509* certificate) {
  // X509_cmp_current_time answers 0 when it cannot compare; that must not
  // count as valid.
  const bool started = X509_cmp_current_time(X509_get0_notBefore(certificate)) == -1;
  const bool notExpired = X509_cmp_current_time(X509_get0_notAfter(certificate)) == 1;
  ERR_clear_error();
  return started && notExpired;
}

SigningCertificate certificateInfoFromX509(X509* certificate, const QString& path) {
  SigningCertificate info;
  info.id = QStringLiteral("linux-file|") + path;
  info.subject = x509NameToString(X509_get_subject_name(certificate));
  info.issuer = x509NameToString(X509_get_issuer_name(certificate));
  if (openssl::BigNumber serial{ASN1_INTEGER_to_BN(X509_get0_serialNumber(certificate), nullptr)}) {
    if (char* hex = BN_bn2hex(serial.get())) {
      info.serial = QString::fromLatin1(hex);
      OPENSSL_free(hex);
    }
  }
  info.storeName = QStringLiteral("Файл");  // a key the dialog recognises, not a text
  info.providerName = QStringLiteral("OpenSSL CMS");
  info.containerName = path;
  if (EVP_PKEY* publicKey = X509_get0_pubkey(certificate)) {
    if (const char* type = EVP_PKEY_get0_type_name(publicKey)) info.publicKeyAlgorithm = QString::fromLatin1(type);
  }
  info.validFrom = asn1TimeToDateTime(X509_get0_notBefore(certificate));
  info.validTo = asn1TimeToDateTime(X509_get0_notAfter(certificate));
  info.validNow = certificateValidNow(certificate);
  info.hasPrivateKey = true;
  info.digitalSignatureAllowed = documentSigningRefusal(certificate).isEmpty();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLength = 0;
  if (X509_digest(certificate, EVP_sha1(), digest, &digestLength) == 1)
    info.thumbprint = hexPairs(digest, digestLength);
  ERR_clear_error();
  return info;
}

QString documentSigningRefusal(X509* certificate) {
  const uint32_t flags = X509_get_extension_flags(certificate);
  if (flags & EXFLAG_INVALID) {
    ERR_clear_error();
    return coreText("расширения сертификата повреждены");
  }
  if ((flags & EXFLAG_KUSAGE) && !(X509_get_key_usage(certificate) & (KU_DIGITAL_SIGNATURE | KU_NON_REPUDIATION)))
    return coreText("использование ключа не включает цифровую подпись");
  if (flags & EXFLAG_XKUSAGE) {
    bool allowed = false;
    if (auto* purposes =
            static_cast<EXTENDED_KEY_USAGE*>(X509_get_ext_d2i(certificate, NID_ext_key_usage, nullptr, nullptr))) {
      for (int i = 0; i < sk_ASN1_OBJECT_num(purposes) && !allowed; ++i)
        allowed = documentSigningPurpose(sk_ASN1_OBJECT_value(purposes, i));
      EXTENDED_KEY_USAGE_free(purposes);
    }
    ERR_clear_error();
    if (!allowed) return coreText("расширенное использование ключа не допускает подпись документов");
  }
  return {};
}
