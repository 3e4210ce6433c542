#pragma once
// One certificate offered for signing, as the service describes it.

#include <QDateTime>
#include <QString>

struct SigningCertificate {
  QString id;               // "linux-file|" + path of the certificate file
  QString subject;          // RFC 2253 text
  QString issuer;
  QString serial;           // upper-case hexadecimal
  QString thumbprint;       // SHA-1 of the DER, "AB:CD:..."
  QString providerName;
  QString containerName;
  QString storeName;
  QString publicKeyAlgorithm;
  QDateTime validFrom;      // local time
  QDateTime validTo;
  bool hasPrivateKey = false;
  bool privateKeyUsable = false;
  bool validNow = false;
  bool digitalSignatureAllowed = false;
  bool revocationChecked = false;
  bool revoked = false;
  bool available = false;
  QString unavailableReason;
  QString validationStatus;
};
