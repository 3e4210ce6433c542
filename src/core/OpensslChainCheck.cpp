#include "OpensslChainCheck.h"
#include "CoreText.h"

#include "OpensslHandles.h"
#include "SignatureChildProcess.h"

#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <openssl/err.h>
#include <openssl/pem.h>

#include <algorithm>

namespace {

void setStatus(QString* status, const QString& text) {
  if (status) *status = text;
}

}  // namespace

int revocationCheckTimeoutMs() {
  bool ok = false;
  int seconds = QSettings().value(QStringLiteral("signing/revocationTimeoutSec")).toString().trimmed().toInt(&ok);
  if (!ok) seconds = 90;
  return std::clamp(seconds, 20, 600) * 1000;
}

QString signingRevocationMode() {
  const auto known = [](const QString& mode) {
    return mode == QLatin1String("search") || mode == QLatin1String("sign") || mode == QLatin1String("never");
  };
  // A certificate list asked for by a signature dialog follows the choice the
  // dialog shows, which is kept in the settings only once the user signs.
  const QString asked = qEnvironmentVariable(kRevocationModeVariable);
  if (known(asked)) return asked;
  const QString mode = QSettings().value(QStringLiteral("signing/revocationMode"), QStringLiteral("sign")).toString();
  return known(mode) ? mode : QStringLiteral("sign");
}

bool runOpensslChainCheck(const QByteArray& certificatePem, QString* status, int timeoutMs) {
  const QString program = QStandardPaths::findExecutable(QStringLiteral("openssl"));
  if (program.isEmpty()) {
    setStatus(status, coreText("OpenSSL CLI не найден, отзыв проверить нельзя"));
    return false;
  }
  QTemporaryFile certificateFile(QDir::tempPath() + QStringLiteral("/ulvo_cert_XXXXXX.pem"));
  if (!certificateFile.open() || certificateFile.write(certificatePem) != certificatePem.size() ||
      !certificateFile.flush()) {
    setStatus(status, coreText("не удалось подготовить временный сертификат для проверки"));
    return false;
  }

  QProcess verify;
  tieChildToThisProcess(&verify);
  verify.start(program, {QStringLiteral("verify"), QStringLiteral("-crl_download"), QStringLiteral("-crl_check_all"),
                         certificateFile.fileName()});
  verify.closeWriteChannel();
  if (!verify.waitForFinished(timeoutMs)) {
    verify.kill();
    verify.waitForFinished(1000);
    setStatus(status, QStringLiteral("таймаут проверки CRL/портала УЦ"));
    return false;
  }
  const QString output =
      QString::fromUtf8(verify.readAllStandardOutput() + verify.readAllStandardError()).trimmed();
  if (verify.exitStatus() == QProcess::NormalExit && verify.exitCode() == 0) {
    setStatus(status, coreText("ключ доступен, срок действия и CRL/цепочка проверены"));
    return true;
  }
  setStatus(status, output.isEmpty() ? coreText("сертификат не прошёл проверку CRL/цепочки") : output);
  return false;
}

bool linuxCertificateTrustAndRevocationOk(X509* certificate, QString* status) {
  openssl::Bio pem(BIO_new(BIO_s_mem()));
  if (!pem || PEM_write_bio_X509(pem.get(), certificate) != 1) {
    ERR_clear_error();
    setStatus(status, coreText("не удалось подготовить временный сертификат для проверки"));
    return false;
  }
  char* data = nullptr;
  const long length = BIO_get_mem_data(pem.get(), &data);
  return runOpensslChainCheck(QByteArray(data, int(length)), status, revocationCheckTimeoutMs());
}
