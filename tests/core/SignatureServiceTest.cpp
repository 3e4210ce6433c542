// Signing with keys from files, checked by the `openssl` command.
#include "SigningTestSupport.h"
#include "TestSupport.h"

#include "core/OpensslChainCheck.h"
#include "core/SignatureJournal.h"
#include "core/SignatureService.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <sys/stat.h>
#include <unistd.h>

using signingtest::pki;
using signingtest::opensslVerifies;
using signingtest::readBytes;
using signingtest::writeBytes;

namespace {

// Bytes that text canonicalisation would change.
const QByteArray kContent("first line\r\nsecond line\n\0\xff\xfe end", 32);

SignatureRequest pemRequest(const QString& input, const QString& output, SignatureMode mode) {
  SignatureRequest request;
  request.inputPath = input;
  request.outputPath = output;
  request.mode = mode;
  request.certificatePath = pki().goodCert;
  request.privateKeyPath = pki().goodKey;
  return request;
}

class SignatureServiceTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(testsupport::hasTool("openssl"));
    ASSERT_FALSE(pki().goodCert.isEmpty());
    signingtest::resetSigningSettings(QStringLiteral("never"));
    ASSERT_TRUE(folder.isValid());
    input = writeBytes(folder.filePath("input.bin"), kContent);
  }
  QTemporaryDir folder;
  QString input;
};

}  // namespace

TEST_F(SignatureServiceTest, ModeNamesAndProposedOutputPaths) {
  struct Case {
    QString input;
    int mode;
    QString expected;
  };
  const QString home = QDir::homePath();
  const Case cases[] = {
      {"/docs/report.pdf", 0, "/docs/report.pdf.sig"},
      {"/docs/report.pdf", 1, "/docs/report.p7m"},
      {"/docs/report.pdf", 2, "/docs/report.pdf.sig"},
      {"/docs/report.pdf", 3, "/docs/report.pdf.sig"},
      {"/docs/report.pdf", 4, "/docs/report.signed.pdf"},
      {"/docs/report.pdf", 9, "/docs/report.pdf.sig"},
      {"/docs/archive.tar.gz", 1, "/docs/archive.tar.p7m"},
      {"", 1, home + "/document.p7m"},
      {"", 4, home + "/document.signed.pdf"},
      {"", 0, home + "/.sig"},
      {"/home/u/.profile", 1, "/home/u/document.p7m"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SignatureService::defaultOutputPath(c.input, SignatureMode(c.mode)), c.expected)
        << c.input.toStdString() << " mode " << c.mode;

  EXPECT_EQ(SignatureService::modeDisplayName(SignatureMode::DetachedCms), "Отделённая CMS/CAdES-BES (*.sig)");
  EXPECT_EQ(SignatureService::modeDisplayName(SignatureMode::EmbeddedPdf), "PDF со встроенной подписью");
  EXPECT_EQ(SignatureService::modeDisplayName(SignatureMode(7)), "Подпись");
  EXPECT_EQ(SignatureService::modeDisplayName(SignatureMode(-1)), "Подпись");
}

TEST_F(SignatureServiceTest, SignaturesVerifyWithOpensslForEveryKeySource) {
  enum class Keys { Pem, EncryptedPem, Pkcs12, LegacyPkcs12 };
  struct Case {
    const char* name;
    SignatureMode mode;
    Keys keys;
  };
  const Case cases[] = {
      {"detached, PEM pair", SignatureMode::DetachedCms, Keys::Pem},
      {"attached, PEM pair", SignatureMode::AttachedCms, Keys::Pem},
      {"stamped copy, encrypted PEM key", SignatureMode::StampedPdfDetached, Keys::EncryptedPem},
      {"attached, PKCS#12 with empty password", SignatureMode::AttachedCms, Keys::Pkcs12},
      {"detached, legacy RC2-40 PKCS#12", SignatureMode::DetachedCms, Keys::LegacyPkcs12},
  };
  const QString subject = signingtest::opensslCertificateField(pki().goodCert, {"-subject", "-nameopt", "RFC2253,-esc_msb"});
  const QByteArray inputDigest = QCryptographicHash::hash(kContent, QCryptographicHash::Sha256);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SignatureRequest request = pemRequest(input, folder.filePath(QString::fromUtf8(c.name) + ".out"), c.mode);
    if (c.keys == Keys::EncryptedPem) {
      request.privateKeyPath = pki().encryptedKey;
      request.keyPassword = "secret";
    } else if (c.keys == Keys::Pkcs12 || c.keys == Keys::LegacyPkcs12) {
      request.certificatePath.clear();
      request.privateKeyPath.clear();
      request.pkcs12Path = c.keys == Keys::Pkcs12 ? pki().pkcs12 : pki().legacyPkcs12;
      request.pkcs12Password = c.keys == Keys::Pkcs12 ? "" : "secret";
    }
    const SignatureResult result = SignatureService::signFile(request);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_TRUE(result.error.isEmpty());
    EXPECT_EQ(result.outputSize, QFileInfo(request.outputPath).size());
    EXPECT_EQ(result.documentSha256, inputDigest);
    EXPECT_EQ(result.signer, subject);
    EXPECT_EQ(result.mode, c.mode);
    EXPECT_TRUE(result.signedAt.isValid());

    QByteArray verified;
    const bool detached = c.mode != SignatureMode::AttachedCms;
    EXPECT_TRUE(opensslVerifies(request.outputPath, detached ? input : QString(), &verified));
    // A detached signature must not verify on its own; an attached one
    // carries the content unchanged.
    if (detached) {
      EXPECT_FALSE(opensslVerifies(request.outputPath, QString(), nullptr));
    } else {
      EXPECT_EQ(verified, kContent);
    }

    QSettings settings;
    settings.beginGroup("signing/linux");
    const bool pkcs12 = !request.pkcs12Path.isEmpty();
    EXPECT_EQ(settings.value("pkcs12Path").toString(), pkcs12 ? request.pkcs12Path : QString());
    EXPECT_EQ(settings.value("certificatePath").toString(), pkcs12 ? QString() : request.certificatePath);
    EXPECT_EQ(settings.value("privateKeyPath").toString(), pkcs12 ? QString() : request.privateKeyPath);
    EXPECT_FALSE(settings.allKeys().join(' ').contains("assword"));
  }
}

