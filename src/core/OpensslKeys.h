#pragma once
// Loading certificates and keys from files and describing certificates, over
// OpenSSL 3. Loaders return false with one message (when error is set); the
// objects they hand out belong to the caller.

#include "SigningCertificate.h"

#include <QDateTime>
#include <QString>

#include <openssl/types.h>

// Makes the "default" and "legacy" providers available once per process, so
// that older PKCS#12 containers (RC2-40) open.
void ensureOpensslProviders();

// Every entry of this thread's error queue, oldest first, joined by "; ";
// the queue is empty afterwards.
QString opensslErrorText();

bool loadPemCertificate(const QString& path, X509** certificate, QString* error);
bool loadPemPrivateKey(const QString& path, const QString& password, EVP_PKEY** key, QString* error);
bool loadPkcs12(const QString& path, const QString& password, X509** certificate, EVP_PKEY** key,
                QString* error);

// Key files that do not open without a password yet: a PKCS#12 container
// that parses but whose integrity check fails for the empty password (and for
// none), a PEM key marked ENCRYPTED. False for anything unreadable.
bool pkcs12NeedsPassword(const QString& path);
bool pemKeyNeedsPassword(const QString& path);

SigningCertificate certificateInfoFromX509(X509* certificate, const QString& path);
QString x509NameToString(const X509_NAME* name);
QDateTime asn1TimeToDateTime(const ASN1_TIME* time);
// Empty when the certificate's key usage and extended key usage allow signing
// documents; otherwise why not. A certificate without these extensions may.
QString documentSigningRefusal(X509* certificate);
// Now lies within the validity period. A time that cannot be compared fails.
bool certificateValidNow(X509* certificate);
