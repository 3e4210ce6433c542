#include "WorkerModes.h"

#include "SigningWorkerModes.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

int printJson(const QJsonObject& object, int exitCode) {
  const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
  std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  return exitCode;
}

int notAvailableYet(const QString& mode) {
  return printJson({{"ok", false}, {"error", QStringLiteral("Режим %1 пока недоступен.").arg(mode)}}, 2);
}

const QStringList& workerSwitches() {
  static const QStringList switches = {
      QStringLiteral("--ulvo-compression-estimate"), QStringLiteral("--ulvo-compression-fit"),
      QStringLiteral("--ulvo-cert-revocation-check"), QStringLiteral("--ulvo-cert-list"),
      QStringLiteral("--ulvo-sign-file")};
  return switches;
}

}  // namespace

std::optional<int> runWorkerMode(const QStringList& args) {
  if (args.size() < 2 || !workerSwitches().contains(args.at(1))) return std::nullopt;
  if (args.at(1) == QLatin1String("--ulvo-cert-revocation-check")) return runCertificateRevocationCheckCli(args);
  if (args.at(1) == QLatin1String("--ulvo-cert-list")) return runCertificateListCli();
  if (args.at(1) == QLatin1String("--ulvo-sign-file")) return runSignatureCli(args);
  return notAvailableYet(args.at(1));
}
