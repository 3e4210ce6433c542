#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

// Worker modes whose engines are not built yet say so in their JSON, with a
// non-zero exit and without needing a display.
TEST(WorkerModes, StandInsAnswerWithJsonWithoutADisplay) {
  const QStringList modes = {"--ulvo-compression-estimate", "--ulvo-compression-fit"};
  for (const QString& mode : modes) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(ULVO_BINARY), {mode});
    ASSERT_TRUE(process.waitForFinished(30000)) << mode.toStdString();
    const QByteArray out = process.readAllStandardOutput().trimmed();
    const QJsonObject json = QJsonDocument::fromJson(out).object();
    EXPECT_NE(process.exitCode(), 0) << mode.toStdString();
    EXPECT_EQ(json.value("ok").toBool(true), false) << out.toStdString();
    EXPECT_FALSE(json.value("error").toString().isEmpty()) << out.toStdString();
  }
}