TEST_F(SignatureServiceTest, RefusedRequestsSayWhyAndWriteNothing) {
  const QString existingOutput = writeBytes(folder.filePath("kept.sig"), "previous signature");
  QFile::link(input, folder.filePath("alias.bin"));
  struct Case {
    const char* name;
    std::function<void(SignatureRequest&)> change;
    QString errorStart;
    bool signerKnown = false;
  };
  const std::vector<Case> cases = {
      {"no private key", [](SignatureRequest& r) { r.privateKeyPath.clear(); },
       "Для Linux укажите PEM-сертификат и закрытый ключ либо P12/PFX контейнер."},
      {"container path of spaces counts as blank",
       [](SignatureRequest& r) {
         r.pkcs12Path = "   ";
         r.certificatePath.clear();
       },
       "Для Linux укажите PEM-сертификат"},
      {"container path with spaces is opened as written",
       [](SignatureRequest& r) { r.pkcs12Path = " " + pki().pkcs12; }, "Не удалось открыть P12/PFX контейнер: "},
      {"unknown mode 5", [](SignatureRequest& r) { r.mode = SignatureMode(5); }, "Этот режим подписи будет включён следующим этапом."},
      {"negative mode", [](SignatureRequest& r) { r.mode = SignatureMode(-1); }, "Этот режим подписи будет включён следующим этапом."},
      {"time-stamped mode after every check", [](SignatureRequest& r) { r.mode = SignatureMode::CadesT; },
       "CAdES-T на Linux требует", true},
      {"encrypted key without pass phrase", [](SignatureRequest& r) { r.privateKeyPath = pki().encryptedKey; },
       "Не удалось прочитать PEM закрытый ключ: "},
      {"wrong container password",
       [](SignatureRequest& r) {
         r.pkcs12Path = pki().legacyPkcs12;
         r.pkcs12Password = "wrong";
       },
       "Не удалось извлечь сертификат/ключ из P12/PFX: "},
      {"DER certificate", [](SignatureRequest& r) { r.certificatePath = pki().derCert; },
       "Не удалось прочитать PEM/CRT сертификат: "},
      {"missing certificate file", [](SignatureRequest& r) { r.certificatePath += ".missing"; },
       "Не удалось открыть сертификат: "},
      {"key of another certificate", [](SignatureRequest& r) { r.privateKeyPath = pki().otherKey; },
       "Закрытый ключ не соответствует сертификату: "},
      {"expired certificate", [](SignatureRequest& r) { r.certificatePath = pki().expiredCert; },
       "Сертификат просрочен или ещё не начал действовать."},
      {"missing input", [](SignatureRequest& r) { r.inputPath += ".missing"; }, "Не удалось открыть исходный файл: "},
      {"signature over its own input", [&](SignatureRequest& r) { r.outputPath = r.inputPath; },
       "Файл подписи не может совпадать с исходным файлом."},
      {"signature over its input under another name",
       [&](SignatureRequest& r) { r.outputPath = folder.filePath("alias.bin"); },
       "Файл подписи не может совпадать с исходным файлом."},
      {"embedded mode needs a PDF name", [](SignatureRequest& r) { r.mode = SignatureMode::EmbeddedPdf; },
       "Встроенная подпись доступна только для PDF."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SignatureRequest request = pemRequest(input, existingOutput, SignatureMode::DetachedCms);
    c.change(request);
    const SignatureResult result = SignatureService::signFile(request);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.startsWith(c.errorStart)) << result.error.toStdString();
    EXPECT_EQ(result.outputSize, 0);
    EXPECT_EQ(result.outputPath, request.outputPath);
    EXPECT_EQ(result.signer.isEmpty(), !c.signerKnown);
    EXPECT_EQ(readBytes(existingOutput), QByteArray("previous signature"));
    EXPECT_EQ(readBytes(input), kContent);
  }
}

