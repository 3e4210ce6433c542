#include "SigningTestSupport.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStringList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

namespace signingtest {

LoopbackHttpServer::LoopbackHttpServer(bool silent) {
  listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, 16) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return;
  port = ntohs(address.sin_port);
  // A silent server leaves connections in the kernel's backlog: the client's
  // request is sent and never answered.
  if (!silent) thread = std::thread([this] { serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  stopping = true;
  if (thread.joinable()) thread.join();
  if (listener >= 0) ::close(listener);
}

void LoopbackHttpServer::setBody(const QByteArray& newBody) {
  std::lock_guard<std::mutex> lock(bodyMutex);
  body = newBody;
}

QString LoopbackHttpServer::url(const QString& path) const {
  return QStringLiteral("http://127.0.0.1:%1/%2").arg(port).arg(path);
}

void LoopbackHttpServer::serve() {
  while (!stopping) {
    pollfd waiting{listener, POLLIN, 0};
    if (::poll(&waiting, 1, 50) <= 0) continue;
    const int client = ::accept(listener, nullptr, nullptr);
    if (client < 0) continue;
    QByteArray request;
    char buffer[2048];
    while (!request.contains("\r\n\r\n")) {
      pollfd reading{client, POLLIN, 0};
      if (::poll(&reading, 1, 2000) <= 0) break;
      const ssize_t got = ::read(client, buffer, sizeof buffer);
      if (got <= 0) break;
      request.append(buffer, int(got));
    }
    QByteArray reply;
    {
      std::lock_guard<std::mutex> lock(bodyMutex);
      reply = "HTTP/1.0 200 OK\r\nContent-Type: application/pkix-crl\r\nContent-Length: " +
              QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    }
    for (qsizetype sent = 0; sent < reply.size();) {
      const ssize_t wrote = ::write(client, reply.constData() + sent, size_t(reply.size() - sent));
      if (wrote <= 0) break;
      sent += wrote;
    }
    ::close(client);
  }
}

namespace {

bool openssl(const QString& folder, const QStringList& args) {
  QProcess process;
  process.setWorkingDirectory(folder);
  process.start(QStringLiteral("openssl"), args);
  if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
    qWarning("openssl %s failed: %s", qPrintable(args.join(' ')), process.readAllStandardError().constData());
    return false;
  }
  return true;
}

bool writeText(const QString& path, const QByteArray& text) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

QString asn1Date(const QDate& date) { return date.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("000000Z"); }

struct Authority {
  QTemporaryDir folder;
  LoopbackHttpServer crlServer;
  LoopbackHttpServer stalledServer{true};
  Pki files;
  bool ready = false;

  Authority() {
    const QString d = folder.path();
    const QByteArray config =
        "[ ca ]\ndefault_ca = test_ca\n[ test_ca ]\ndir = .\ndatabase = ./index.txt\nnew_certs_dir = ./issued\n"
        "serial = ./serial\ncrlnumber = ./crlnumber\ndefault_md = sha256\npolicy = any_policy\n"
        "unique_subject = no\ncopy_extensions = none\ndefault_crl_days = 30\n"
        "[ any_policy ]\ncommonName = supplied\norganizationName = optional\ncountryName = optional\n"
        "[ ca_ext ]\nbasicConstraints = critical, CA:TRUE\nkeyUsage = keyCertSign, cRLSign\n"
        "crlDistributionPoints = URI:" + crlServer.url("ca.crl").toLatin1() + "\n"
        "[ leaf ]\nbasicConstraints = CA:FALSE\nkeyUsage = digitalSignature, nonRepudiation\n"
        "crlDistributionPoints = URI:" + crlServer.url("ca.crl").toLatin1() + "\n"
        "[ stalled ]\nbasicConstraints = CA:FALSE\nkeyUsage = digitalSignature\n"
        "crlDistributionPoints = URI:" + stalledServer.url("ca.crl").toLatin1() + "\n"
        "[ encipher ]\nbasicConstraints = CA:FALSE\nkeyUsage = keyEncipherment\nextendedKeyUsage = serverAuth\n"
        "[ server ]\nbasicConstraints = CA:FALSE\nkeyUsage = digitalSignature\nextendedKeyUsage = serverAuth\n"
        "[ mail ]\nbasicConstraints = CA:FALSE\nkeyUsage = nonRepudiation\n"
        "extendedKeyUsage = clientAuth, emailProtection\n";
    if (!writeText(d + "/ca.cnf", config) || !writeText(d + "/index.txt", "") || !writeText(d + "/serial", "1000\n") ||
        !writeText(d + "/crlnumber", "01\n") || !QDir(d).mkdir("issued"))
      return;
    files.dir = d;
    files.caCert = d + "/ca.pem";
    files.goodCert = d + "/good.pem";
    files.goodKey = d + "/good.key";
    files.revokedCert = d + "/revoked.pem";
    files.stalledCert = d + "/stalled.pem";
    files.expiredCert = d + "/expired.pem";
    files.otherKey = d + "/other.key";
    files.encryptedKey = d + "/encrypted.key";
    files.derCert = d + "/good.der";
    files.encipherOnlyCert = d + "/encipher.pem";
    files.serverAuthCert = d + "/server.pem";
    files.mailCert = d + "/mail.pem";
    files.pkcs12 = d + "/good.p12";
    files.legacyPkcs12 = d + "/legacy.p12";

    const QStringList ca = {"ca", "-batch", "-config", "ca.cnf", "-cert", "ca.pem", "-keyfile", "ca.key", "-notext",
                            "-utf8"};
    // Day 3 of last month: a one-digit day, which OpenSSL prints padded.
    const QDate start = QDate::currentDate().addMonths(-1);
    const QDate goodFrom(start.year(), start.month(), 3);
    const QDate today = QDate::currentDate();
    ready =
        openssl(d, {"ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", "ca.key"}) &&
        openssl(d, {"req", "-new", "-x509", "-key", "ca.key", "-subj", "/CN=Ulvo Test CA", "-days", "3650", "-config",
                    "ca.cnf", "-extensions", "ca_ext", "-out", "ca.pem"}) &&
        openssl(d, {"ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", "good.key"}) &&
        openssl(d, {"ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", "other.key"}) &&
        openssl(d, {"req", "-new", "-utf8", "-key", "good.key", "-subj", "/C=RU/O=Test, Org/CN=Иван Петров", "-out",
                    "good.csr"}) &&
        openssl(d, ca + QStringList{"-in", "good.csr", "-out", "good.pem", "-extensions", "leaf", "-startdate",
                                    asn1Date(goodFrom), "-enddate", asn1Date(goodFrom.addYears(5))}) &&
        openssl(d, ca + QStringList{"-in", "good.csr", "-out", "revoked.pem", "-extensions", "leaf", "-days", "30"}) &&
        openssl(d, ca + QStringList{"-in", "good.csr", "-out", "stalled.pem", "-extensions", "stalled", "-days", "30"}) &&
        openssl(d, ca + QStringList{"-in", "good.csr", "-out", "expired.pem", "-extensions", "leaf", "-startdate",
                                    asn1Date(today.addYears(-3)), "-enddate", asn1Date(today.addYears(-2))}) &&
        openssl(d, ca + QStringList{"-in", "good.csr", "-out", "encipher.pem", "-extensions", "encipher", "-days", "30"}) &&
        openssl(d, ca + QStringList{"-in", "good.csr", "-out", "server.pem", "-extensions", "server", "-days", "30"}) &&
        openssl(d, ca + QStringList{"-in", "good.csr", "-out", "mail.pem", "-extensions", "mail", "-days", "30"}) &&
        openssl(d, {"ca", "-config", "ca.cnf", "-cert", "ca.pem", "-keyfile", "ca.key", "-revoke", "revoked.pem"}) &&
        openssl(d, {"ca", "-config", "ca.cnf", "-cert", "ca.pem", "-keyfile", "ca.key", "-gencrl", "-out",
                    "ca.crl.pem"}) &&
        openssl(d, {"crl", "-in", "ca.crl.pem", "-outform", "DER", "-out", "ca.crl"}) &&
        openssl(d, {"pkey", "-in", "good.key", "-aes256", "-passout", "pass:secret", "-out", "encrypted.key"}) &&
        openssl(d, {"x509", "-in", "good.pem", "-outform", "DER", "-out", "good.der"}) &&
        openssl(d, {"pkcs12", "-export", "-inkey", "good.key", "-in", "good.pem", "-passout", "pass:", "-out",
                    "good.p12"}) &&
        openssl(d, {"pkcs12", "-export", "-legacy", "-inkey", "good.key", "-in", "good.pem", "-passout",
                    "pass:secret", "-out", "legacy.p12"});
    if (!ready) return;
    QFile crl(d + "/ca.crl");
    ready = crl.open(QIODevice::ReadOnly);
    crlServer.setBody(crl.readAll());
    // The check trusts the system's store; ours stands in for it.
    qputenv("SSL_CERT_FILE", files.caCert.toLocal8Bit());
  }
};

}  // namespace

const Pki& pki() {
  static std::unique_ptr<Authority> authority = std::make_unique<Authority>();
  if (!authority->ready) ADD_FAILURE() << "the test authority could not be made with openssl";
  return authority->files;
}

QString writeBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()) << path.toStdString();
  return path;
}

