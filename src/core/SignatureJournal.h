#pragma once
// The signature journal: one JSON record per successful signing in
// "signature-journal.json" of the application data folder, and the short
// signer name used on stamps.

#include "SignatureRequest.h"
#include "SignatureResult.h"
#include "SigningCertificate.h"

#include <QString>

// Does nothing (and succeeds) for a failed result. The journal is written
// readable by its owner only, in a folder only the owner may enter. False,
// with the reason in `error`, when the record could not be added (the journal
// is locked by another program, or cannot be written); the signing itself
// stays valid either way.
bool appendSignatureJournalRecord(const SignatureRequest& request, const SignatureResult& result,
                                  const SigningCertificate& certificate, QString* error = nullptr);

// Where the journal lives.
QString signatureJournalPath();

// The first CN=, SN=, G=, O= or OU= value of a subject, else the whole subject.
QString compactCertificateName(QString subject);