TEST_F(SignatureServiceTest, RevocationIsCheckedWithTheOpensslCommand) {
  signingtest::resetSigningSettings(QStringLiteral("sign"));
  SignatureRequest request = pemRequest(input, folder.filePath("good.sig"), SignatureMode::DetachedCms);
  const SignatureResult good = SignatureService::signFile(request);
  EXPECT_TRUE(good.ok) << good.error.toStdString();

  request.certificatePath = pki().revokedCert;
  request.outputPath = folder.filePath("revoked.sig");
  const SignatureResult revoked = SignatureService::signFile(request);
  EXPECT_FALSE(revoked.ok);
  // The refusal names the certificate in letters, says why and where the setting is.
  EXPECT_TRUE(revoked.error.startsWith("Сертификат «Иван Петров» не прошёл проверку отзыва: сертификат отозван"))
      << revoked.error.toStdString();
  EXPECT_TRUE(revoked.error.contains("Настройки → Подпись → «Проверка отзыва»")) << revoked.error.toStdString();
  EXPECT_FALSE(revoked.error.contains("lookup")) << revoked.error.toStdString();
  EXPECT_FALSE(QFileInfo::exists(request.outputPath));

  // A revocation list server that never answers: openssl is killed.
  QString status;
  const QByteArray stalled = readBytes(pki().stalledCert);
  EXPECT_FALSE(runOpensslChainCheck(stalled, &status, 1500));
  EXPECT_EQ(status, "таймаут проверки CRL/портала УЦ");
  // Signing with it waits the shortest time-out the settings allow and then
  // says the list did not answer in time, not that it could not be fetched.
  QSettings().setValue(QStringLiteral("signing/revocationTimeoutSec"), 20);
  request.certificatePath = pki().stalledCert;
  request.outputPath = folder.filePath("stalled.sig");
  const SignatureResult timedOut = SignatureService::signFile(request);
  EXPECT_FALSE(timedOut.ok);
  EXPECT_TRUE(timedOut.error.contains("адрес списка отзыва (CRL) не ответил вовремя")) << timedOut.error.toStdString();
  EXPECT_FALSE(timedOut.error.contains("не удалось получить")) << timedOut.error.toStdString();
  EXPECT_FALSE(QFileInfo::exists(request.outputPath));
  request.certificatePath = pki().revokedCert;

  EXPECT_TRUE(runOpensslChainCheck(readBytes(pki().goodCert), &status));
  EXPECT_EQ(status, "ключ доступен, срок действия и CRL/цепочка проверены");

  // Without the program the check fails at once; with checks switched off
  // signing starts no program at all.
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", folder.path().toLocal8Bit());
  EXPECT_FALSE(runOpensslChainCheck(stalled, &status));
  EXPECT_EQ(status, "OpenSSL CLI не найден, отзыв проверить нельзя");
  signingtest::resetSigningSettings(QStringLiteral("never"));
  request.certificatePath = pki().goodCert;
  EXPECT_TRUE(SignatureService::signFile(request).ok);
  qputenv("PATH", path);

  struct ModeCase {
    QString stored;
    QString read;
  };
  for (const ModeCase& c : {ModeCase{"search", "search"}, ModeCase{"never", "never"}, ModeCase{"sign", "sign"},
                            ModeCase{"Search", "sign"}, ModeCase{" never", "sign"}}) {
    signingtest::resetSigningSettings(c.stored);
    EXPECT_EQ(signingRevocationMode(), c.read) << c.stored.toStdString();
  }
}