QByteArray readBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void resetSigningSettings(const QString& revocationMode) {
  static QTemporaryDir settingsFolder;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsFolder.path());
  QSettings settings;
  settings.clear();
  settings.setValue(QStringLiteral("signing/revocationMode"), revocationMode);
}

QString opensslCertificateField(const QString& certificate, const QStringList& options) {
  QByteArray output;
  testsupport::runTool(QStringLiteral("openssl"), QStringList{"x509", "-in", certificate, "-noout"} + options,
                       &output);
  const QString text = QString::fromUtf8(output).trimmed();
  return text.mid(text.indexOf(QLatin1Char('=')) + 1);
}

bool opensslVerifies(const QString& signature, const QString& detachedContent, QByteArray* content) {
  const QString out = signature + QStringLiteral(".verified");
  QStringList args = {"cms", "-verify", "-binary", "-inform", "DER", "-in", signature, "-CAfile", pki().caCert,
                      "-out", out};
  if (!detachedContent.isEmpty()) args << "-content" << detachedContent;
  const bool ok = testsupport::runTool("openssl", args) == 0;
  if (content) *content = readBytes(out);
  QFile::remove(out);
  return ok;
}

QStringList pdfsigValidations(const QString& pdf) {
  QByteArray output;
  testsupport::runTool(QStringLiteral("pdfsig"), {pdf}, &output);
  QStringList validations;
  for (const QString& line : QString::fromUtf8(output).split(QLatin1Char('\n')))
    if (line.trimmed().startsWith(QLatin1String("- Signature Validation:")))
      validations << line.section(QLatin1Char(':'), 1).trimmed();
  return validations;
}

QList<int> processesMentioning(const QString& text) {
  QList<int> found;
  const QByteArray wanted = text.toUtf8();
  for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    bool numeric = false;
    const int pid = entry.toInt(&numeric);
    if (!numeric || pid == int(QCoreApplication::applicationPid())) continue;
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!cmdline.open(QIODevice::ReadOnly)) continue;
    QByteArray line = cmdline.readAll();
    line.replace('\0', ' ');
    if (line.contains(wanted)) found << pid;
  }
  return found;
}

}  // namespace signingtest
