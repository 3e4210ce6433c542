#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace {

struct WorkerRun {
  int exitCode = -1;
  QJsonObject json;
  QByteArray out;
};

// Runs the executable as from a plain terminal: no display of any kind.
WorkerRun runWithoutDisplay(const QStringList& arguments) {
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  env.remove("QT_QPA_PLATFORM");
  process.setProcessEnvironment(env);
  process.start(QStringLiteral(ULVO_BINARY), arguments);
  WorkerRun run;
  if (!process.waitForFinished(30000)) return run;
  run.out = process.readAllStandardOutput().trimmed();
  run.json = QJsonDocument::fromJson(run.out).object();
  run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  return run;
}

}  // namespace

// Worker modes whose engines are not built yet say so in their JSON, with a
// non-zero exit and without needing a display.
TEST(WorkerModes, StandInsAnswerWithJsonWithoutADisplay) {
  const QList<QStringList> runs = {{"--ulvo-compression-estimate"},
                                   {"--ulvo-compression-fit", "a.pdf", "1000"},
                                   {"--ulvo-cert-revocation-check", "id-1"},
                                   {"--ulvo-cert-list"},
                                   {"--ulvo-cert-list", "--ulvo-product=ecp"},
                                   {"--ulvo-sign-file", "request.json"}};
  for (const QStringList& arguments : runs) {
    const WorkerRun run = runWithoutDisplay(arguments);
    const std::string what = arguments.join(' ').toStdString();
    EXPECT_GT(run.exitCode, 0) << what;
    EXPECT_EQ(run.json.value("ok").toBool(true), false) << run.out.toStdString();
    EXPECT_FALSE(run.json.value("error").toString().isEmpty()) << run.out.toStdString();
  }
}

TEST(WorkerModes, RevocationCheckWithoutCertificatePrintsUsage) {
  const WorkerRun run = runWithoutDisplay({"--ulvo-cert-revocation-check"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.out, R"({"ok":false,"status":"Usage: --ulvo-cert-revocation-check <certificate-id>"})");
}
