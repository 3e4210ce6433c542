#pragma once
// The signature journal: one JSON record per successful signing in
// "signature-journal.json" of the application data folder, and the short
// signer name used on stamps.

#include "SignatureRequest.h"
#include "SignatureResult.h"
#include "SigningCertificate.h"

#include <QString>

// Does nothing for a failed result; never reports an error.
void appendSignatureJournalRecord(const SignatureRequest& request, const SignatureResult& result,
                                  const SigningCertificate& certificate);

// The first CN=, SN=, G=, O= or OU= value of a subject, else the whole subject.
QString compactCertificateName(QString subject);