TEST_F(SignatureServiceTest, ConfiguredCertificatesAreDescribedAsOpensslSeesThem) {
  QSettings settings;
  settings.setValue("signing/linux/pkcs12Path", pki().legacyPkcs12);  // needs a password: listed as needing it
  settings.setValue("signing/linux/certificatePath", pki().goodCert);
  settings.setValue("signing/linux/privateKeyPath", pki().goodKey);
  settings.sync();
  QString error = "stale";
  QList<SigningCertificate> list = SignatureService::availableCertificates(&error);
  EXPECT_TRUE(error.isEmpty());
  ASSERT_EQ(list.size(), 2);
  EXPECT_EQ(list.first().id, "linux-file|" + pki().legacyPkcs12);
  EXPECT_TRUE(list.first().validationStatus.contains("пароль")) << list.first().validationStatus.toStdString();
  // Values are compared with `openssl x509` by the worker-mode test.
  const SigningCertificate& pem = list.last();
  EXPECT_EQ(pem.id, "linux-file|" + pki().goodCert);
  EXPECT_EQ(pem.issuer, "CN=Ulvo Test CA");
  EXPECT_EQ(pem.publicKeyAlgorithm, "EC");
  EXPECT_EQ(pem.validFrom.toUTC().date().day(), 3);  // printed by OpenSSL with a padding space
  EXPECT_TRUE(pem.validTo.isValid());
  EXPECT_TRUE(pem.validNow && pem.privateKeyUsable && pem.hasPrivateKey && pem.digitalSignatureAllowed && pem.available);
  EXPECT_FALSE(pem.revocationChecked || pem.revoked);

  // Both kinds configured and loadable: the container comes first.
  settings.setValue("signing/linux/pkcs12Path", pki().pkcs12);
  settings.sync();
  list = SignatureService::availableCertificates(nullptr);
  ASSERT_EQ(list.size(), 2);
  EXPECT_EQ(list.at(0).id, "linux-file|" + pki().pkcs12);
  EXPECT_EQ(list.at(0).thumbprint, list.at(1).thumbprint);

  struct Case {
    const char* name;
    QString revocationMode, certificate, key;
    QString reason;
    bool checked, revoked;
  };
  const Case cases[] = {
      {"foreign key", "sign", pki().goodCert, pki().otherKey, "закрытый ключ не соответствует сертификату", false, false},
      {"expired, search mode", "search", pki().expiredCert, pki().goodKey,
       "сертификат просрочен или ещё не начал действовать", false, true},
      {"revoked, search mode", "search", pki().revokedCert, pki().goodKey, "certificate revoked", false, true},
      {"good, search mode", "search", pki().goodCert, pki().goodKey, "", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    signingtest::resetSigningSettings(c.revocationMode);
    QSettings fresh;
    fresh.setValue("signing/linux/certificatePath", c.certificate);
    fresh.setValue("signing/linux/privateKeyPath", c.key);
    fresh.sync();
    list = SignatureService::availableCertificates(&error);
    ASSERT_EQ(list.size(), 1);
    EXPECT_TRUE(list.first().unavailableReason.contains(c.reason)) << list.first().unavailableReason.toStdString();
    EXPECT_EQ(list.first().available, c.reason.isEmpty());
    EXPECT_EQ(list.first().validationStatus, list.first().unavailableReason);
    EXPECT_EQ(list.first().revocationChecked, c.checked);
    EXPECT_EQ(list.first().revoked, c.revoked);
  }

  // A key that needs a pass phrase: its certificate is listed, saying so.
  signingtest::resetSigningSettings("sign");
  QSettings locked;
  locked.setValue("signing/linux/certificatePath", pki().goodCert);
  locked.setValue("signing/linux/privateKeyPath", pki().encryptedKey);
  locked.sync();
  list = SignatureService::availableCertificates(&error);
  ASSERT_EQ(list.size(), 1);
  EXPECT_EQ(list.first().issuer, "CN=Ulvo Test CA");
  EXPECT_TRUE(list.first().available);
  EXPECT_TRUE(list.first().validationStatus.contains("Пароль ключа")) << list.first().validationStatus.toStdString();
  // Expired, it cannot sign whatever pass phrase is typed: listed as unavailable, saying why.
  locked.setValue("signing/linux/certificatePath", pki().expiredCert);
  locked.sync();
  list = SignatureService::availableCertificates(&error);
  ASSERT_EQ(list.size(), 1);
  EXPECT_FALSE(list.first().available);
  EXPECT_EQ(list.first().unavailableReason, "сертификат просрочен или ещё не начал действовать");
  EXPECT_EQ(list.first().validationStatus, list.first().unavailableReason);
  locked.setValue("signing/linux/certificatePath", pki().goodCert);
  // Pipes named as the key and the container are read by nobody: the list
  // comes back at once, empty, instead of waiting for a writer.
  const QString pipe = folder.filePath("key-pipe");
  ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
  locked.setValue("signing/linux/privateKeyPath", pipe);
  locked.setValue("signing/linux/pkcs12Path", pipe);
  locked.sync();
  EXPECT_TRUE(SignatureService::availableCertificates(&error).isEmpty());
  EXPECT_TRUE(error.startsWith("Выбранные файлы ключей не удалось прочитать")) << error.toStdString();
  // Nothing configured is said as such.
  signingtest::resetSigningSettings("sign");
  EXPECT_TRUE(SignatureService::availableCertificates(&error).isEmpty());
  EXPECT_TRUE(error.startsWith("Файлы ключей ещё не выбраны")) << error.toStdString();
}

TEST_F(SignatureServiceTest, ProviderDiagnosticsLookToolsUpOnThePath) {
  const QString bin = folder.filePath("bin");
  QDir().mkpath(bin);
  for (const char* tool : {"pkcs11-tool", "csptest"}) {
    const QString path = writeBytes(bin + "/" + tool, "#!/bin/sh\nexit 0\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
  }
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", bin.toLocal8Bit());
  const QStringList lines = SignatureService::linuxProviderDiagnostics();
  qputenv("PATH", path);
  ASSERT_EQ(lines.size(), 5);
  EXPECT_TRUE(lines.at(0).startsWith("OpenSSL CMS: "));
  EXPECT_EQ(lines.at(1), "OpenSC pkcs11-tool: " + bin + "/pkcs11-tool");
  EXPECT_EQ(lines.at(2), "CryptoPro CSP cryptcp/csptest: " + bin + "/csptest");
  EXPECT_EQ(lines.at(3), "ViPNet CSP CLI: не найден");
  EXPECT_TRUE(lines.at(4).startsWith("PKCS#11 модули: "));

  QString status = "stale";
  EXPECT_FALSE(SignatureService::checkCertificateRevocation(QString(), &status));
  EXPECT_EQ(status, "изолированная проверка отзыва используется только на Windows");
  EXPECT_TRUE(SignatureService::isNativeSigningAvailable());
}

TEST_F(SignatureServiceTest, CertificatesNotMeantForSigningAreListedUnusableAndRefused) {
  struct Case {
    const char* name;
    QString certificate;
    QString reason;  // empty: usable
  };
  const Case cases[] = {
      {"key usage keyEncipherment only", pki().encipherOnlyCert, "использование ключа не включает цифровую подпись"},
      {"extended key usage serverAuth only", pki().serverAuthCert,
       "расширенное использование ключа не допускает подпись документов"},
      {"nonRepudiation with e-mail protection", pki().mailCert, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    signingtest::resetSigningSettings(QStringLiteral("never"));
    QSettings settings;
    settings.setValue("signing/linux/certificatePath", c.certificate);
    settings.setValue("signing/linux/privateKeyPath", pki().goodKey);
    settings.sync();
    const QList<SigningCertificate> list = SignatureService::availableCertificates(nullptr);
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list.first().digitalSignatureAllowed, c.reason.isEmpty());
    EXPECT_EQ(list.first().available, c.reason.isEmpty());
    EXPECT_EQ(list.first().unavailableReason,
              c.reason.isEmpty() ? QString() : "сертификат не предназначен для подписи документов: " + c.reason);

    const QString output = folder.filePath("usage.sig");
    QFile::remove(output);
    SignatureRequest request = pemRequest(input, output, SignatureMode::DetachedCms);
    request.certificatePath = c.certificate;
    const SignatureResult result = SignatureService::signFile(request);
    if (c.reason.isEmpty()) {
      EXPECT_TRUE(result.ok) << result.error.toStdString();
      EXPECT_TRUE(opensslVerifies(output, input, nullptr));
    } else {
      EXPECT_FALSE(result.ok);
      EXPECT_EQ(result.error, "Сертификат не предназначен для подписи документов: " + c.reason);
      EXPECT_FALSE(QFileInfo::exists(output));
    }
  }
  // The oracle agrees that the refused certificate may not sign.
  QByteArray purposes;
  testsupport::runTool("openssl", {"x509", "-in", pki().encipherOnlyCert, "-noout", "-purpose"}, &purposes);
  EXPECT_TRUE(purposes.contains("S/MIME signing : No")) << purposes.toStdString();
}

TEST_F(SignatureServiceTest, TheOutputNeverReplacesAKeyACertificateOrTheJournal) {
  // Copies, so that a fault cannot damage the shared test keys.
  const QString key = writeBytes(folder.filePath("own.key"), readBytes(pki().goodKey));
  const QString certificate = writeBytes(folder.filePath("own.pem"), readBytes(pki().goodCert));
  const QString container = writeBytes(folder.filePath("own.p12"), readBytes(pki().pkcs12));
  ASSERT_TRUE(QFile::link(key, folder.filePath("key-link")));
  ASSERT_EQ(::link(QFile::encodeName(certificate).constData(), QFile::encodeName(folder.filePath("cert-hard")).constData()), 0);
  const QByteArray savedDataHome = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", folder.filePath("data").toLocal8Bit());
  QDir().mkpath(QFileInfo(signatureJournalPath()).path());
  const QString journal = writeBytes(signatureJournalPath(), "[]");
  ASSERT_TRUE(journal.startsWith(folder.path()));
  struct Case {
    const char* name;
    QString output;
    bool pkcs12;
    QString error;
  };
  const QString keyMessage = "Файл подписи не может совпадать с файлом ключа или сертификата.";
  const Case cases[] = {
      {"the private key", key, false, keyMessage},
      {"a link to the private key", folder.filePath("key-link"), false, keyMessage},
      {"a hard link to the certificate", folder.filePath("cert-hard"), false, keyMessage},
      {"the certificate through another spelling", folder.path() + "/./sub/../own.pem", false, keyMessage},
      {"the PKCS#12 container", container, true, keyMessage},
      {"the journal", journal, false, "Файл подписи не может совпадать с журналом подписей."},
  };
  QDir().mkpath(folder.filePath("sub"));
  const QByteArray keyBytes = readBytes(key), certificateBytes = readBytes(certificate),
                   containerBytes = readBytes(container);
  for (const Case& c : cases) {
    for (int mode = 0; mode <= 4; ++mode) {
      SCOPED_TRACE(std::string(c.name) + ", mode " + std::to_string(mode));
      SignatureRequest request = pemRequest(input, c.output, SignatureMode(mode));
      request.certificatePath = certificate;
      request.privateKeyPath = key;
      if (c.pkcs12) {
        request.certificatePath.clear();
        request.privateKeyPath.clear();
        request.pkcs12Path = container;
      }
      const SignatureResult result = SignatureService::signFile(request);
      EXPECT_FALSE(result.ok);
      EXPECT_EQ(result.error, c.error);
    }
  }
  EXPECT_EQ(readBytes(key), keyBytes);
  EXPECT_EQ(readBytes(certificate), certificateBytes);
  EXPECT_EQ(readBytes(container), containerBytes);
  EXPECT_EQ(readBytes(journal), QByteArray("[]"));
  EXPECT_EQ(readBytes(input), kContent);
  qputenv("XDG_DATA_HOME", savedDataHome);
}
