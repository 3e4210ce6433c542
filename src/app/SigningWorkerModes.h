#pragma once
// The signing side's worker modes. Each prints one compact JSON object on
// standard output and returns the process exit code.

#include <QList>
#include <QString>

// "--ulvo-sign-file <request-json>" (or "-": the request on standard input):
// 0 signed, 2 usage, 3 unreadable request,
// 4 not a JSON object, 5 signing failed.
int runSignatureCli(const QList<QString>& arguments);
// "--ulvo-cert-list": 0, or 3 when the list is empty with an error.
int runCertificateListCli();
// "--ulvo-cert-revocation-check <certificate-id>": 0 passed, 2 usage, 3 failed.
int runCertificateRevocationCheckCli(const QList<QString>& arguments);
