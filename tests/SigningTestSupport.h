#pragma once
// A small certificate authority made with the `openssl` command, and the
// loopback HTTP server that hands out its revocation list.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <mutex>
#include <thread>

namespace signingtest {

// Listens on 127.0.0.1. Answers every request with the body, or, when silent,
// takes connections and never answers.
class LoopbackHttpServer {
public:
  explicit LoopbackHttpServer(bool silent = false);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  void setBody(const QByteArray& body);
  QString url(const QString& path) const;

private:
  void serve();
  int listener = -1;
  int port = 0;
  std::atomic<bool> stopping{false};
  std::mutex bodyMutex;
  QByteArray body;
  std::thread thread;
};

// Files of the test authority; the CA and its CRL are served and trusted
// (SSL_CERT_FILE) for the whole process.
struct Pki {
  QString dir;
  QString caCert;
  QString goodCert, goodKey;        // subject with Cyrillic letters and a comma; notBefore on day 3
  QString revokedCert;              // same key as goodCert, on the CRL
  QString stalledCert;              // same key, its CRL address never answers
  QString expiredCert;              // same key, validity in the past
  QString otherKey;                 // belongs to no certificate
  QString encryptedKey;             // goodKey under the pass phrase "secret"
  QString derCert;                  // goodCert in DER form
  QString encipherOnlyCert;         // same key; key usage keyEncipherment, extended key usage serverAuth
  QString serverAuthCert;           // same key; digitalSignature, but extended key usage serverAuth only
  QString mailCert;                 // same key; nonRepudiation, clientAuth and emailProtection
  QString pkcs12;                   // good pair, empty password
  QString legacyPkcs12;             // good pair, RC2-40, password "secret"
};

// Built once per process; fails the calling test when openssl is missing.
const Pki& pki();

// Whole-file helpers for fixtures; a failed write fails the calling test.
QString writeBytes(const QString& path, const QByteArray& bytes);
QByteArray readBytes(const QString& path);

// Points the default settings of this process at a private folder, empties
// them and sets "signing/revocationMode".
void resetSigningSettings(const QString& revocationMode);

// `openssl cms -verify` of a DER signature against the test CA, detached when
// content is given; fills the content it vouches for.
bool opensslVerifies(const QString& signature, const QString& detachedContent = QString(),
                     QByteArray* content = nullptr);

// What `openssl x509 <option>` prints for a certificate, after "name=".
QString opensslCertificateField(const QString& certificate, const QStringList& options);

// The validation line `pdfsig` prints for each signature of a PDF, in order
// ("Signature is Valid.", "Digest Mismatch.", ...).
QStringList pdfsigValidations(const QString& pdf);

// Process ids whose command line mentions `text` (read from /proc), zombies
// and this process left out.
QList<int> processesMentioning(const QString& text);

}  // namespace signingtest
