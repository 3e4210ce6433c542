#pragma once
// The chain and revocation check through the system's `openssl` program
// ("verify -crl_download -crl_check_all"), bounded by a time-out.

#include <QByteArray>
#include <QString>

#include <openssl/types.h>

constexpr int kRevocationCheckTimeoutMs = 15000;

// The time-out of checking one certificate: "signing/revocationTimeoutSec"
// (20 to 600 seconds, 90 when absent or unreadable), in milliseconds.
int revocationCheckTimeoutMs();

// Set by a signature dialog for the worker it starts: the revocation choice
// it shows, which the worker then follows instead of the stored one.
inline constexpr char kRevocationModeVariable[] = "ULVO_REVOCATION_MODE";

// "sign" (default), "search" or "never": when the check runs.
QString signingRevocationMode();

// Checks a PEM certificate; status gets the outcome (may be null).
bool runOpensslChainCheck(const QByteArray& certificatePem, QString* status,
                          int timeoutMs = kRevocationCheckTimeoutMs);
bool linuxCertificateTrustAndRevocationOk(X509* certificate, QString* status);
