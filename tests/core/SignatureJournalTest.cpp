// The signature journal, short signer names and the private request file.
#include "core/SignatureJournal.h"
#include "core/SignatureRequestFile.h"
#include "core/SignatureService.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>
#include <vector>

#include <sys/stat.h>

namespace {

class SignatureJournalTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(data.isValid());
    savedDataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    journal = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/signature-journal.json";
    ASSERT_TRUE(journal.startsWith(data.path()));
  }
  void TearDown() override { qputenv("XDG_DATA_HOME", savedDataHome); }

  QJsonArray records() const {
    QFile file(journal);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(file.readAll()).array();
  }

  static SignatureResult success(qint64 size) {
    SignatureResult result;
    result.ok = true;
    result.outputPath = "report.pdf.sig";
    result.outputSize = size;
    result.documentSha256 = QByteArray(32, '\xAB');
    result.signer = "CN=Signer";
    result.signedAt = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7));
    return result;
  }

  QTemporaryDir data;
  QByteArray savedDataHome;
  QString journal;
};

}  // namespace

TEST_F(SignatureJournalTest, OneRecordPerSuccessfulSignature) {
  SignatureRequest request;
  request.inputPath = "report.pdf";  // relative: resolved against the current folder
  request.mode = SignatureMode::AttachedCms;
  SigningCertificate certificate;
  certificate.subject = "CN=Signer,O=Example";
  certificate.issuer = "CN=CA";
  certificate.thumbprint = "AA:BB";
  certificate.providerName = "OpenSSL CMS";

  SignatureResult failed = success(10);
  failed.ok = false;
  appendSignatureJournalRecord(request, failed, certificate);
  EXPECT_FALSE(QFileInfo::exists(QFileInfo(journal).path())) << "a failure creates no folder";

  appendSignatureJournalRecord(request, success(2048), certificate);
  appendSignatureJournalRecord(request, success(4096), certificate);
  appendSignatureJournalRecord(request, failed, certificate);
  const QJsonArray list = records();
  ASSERT_EQ(list.size(), 2);
  const QJsonObject first = list.at(0).toObject();
  EXPECT_EQ(first.size(), 13);
  EXPECT_EQ(first.value("fileName").toString(), "report.pdf");
  EXPECT_EQ(first.value("filePath").toString(), QDir::current().absoluteFilePath("report.pdf"));
  EXPECT_EQ(first.value("signaturePath").toString(), QDir::current().absoluteFilePath("report.pdf.sig"));
  EXPECT_EQ(first.value("sha256").toString(), QString("ab").repeated(32));
  EXPECT_EQ(first.value("mode").toString(), "Присоединённая CMS/CAdES-BES (*.p7m)");
  EXPECT_EQ(first.value("signer").toString(), "CN=Signer");
  EXPECT_EQ(first.value("certificateSubject").toString(), "CN=Signer,O=Example");
  EXPECT_EQ(first.value("certificateIssuer").toString(), "CN=CA");
  EXPECT_EQ(first.value("certificateThumbprint").toString(), "AA:BB");
  EXPECT_EQ(first.value("certificateProvider").toString(), "OpenSSL CMS");
  EXPECT_EQ(first.value("signedAt").toString(), "2026-03-04T05:06:07");
  EXPECT_TRUE(first.value("signatureSize").isString());
  EXPECT_EQ(first.value("signatureSize").toString(), "2048");
  EXPECT_EQ(list.at(1).toObject().value("signatureSize").toString(), "4096");
}

TEST_F(SignatureJournalTest, UnreadableJournalIsKeptAsBackup) {
  QDir().mkpath(QFileInfo(journal).path());
  const QByteArray damaged[] = {"{\"truncated\": [", "{\"an\": \"object\"}"};
  for (const QByteArray& content : damaged) {
    QFile file(journal);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    appendSignatureJournalRecord(SignatureRequest(), success(1), SigningCertificate());
    EXPECT_EQ(records().size(), 1) << content.toStdString();
  }
  QFile first(journal + ".bak");
  QFile second(journal + ".bak2");
  ASSERT_TRUE(first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly));
  EXPECT_EQ(first.readAll(), damaged[0]);
  EXPECT_EQ(second.readAll(), damaged[1]);
}

