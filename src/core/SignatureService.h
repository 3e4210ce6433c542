#pragma once
// Signing with keys held in files (PEM pair or PKCS#12) through OpenSSL:
// detached and attached CMS signatures and signatures embedded in a PDF by an
// incremental update. A set of static functions without state; failures are
// reported through the results, never thrown.

#include "SignatureMode.h"
#include "SignatureRequest.h"
#include "SignatureResult.h"
#include "SigningCertificate.h"

#include <QList>
#include <QString>
#include <QStringList>

class SignatureService {
public:
  SignatureService() = delete;

  static QString modeDisplayName(SignatureMode mode);
  // Why this platform cannot sign in a mode; empty when it can.
  static QString modeUnavailableReason(SignatureMode mode);
  // The proposed output file beside the input.
  static QString defaultOutputPath(const QString& inputPath, SignatureMode mode);

  static SignatureResult signFile(const SignatureRequest& request);

  // The certificate of the key files a request names (the PKCS#12 container
  // opened with its password, else the PEM certificate), described without
  // signing; false when it cannot be read.
  static bool describeSigner(const SignatureRequest& request, SigningCertificate* signer);

  // The configured key files of the "signing/linux" settings, described.
  static QList<SigningCertificate> availableCertificates(QString* errorText);
  // The isolated check by identifier does not exist on this platform.
  static bool checkCertificateRevocation(const QString& certificateId, QString* status);
  static bool isNativeSigningAvailable();
  // Five lines: OpenSSL, OpenSC, CryptoPro, ViPNet and PKCS#11 modules.
  static QStringList linuxProviderDiagnostics();
};
