// The signing worker modes run as child processes of the real executable,
// without a display, judged by openssl and sha256sum.
#include "SigningTestSupport.h"
#include "TestSupport.h"

#include "core/SignatureRequestFile.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTimeZone>

#include <sys/stat.h>

using signingtest::pki;
using signingtest::readBytes;
using signingtest::writeBytes;

namespace {

struct WorkerRun {
  int exitCode = -1;
  QByteArray line;  // standard output, one JSON line
  QJsonObject json;
};

// The member names of a printed JSON object, in the order printed.
QStringList printedKeys(const QByteArray& json) {
  QStringList keys;
  QRegularExpressionMatchIterator it = QRegularExpression("\"(\\w+)\":").globalMatch(QString::fromUtf8(json));
  while (it.hasNext()) keys << it.next().captured(1);
  return keys;
}

class SigningWorkerModeTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(testsupport::hasTool("openssl"));
    ASSERT_FALSE(pki().goodCert.isEmpty());  // also serves the CRL and trusts the test CA
    input = writeBytes(folder.filePath("contract.bin"), QByteArray("contract\r\n\0terms", 17));
  }

  WorkerRun run(const QStringList& args, const QByteArray& standardInput = {}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    env.insert("XDG_CONFIG_HOME", folder.filePath("config"));
    env.insert("XDG_DATA_HOME", folder.filePath("data"));
    env.insert("TZ", "Asia/Vladivostok");
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(ULVO_BINARY), args);
    process.write(standardInput);
    process.closeWriteChannel();
    WorkerRun result;
    if (!process.waitForFinished(60000)) {
      process.kill();
      process.waitForFinished();
      ADD_FAILURE() << "worker did not finish: " << args.join(' ').toStdString();
      return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.line = process.readAllStandardOutput();
    result.json = QJsonDocument::fromJson(result.line).object();
    EXPECT_TRUE(result.line.endsWith("}\n")) << result.line.toStdString();
    EXPECT_EQ(result.line.count('\n'), 1) << result.line.toStdString();
    return result;
  }

  WorkerRun sign(const SignatureRequest& request, const QStringList& extra = {}) {
    // The window's way: the request with its passwords through a pipe.
    return run(QStringList{"--ulvo-sign-file", "-"} + extra, SignatureRequestFile::toBytes(request));
  }

  // A request written as raw JSON, for members of the wrong type.
  WorkerRun signJson(QJsonObject object) {
    const QString path = writeBytes(folder.filePath("raw-request.json"), QJsonDocument(object).toJson());
    return run({"--ulvo-sign-file", path});
  }

  SignatureRequest pemRequest(const QString& certificate, const QString& output, int mode) {
    SignatureRequest request;
    request.inputPath = input;
    request.outputPath = folder.filePath(output);
    request.mode = SignatureMode(mode);
    request.certificatePath = certificate;
    request.privateKeyPath = pki().goodKey;
    return request;
  }

  QTemporaryDir folder;
  QString input;
};

}  // namespace