// The journal names documents, digests and signers: only its owner may read
// it, and a journal another program holds locked is reported, not raced.
TEST_F(SignatureJournalTest, TheJournalIsPrivateAndALockIsNeverIgnored) {
  const QString folder = QFileInfo(journal).path();
  auto modeOf = [](const QString& path) {
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info.st_mode & 07777;
  };
  QString error;
  const mode_t savedUmask = ::umask(0);
  const bool appended = appendSignatureJournalRecord(SignatureRequest(), success(1), SigningCertificate(), &error);
  ::umask(savedUmask);
  ASSERT_TRUE(appended) << error.toStdString();
  EXPECT_EQ(modeOf(journal), 0600u);
  EXPECT_EQ(modeOf(folder), 0700u);

  // A journal left readable by an older version is narrowed on the next record.
  ASSERT_EQ(::chmod(QFile::encodeName(journal).constData(), 0644), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
  ASSERT_TRUE(appendSignatureJournalRecord(SignatureRequest(), success(2), SigningCertificate(), &error));
  EXPECT_EQ(modeOf(journal), 0600u);
  EXPECT_EQ(modeOf(folder), 0700u);
  EXPECT_EQ(records().size(), 2);

  QLockFile other(journal + ".lock");
  ASSERT_TRUE(other.tryLock(0));
  EXPECT_FALSE(appendSignatureJournalRecord(SignatureRequest(), success(3), SigningCertificate(), &error));
  EXPECT_EQ(error, "Журнал подписей занят другой программой; запись о подписи не добавлена.");
  other.unlock();
  EXPECT_EQ(records().size(), 2);
}

TEST(CompactCertificateName, FirstNamingPartWins) {
  struct Case {
    QString subject, expected;
  };
  const Case cases[] = {
      {"CN=Signer, O=Example, C=RU", "Signer"},
      {"cn=  Signer  Name ,o=X", "Signer Name"},
      {"C=RU, L=City", "C=RU, L=City"},
      {"", ""},
      {"OU=Unit", "Unit"},
      {"O=Example,CN=Signer", "Example"},
      {"CN = Signer", "CN = Signer"},
      {"C=RU,\\,CN=Escaped", "Escaped"},
      {"  SN=Petrov ,G=Ivan", "Petrov"},
  };
  for (const Case& c : cases) EXPECT_EQ(compactCertificateName(c.subject), c.expected) << c.subject.toStdString();
}

TEST(SignatureRequestFile, PipedBytesRoundTrip) {
  SignatureRequest request;
  request.inputPath = "/docs/in.pdf";
  request.outputPath = "/docs/in.signed.pdf";
  request.certificateId = "linux-file|/keys/a.p12";
  request.mode = SignatureMode::EmbeddedPdf;
  request.pkcs12Path = "/keys/a.p12";
  request.pkcs12Password = "пароль";
  {
    QString error;
    SignatureRequest back;
    ASSERT_TRUE(SignatureRequestFile::fromJson(
        QJsonDocument::fromJson(SignatureRequestFile::toBytes(request)).object(), &back, &error));
    EXPECT_EQ(SignatureRequestFile::toJson(back), SignatureRequestFile::toJson(request));
  }

  // A mode given as anything but a whole number of a known kind is refused,
  // not quietly signed detached; only an absent mode means detached.
  struct ModeCase {
    QJsonValue value;
    int mode;  // -1: refused
  };
  const ModeCase modes[] = {{4, 4},   {4.0, 4},  {1, 1},  {7, -1},  {-1, -1},
                            {"4", -1}, {2.5, -1}, {true, -1}, {QJsonValue(), 0}};
  for (const ModeCase& c : modes) {
    QJsonObject object{{"mode", c.value}, {"inputPath", 12}, {"outputPath", "out"}};
    if (c.value.isNull()) object.remove("mode");
    SignatureRequest read;
    QString error;
    const bool accepted = SignatureRequestFile::fromJson(object, &read, &error);
    SCOPED_TRACE(QJsonDocument(object).toJson().toStdString());
    EXPECT_EQ(accepted, c.mode >= 0);
    if (!accepted) {
      EXPECT_TRUE(error.startsWith("Некорректные параметры подписи: неизвестный режим подписи")) << error.toStdString();
      continue;
    }
    EXPECT_EQ(int(read.mode), c.mode);
    EXPECT_TRUE(read.inputPath.isEmpty());
    EXPECT_EQ(read.outputPath, "out");
  }
}

// Run only as a child of the test below: appends its share of records.
TEST_F(SignatureJournalTest, ChildProcessAppends) {
  const int count = qEnvironmentVariableIntValue("ULVO_JOURNAL_CHILD_RECORDS");
  if (count <= 0) GTEST_SKIP() << "runs only as a child process";
  qputenv("XDG_DATA_HOME", qgetenv("ULVO_JOURNAL_CHILD_DATA"));
  SignatureRequest request;
  request.mode = SignatureMode::DetachedCms;
  for (int i = 0; i < count; ++i) {
    request.inputPath = QStringLiteral("/tmp/%1-%2.pdf").arg(QCoreApplication::applicationPid()).arg(i);
    appendSignatureJournalRecord(request, success(i + 1), SigningCertificate());
  }
}

TEST_F(SignatureJournalTest, TwoProgramsAppendingAtOnceKeepEveryRecord) {
  constexpr int kPerChild = 25;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("ULVO_JOURNAL_CHILD_RECORDS", QString::number(kPerChild));
  environment.insert("ULVO_JOURNAL_CHILD_DATA", data.path());
  std::vector<std::unique_ptr<QProcess>> children;
  for (int i = 0; i < 2; ++i) {
    auto child = std::make_unique<QProcess>();
    child->setProcessEnvironment(environment);
    child->start(QCoreApplication::applicationFilePath(),
                 {"--gtest_filter=SignatureJournalTest.ChildProcessAppends"});
    ASSERT_TRUE(child->waitForStarted());
    children.push_back(std::move(child));
  }
  for (auto& child : children) {
    ASSERT_TRUE(child->waitForFinished(120000));
    EXPECT_EQ(child->exitCode(), 0) << child->readAllStandardOutput().toStdString();
  }
  QSet<QString> paths;
  for (const QJsonValue& record : records()) paths.insert(record.toObject().value("filePath").toString());
  EXPECT_EQ(paths.size(), 2 * kPerChild);
}
