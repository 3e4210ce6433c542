#include "WorkerModes.h"

#include "CompressionWorkerModes.h"
#include "SigningWorkerModes.h"

std::optional<int> runWorkerMode(const QStringList& args) {
  if (args.size() < 2) return std::nullopt;
  const QString& mode = args.at(1);
  if (mode == QLatin1String("--ulvo-compression-estimate")) return runCompressionEstimateCli(args);
  if (mode == QLatin1String("--ulvo-compression-fit")) return runCompressionFitCli(args);
  if (mode == QLatin1String("--ulvo-cert-revocation-check")) return runCertificateRevocationCheckCli(args);
  if (mode == QLatin1String("--ulvo-cert-list")) return runCertificateListCli();
  if (mode == QLatin1String("--ulvo-sign-file")) return runSignatureCli(args);
  return std::nullopt;
}