TEST_F(SigningWorkerModeTest, UsageAndBadRequestsAnswerWithTheirExitCodes) {
  const QString empty = writeBytes(folder.filePath("empty.json"), "");
  const QString array = writeBytes(folder.filePath("array.json"), "[{\"mode\": 0}]");
  const QString nothing = writeBytes(folder.filePath("nothing.json"), "{}");
  struct Case {
    QStringList args;
    int exitCode;
    QString key;
    QString text;  // the text must start with this
    QByteArray exactLine;
  };
  const Case cases[] = {
      {{"--ulvo-sign-file"}, 2, "error", "", "{\"error\":\"Usage: --ulvo-sign-file <request-json>\",\"ok\":false}\n"},
      {{"--ulvo-sign-file", folder.filePath("missing.json")}, 3, "error", "Не удалось открыть параметры подписи: ", ""},
      {{"--ulvo-sign-file", empty}, 4, "error", "Некорректные параметры подписи.", ""},
      {{"--ulvo-sign-file", array}, 4, "error", "Некорректные параметры подписи.", ""},
      {{"--ulvo-sign-file", nothing}, 5, "error", "Не удалось открыть исходный файл: ", ""},
      {{"--ulvo-cert-revocation-check"},
       2,
       "status",
       "",
       "{\"ok\":false,\"status\":\"Usage: --ulvo-cert-revocation-check <certificate-id>\"}\n"},
      {{"--ulvo-cert-revocation-check", "linux-file|/keys/a.pem"}, 3, "status",
       "изолированная проверка отзыва используется только на Windows", ""},
      // Nothing configured is an answer, not a failure of the search.
      {{"--ulvo-cert-list"}, 0, "error", "Файлы ключей ещё не выбраны: укажите ниже PEM-сертификат и закрытый ключ или P12/PFX контейнер.", ""},
      {{"--ulvo-cert-list", "--ignored"}, 0, "error", "Файлы ключей ещё не выбраны", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const WorkerRun result = run(c.args);
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_FALSE(result.json.value("ok").toBool(true));
    if (!c.exactLine.isEmpty()) {
      EXPECT_EQ(result.line, c.exactLine);
    }
    EXPECT_TRUE(result.json.value(c.key).toString().startsWith(c.text)) << result.line.toStdString();
  }
  const WorkerRun missing = run({"--ulvo-sign-file", folder.filePath("missing.json")});
  EXPECT_TRUE(missing.json.value("error").toString().endsWith("файл не найден"))
      << missing.line.toStdString();
  const WorkerRun blank = run({"--ulvo-sign-file", nothing});
  EXPECT_EQ(blank.json.value("outputSize").toString(), "0");
  EXPECT_EQ(blank.json.value("mode").toInt(-1), 0);
  EXPECT_EQ(printedKeys(blank.line), QStringList({"documentSha256", "error", "mode", "ok", "outputPath", "outputSize",
                                                  "signedAt", "signer"}));
  // A piped request is bounded as a file is.
  EXPECT_EQ(run({"--ulvo-sign-file", "-"}, QByteArray(4 * 1024 * 1024 + 1, ' ')).exitCode, 3);
  EXPECT_EQ(run({"--ulvo-sign-file", "-"}, QByteArray(4 * 1024 * 1024, ' ')).exitCode, 4);
  const WorkerRun list = run({"--ulvo-cert-list"});
  EXPECT_TRUE(list.json.value("certificates").isArray());
  EXPECT_TRUE(list.json.value("certificates").toArray().isEmpty());
}

TEST_F(SigningWorkerModeTest, SignsChecksRevocationAndListsTheRememberedCertificate) {
  // A good certificate signs; its CRL comes from the loopback server.
  const WorkerRun good = sign(pemRequest(pki().goodCert, "contract.sig", 0));
  ASSERT_EQ(good.exitCode, 0) << good.line.toStdString();
  EXPECT_TRUE(good.json.value("ok").toBool());
  EXPECT_EQ(good.json.value("error").toString(), "");
  EXPECT_EQ(good.json.value("mode").toInt(-1), 0);
  const QString signature = folder.filePath("contract.sig");
  EXPECT_EQ(good.json.value("outputPath").toString(), signature);
  EXPECT_EQ(good.json.value("outputSize").toString(), QString::number(QFileInfo(signature).size()));
  QByteArray sum;
  ASSERT_EQ(testsupport::runTool("sha256sum", {input}, &sum), 0);
  EXPECT_EQ(good.json.value("documentSha256").toString(), QString::fromLatin1(sum.left(64)));
  EXPECT_EQ(good.json.value("signer").toString(),
            signingtest::opensslCertificateField(pki().goodCert, {"-subject", "-nameopt", "RFC2253,-esc_msb"}));
  EXPECT_TRUE(QDateTime::fromString(good.json.value("signedAt").toString(), Qt::ISODate).isValid());
  EXPECT_EQ(printedKeys(good.line), QStringList({"documentSha256", "error", "mode", "ok", "outputPath", "outputSize",
                                                 "signedAt", "signer"}));
  EXPECT_EQ(testsupport::runTool("openssl", {"cms", "-verify", "-binary", "-inform", "DER", "-in", signature,
                                             "-content", input, "-CAfile", pki().caCert, "-out", "/dev/null"}),
            0);

  // Arguments after the request change nothing.
  const WorkerRun extra = sign(pemRequest(pki().goodCert, "extra.sig", 1), {"--extra", "argument"});
  EXPECT_EQ(extra.exitCode, 0) << extra.line.toStdString();
  EXPECT_EQ(extra.json.value("mode").toInt(-1), 1);

  // A revoked certificate is refused and nothing is written.
  const WorkerRun revoked = sign(pemRequest(pki().revokedCert, "revoked.sig", 1));
  EXPECT_EQ(revoked.exitCode, 5);
  EXPECT_FALSE(revoked.json.value("ok").toBool(true));
  // Said in words: the certificate by name in letters, why, and where the setting is.
  const QString refusal = revoked.json.value("error").toString();
  EXPECT_TRUE(refusal.startsWith("Сертификат «Иван Петров» не прошёл проверку отзыва: сертификат отозван"))
      << refusal.toStdString();
  EXPECT_TRUE(refusal.contains("Настройки → Подпись → «Проверка отзыва»")) << refusal.toStdString();
  EXPECT_FALSE(refusal.contains("\\")) << refusal.toStdString();
  EXPECT_EQ(revoked.json.value("outputSize").toString(), "0");
  EXPECT_FALSE(QFileInfo::exists(folder.filePath("revoked.sig")));

  // The successful signing remembered its key files: the list shows them.
  const WorkerRun list = run({"--ulvo-cert-list"});
  EXPECT_EQ(list.exitCode, 0) << list.line.toStdString();
  EXPECT_TRUE(list.json.value("ok").toBool());
  const QJsonArray certificates = list.json.value("certificates").toArray();
  ASSERT_EQ(certificates.size(), 1);
  const QJsonObject certificate = certificates.first().toObject();
  EXPECT_EQ(printedKeys(list.line),
            QStringList({"certificates", "available", "containerName", "digitalSignatureAllowed", "hasPrivateKey", "id",
                         "issuer", "privateKeyUsable", "providerName", "publicKeyAlgorithm", "revocationChecked",
                         "revoked", "serial", "storeName", "subject", "thumbprint", "unavailableReason", "validFrom",
                         "validNow", "validTo", "validationStatus", "error", "ok"}));
  EXPECT_EQ(certificate.value("id").toString(), "linux-file|" + pki().goodCert);
  EXPECT_EQ(certificate.value("serial").toString(), signingtest::opensslCertificateField(pki().goodCert, {"-serial"}));
  EXPECT_EQ(certificate.value("thumbprint").toString(),
            signingtest::opensslCertificateField(pki().goodCert, {"-fingerprint", "-sha1"}));
  EXPECT_EQ(certificate.value("subject").toString(),
            signingtest::opensslCertificateField(pki().goodCert, {"-subject", "-nameopt", "RFC2253,-esc_msb"}));
  EXPECT_TRUE(certificate.value("available").toBool());
  EXPECT_TRUE(certificate.value("validNow").toBool());

  // Validity in the worker's local time; the start day has one digit.
  const QString notBefore = signingtest::opensslCertificateField(pki().goodCert, {"-startdate"}).simplified();
  QDateTime from = QDateTime::fromString(notBefore, "MMM d HH:mm:ss yyyy 'GMT'");
  from.setTimeSpec(Qt::UTC);
  ASSERT_TRUE(from.isValid()) << notBefore.toStdString();
  const QDateTime local = from.toTimeZone(QTimeZone("Asia/Vladivostok"));
  EXPECT_EQ(certificate.value("validFrom").toString(),
            QDateTime(local.date(), local.time()).toString(Qt::ISODate));
  EXPECT_FALSE(certificate.value("validTo").toString().isEmpty());
}

// A pipe, a device or standard input is not a document: refused at once,
// never signed as empty content, and no signature file appears.
TEST_F(SigningWorkerModeTest, PipesAndDevicesAreNeverSigned) {
  const QString fifo = folder.filePath("document.fifo");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QByteArray before = readBytes(input);
  for (const QString& source : {QStringLiteral("/dev/stdin"), fifo, QStringLiteral("/dev/zero")}) {
    SCOPED_TRACE(source.toStdString());
    for (int mode : {0, 1, 4}) {
      SignatureRequest request = pemRequest(pki().goodCert, "stream.sig", mode);
      request.inputPath = source;
      const WorkerRun result = sign(request);
      EXPECT_EQ(result.exitCode, 5) << result.line.toStdString();
      EXPECT_FALSE(result.json.value("ok").toBool(true));
      EXPECT_EQ(result.json.value("error").toString(),
                "Не удалось открыть исходный файл: это не обычный файл (канал, устройство или папка)");
      EXPECT_EQ(result.json.value("documentSha256").toString(), "");
      EXPECT_FALSE(QFileInfo::exists(folder.filePath("stream.sig")));
    }
  }
  // The request itself: a FIFO nobody writes to and an endless device.
  for (const QString& request : {fifo, QStringLiteral("/dev/zero")}) {
    const WorkerRun result = run({"--ulvo-sign-file", request});
    EXPECT_EQ(result.exitCode, 3) << result.line.toStdString();
    EXPECT_TRUE(result.json.value("error").toString().startsWith("Не удалось открыть параметры подписи: "));
  }
  EXPECT_EQ(readBytes(input), before);
}

// In every mode the output may not be a key, a certificate or the input:
// the key files stay byte-identical.
TEST_F(SigningWorkerModeTest, TheOutputNeverReplacesTheKeyFiles) {
  const QString key = writeBytes(folder.filePath("mine.key"), readBytes(pki().goodKey));
  const QString certificate = writeBytes(folder.filePath("mine.pem"), readBytes(pki().goodCert));
  const QString container = writeBytes(folder.filePath("mine.p12"), readBytes(pki().pkcs12));
  const QString pdf = folder.filePath("contract.pdf");
  ASSERT_TRUE(testsupport::writePdf(pdf, {{"contract"}}));
  const QByteArray keyBytes = readBytes(key), certificateBytes = readBytes(certificate),
                   containerBytes = readBytes(container), pdfBytes = readBytes(pdf);
  for (int mode = 0; mode <= 4; ++mode) {
    for (const QString& output : {key, certificate, container, pdf}) {
      SCOPED_TRACE("mode " + std::to_string(mode) + " over " + output.toStdString());
      SignatureRequest request = pemRequest(certificate, "unused", mode);
      request.inputPath = pdf;
      request.outputPath = output;
      request.privateKeyPath = key;
      if (output == container) {
        request.certificatePath.clear();
        request.privateKeyPath.clear();
        request.pkcs12Path = container;
      }
      const WorkerRun result = sign(request);
      EXPECT_EQ(result.exitCode, 5) << result.line.toStdString();
      EXPECT_EQ(result.json.value("error").toString(),
                output == pdf ? "Файл подписи не может совпадать с исходным файлом."
                              : "Файл подписи не может совпадать с файлом ключа или сертификата.");
    }
  }
  EXPECT_EQ(readBytes(key), keyBytes);
  EXPECT_EQ(readBytes(certificate), certificateBytes);
  EXPECT_EQ(readBytes(container), containerBytes);
  EXPECT_EQ(readBytes(pdf), pdfBytes);
}

// A mode the worker cannot read exactly is refused, not signed detached.
TEST_F(SigningWorkerModeTest, AModeThatIsNotAKnownWholeNumberIsRefused) {
  const QJsonObject base = SignatureRequestFile::toJson(pemRequest(pki().goodCert, "mode.sig", 0));
  const QJsonValue bad[] = {QJsonValue("4"), QJsonValue(2.5), QJsonValue(7), QJsonValue(-1), QJsonValue(true),
                            QJsonValue(QJsonValue::Null)};
  for (const QJsonValue& mode : bad) {
    QJsonObject request = base;
    request.insert("mode", mode);
    SCOPED_TRACE(QJsonDocument(request).toJson(QJsonDocument::Compact).toStdString());
    const WorkerRun result = signJson(request);
    EXPECT_EQ(result.exitCode, 4) << result.line.toStdString();
    EXPECT_TRUE(result.json.value("error").toString().startsWith(
        "Некорректные параметры подписи: неизвестный режим подписи"))
        << result.line.toStdString();
    EXPECT_FALSE(QFileInfo::exists(folder.filePath("mode.sig")));
  }
  // Without a mode the request is the detached one, and the signer's name
  // comes out in plain UTF-8 letters.
  QJsonObject request = base;
  request.remove("mode");
  const WorkerRun detached = signJson(request);
  ASSERT_EQ(detached.exitCode, 0) << detached.line.toStdString();
  EXPECT_EQ(detached.json.value("mode").toInt(-1), 0);
  EXPECT_EQ(detached.json.value("signer").toString(), "C=RU,O=Test\\, Org,CN=Иван Петров");
  EXPECT_EQ(testsupport::runTool("openssl", {"cms", "-verify", "-binary", "-inform", "DER", "-in",
                                             folder.filePath("mode.sig"), "-content", input, "-CAfile", pki().caCert,
                                             "-out", "/dev/null"}),
            0);
}

TEST_F(SigningWorkerModeTest, AContainerWithAPasswordIsListedInTheEditionsOwnSettings) {
  {
    QSettings edition(folder.filePath("config/ulvo/ulvo-ecp.conf"), QSettings::IniFormat);
    edition.setValue("signing/linux/pkcs12Path", pki().legacyPkcs12);
  }
  const WorkerRun list = run({"--ulvo-cert-list", "--ulvo-product=ecp"});
  EXPECT_EQ(list.exitCode, 0) << list.line.toStdString();
  const QJsonArray certificates = list.json.value("certificates").toArray();
  ASSERT_EQ(certificates.size(), 1) << list.line.toStdString();
  const QJsonObject locked = certificates.first().toObject();
  EXPECT_EQ(locked.value("id").toString(), "linux-file|" + pki().legacyPkcs12);
  EXPECT_TRUE(locked.value("available").toBool());
  EXPECT_TRUE(locked.value("validationStatus").toString().contains("пароль")) << list.line.toStdString();
  // The editor keeps its own settings: nothing is configured there.
  EXPECT_TRUE(run({"--ulvo-cert-list"}).json.value("certificates").toArray().isEmpty());
}
