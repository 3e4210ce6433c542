// The certificate list of the signature dialog, filled by the certificate-list
// worker in a child process, and the diagnostics.
#include "SignatureDialogState.h"

#include "DistinguishedName.h"
#include "SignatureTexts.h"
#include "core/OpensslChainCheck.h"
#include "core/RegularFileRead.h"
#include "core/SignatureService.h"
#include "ui/BusyRing.h"
#include "ui/DialogHelpers.h"

#include <QCheckBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTimer>

namespace {

const char kDone[] = "_ulvo_done";

QListWidgetItem* inertItem(const QString& text, QListWidget* list) {
  auto* item = new QListWidgetItem(text, list);
  item->setFlags(Qt::NoItemFlags);
  return item;
}

}  // namespace

int certificateSearchTimeoutSeconds(const QString& revocationMode, const QVariant& storedValue) {
  const bool search = revocationMode == QLatin1String("search");
  const int fallback = search ? 900 : 120;
  bool ok = false;
  int value = storedValue.isValid() ? storedValue.toString().trimmed().toInt(&ok) : fallback;
  if (!ok) value = fallback;
  return search ? std::clamp(value, 60, 3600) : std::clamp(value, 30, 900);
}

QString certificateSearchTimeoutText(int seconds) {
  const QString span = seconds >= 60 ? uiText("%1 мин.").arg(seconds / 60) : uiText("%1 сек.").arg(seconds);
  return uiText("Поиск сертификатов не ответил за %1. Если сертификатов много или УЦ отвечает медленно, увеличьте "
            "таймаут в настройках подписи.")
      .arg(span);
}

QString certificateGroupLabel(const SigningCertificate& certificate) {
  struct Group {
    QStringList keywords;
    const char* label;
  };
  static const QList<Group> groups = {
      {{QStringLiteral("vipnet")}, "ViPNet CSP"},
      {{QStringLiteral("signal")}, "Signal-COM CSP"},
      {{QStringLiteral("lissi")}, "LISSI-CSP"},
      {{QStringLiteral("rutoken"), QStringLiteral("рутокен")}, "Rutoken / ЭЦП-флешка"},
      {{QStringLiteral("jacarta"), QStringLiteral("aladdin")}, "JaCarta / Aladdin"},
      {{QStringLiteral("etoken"), QStringLiteral("safenet"), QStringLiteral("thales")}, "eToken / SafeNet"},
      {{QStringLiteral("crypto-pro"), QStringLiteral("cryptopro"), QStringLiteral("crypto pro"),
        QStringLiteral("крипто")},
       "CryptoPro CSP"},
      {{QStringLiteral("openssl")}, "Файловый сертификат / OpenSSL"},
  };
  const QString key = QStringLiteral("%1 %2 %3")
                          .arg(certificate.providerName, certificate.containerName, certificate.storeName)
                          .toLower();
  for (const Group& group : groups)
    for (const QString& keyword : group.keywords)
      if (key.contains(keyword)) return uiText(group.label);
  if (certificate.storeName == QStringLiteral("Файл")) return uiText("Файловый сертификат / OpenSSL");
  if (!certificate.providerName.trimmed().isEmpty()) return certificate.providerName.trimmed();
  if (!certificate.storeName.trimmed().isEmpty()) return certificate.storeName.trimmed();
  return uiText("Другие провайдеры");
}

SigningCertificate certificateFromJson(const QJsonObject& object) {
  const auto text = [&object](const char* key) { return object.value(QLatin1String(key)).toString(); };
  const auto flag = [&object](const char* key) { return object.value(QLatin1String(key)).toBool(); };
  SigningCertificate certificate;
  certificate.id = text("id");
  certificate.subject = text("subject");
  certificate.issuer = text("issuer");
  certificate.serial = text("serial");
  certificate.thumbprint = text("thumbprint");
  certificate.providerName = text("providerName");
  certificate.containerName = text("containerName");
  certificate.storeName = text("storeName");
  certificate.publicKeyAlgorithm = text("publicKeyAlgorithm");
  certificate.validFrom = QDateTime::fromString(text("validFrom"), Qt::ISODate);
  certificate.validTo = QDateTime::fromString(text("validTo"), Qt::ISODate);
  certificate.hasPrivateKey = flag("hasPrivateKey");
  certificate.privateKeyUsable = flag("privateKeyUsable");
  certificate.validNow = flag("validNow");
  certificate.digitalSignatureAllowed = flag("digitalSignatureAllowed");
  certificate.revocationChecked = flag("revocationChecked");
  certificate.revoked = flag("revoked");
  certificate.available = flag("available");
  certificate.unavailableReason = text("unavailableReason");
  certificate.validationStatus = text("validationStatus");
  return certificate;
}

void SignatureDialogState::startCertificateSearch() {
  if (searchProcess && searchProcess->state() != QProcess::NotRunning) return;
  certificateStack->setCurrentWidget(certificateLoadingPage);
  refreshCertificatesButton->setEnabled(false);
  certificateFilterEdit->setEnabled(false);
  showUnavailableCheck->setEnabled(false);
  if (signButton) signButton->setEnabled(false);
  certificateBusyRing->start(45);

  auto* process = new QProcess(dialog);
  searchProcess = process;
  prepareSigningWorker(process, {QStringLiteral("--ulvo-cert-list")}, QStringLiteral("ULVO_CERT_ENUM_WORKER"));
  QProcessEnvironment environment = process->processEnvironment();
  environment.insert(QString::fromLatin1(kRevocationModeVariable), revocationMode);
  process->setProcessEnvironment(environment);
  QObject::connect(process, &QProcess::finished, dialog, [this, process](int code, QProcess::ExitStatus status) {
    completeCertificateSearch(process, code == 0 && status == QProcess::NormalExit, process->readAllStandardOutput(),
                              process->readAllStandardError(),
                              status == QProcess::CrashExit ? uiText("Криптопровайдер аварийно завершил поиск сертификатов.")
                                                            : uiText("Поиск сертификатов завершился с ошибкой."));
  });
  // Qt reports a crash as a process error before the finish: still a crash.
  QObject::connect(process, &QProcess::errorOccurred, dialog, [this, process](QProcess::ProcessError error) {
    completeCertificateSearch(process, false, process->readAllStandardOutput(), process->readAllStandardError(),
                              error == QProcess::Crashed ? uiText("Криптопровайдер аварийно завершил поиск сертификатов.")
                                                         : uiText("Не удалось запустить изолированный поиск сертификатов."));
  });

  QSettings settings;
  const bool withRevocation = revocationMode == QLatin1String("search");
  const int timeout = certificateSearchTimeoutSeconds(
      revocationMode, settings.value(withRevocation ? QStringLiteral("signing/searchWithRevocationTimeoutSec")
                                                    : QStringLiteral("signing/searchTimeoutSec")));
  QTimer::singleShot(std::chrono::seconds(timeout), Qt::CoarseTimer, process, [this, process, timeout] {
    if (process->property(kDone).toBool() || process->state() == QProcess::NotRunning) return;
    process->kill();
    process->waitForFinished(3000);
    completeCertificateSearch(process, false, process->readAllStandardOutput(), process->readAllStandardError(),
                              certificateSearchTimeoutText(timeout));
  });
  process->start(QIODevice::ReadWrite);
}

void SignatureDialogState::completeCertificateSearch(QProcess* process, bool normalExit,
                                                     const QByteArray& standardOutput,
                                                     const QByteArray& standardError, const QString& fallbackText) {
  if (!process || process->property(kDone).toBool()) return;
  process->setProperty(kDone, true);
  if (searchProcess == process) searchProcess = nullptr;

  QString error;
  QList<SigningCertificate> list;
  if (normalExit) {
    const QJsonDocument document = QJsonDocument::fromJson(standardOutput.trimmed());
    if (!document.isObject()) {
      error = uiText("Изолированный поиск сертификатов вернул некорректный ответ.");
    } else {
      error = document.object().value(QLatin1String("error")).toString();
      for (const QJsonValue& value : document.object().value(QLatin1String("certificates")).toArray())
        if (value.isObject()) list << certificateFromJson(value.toObject());
    }
  } else {
    error = QString::fromUtf8(standardError).trimmed();
    if (error.isEmpty()) error = fallbackText;
  }
  certificates = list;

  certificateStack->setCurrentWidget(certificateList);
  refreshCertificatesButton->setEnabled(!busy);
  certificateFilterEdit->setEnabled(!busy);
  showUnavailableCheck->setEnabled(!busy);
  if (signButton) signButton->setEnabled(!busy);
  certificateBusyRing->stop();
  refreshCertificateList();
  if (certificates.isEmpty()) {
    certificateList->clear();
    inertItem(error.isEmpty() ? uiText("Подходящие сертификаты не найдены.") : error, certificateList);
  }
  process->deleteLater();
}

void SignatureDialogState::refreshCertificateList() {
  const QVariant remembered = certificateList->currentItem() ? certificateList->currentItem()->data(Qt::UserRole)
                                                             : QVariant();
  certificateList->clear();
  bool added = addCertificateGroups(true);
  if (showUnavailableCheck->isChecked()) added = addCertificateGroups(false) || added;
  if (!added) {
    inertItem(certificateFilterEdit->text().trimmed().isEmpty() ? uiText("Сертификаты не найдены.")
                                                                : uiText("Сертификаты не найдены по фильтру."),
              certificateList);
    return;
  }
  QListWidgetItem* fallback = nullptr;
  for (int row = 0; row < certificateList->count(); ++row) {
    QListWidgetItem* item = certificateList->item(row);
    const QVariant id = item->data(Qt::UserRole);
    if (!id.isValid()) continue;
    if (!fallback) fallback = item;
    if (remembered.isValid() && id == remembered) {
      certificateList->setCurrentItem(item);
      return;
    }
  }
  if (fallback) certificateList->setCurrentItem(fallback);
}

bool SignatureDialogState::addCertificateGroups(bool available) {
  const QString filter = certificateFilterEdit->text().trimmed().toLower();
  QMap<QString, QList<SigningCertificate>> groups;
  for (const SigningCertificate& certificate : certificates) {
    if (certificate.available != available) continue;
    const QString haystack = QStringList{readableDistinguishedName(certificate.subject),
                                         readableDistinguishedName(certificate.issuer),
                                         certificate.serial,       certificate.thumbprint,
                                         certificate.providerName, certificate.containerName,
                                         certificate.storeName,    certificate.publicKeyAlgorithm,
                                         certificate.unavailableReason}
                                 .join(QLatin1Char(' '))
                                 .toLower();
    if (!filter.isEmpty() && !haystack.contains(filter)) continue;
    groups[certificateGroupLabel(certificate)] << certificate;
  }
  for (auto it = groups.cbegin(); it != groups.cend(); ++it) {
    QListWidgetItem* header = inertItem(
        QStringLiteral("%1 — %2").arg(available ? uiText("Доступные") : uiText("Недоступные"), it.key()), certificateList);
    QFont bold = header->font();
    bold.setWeight(QFont::Bold);
    header->setFont(bold);
    header->setForeground(QColor(QStringLiteral("#53627a")));
    header->setBackground(QColor(QStringLiteral("#f1f6fc")));
    for (const SigningCertificate& certificate : it.value()) {
      const QString provider = certificate.providerName.isEmpty() ? certificate.storeName : certificate.providerName;
      QStringList lines{readableDistinguishedName(certificate.subject)};
      // A container not opened yet tells nothing of its certificate: no empty lines for it.
      if (!certificate.issuer.isEmpty())
        lines << uiText("Издатель: %1").arg(readableDistinguishedName(certificate.issuer));
      if (certificate.validTo.isValid())
        lines << uiText("Действует до: %1 · %2 · %3")
                     .arg(certificate.validTo.toString(QStringLiteral("dd.MM.yyyy")), certificate.publicKeyAlgorithm,
                          provider);
      else
        lines << provider;
      // A container listed before its password is known says what it needs.
      if (available && !certificate.validationStatus.isEmpty()) lines << uiTranslate(certificate.validationStatus);
      if (!available)
        lines << uiText("Недоступен: %1")
                     .arg(certificate.unavailableReason.isEmpty() ? uiText("причина не определена")
                                                                  : certificate.unavailableReason);
      auto* item = new QListWidgetItem(lines.join(QLatin1Char('\n')), certificateList);
      if (available) {
        item->setData(Qt::UserRole, certificate.id);
      } else {
        item->setFlags(Qt::NoItemFlags);
        item->setForeground(QColor(QStringLiteral("#8b97a8")));
        item->setBackground(QColor(QStringLiteral("#f7f9fc")));
      }
    }
  }
  return !groups.isEmpty();
}

void SignatureDialogState::useListedCertificate(const QString& id) {
  if (busy || !id.startsWith(QLatin1String("linux-file|"))) return;
  const QString path = id.section(QLatin1Char('|'), 1);
  // A PEM certificate is text; anything else listed is a PKCS#12 container.
  // Only an ordinary file is opened: a pipe put in its place would block here.
  QFile file(path);
  const bool pem = !isExistingNonRegularFile(path) && file.open(QIODevice::ReadOnly) &&
                   file.read(4096).trimmed().startsWith("-----BEGIN");
  if (!pem) {
    pkcs12PathEdit->setText(path);
    pkcs12PasswordEdit->setFocus();
  } else {
    pkcs12PathEdit->clear();
    certificatePathEdit->setText(path);
    privateKeyPathEdit->setText(QSettings().value(QStringLiteral("signing/linux/privateKeyPath")).toString());
  }
}

void SignatureDialogState::showSigningDiagnostics() {
  QStringList lines{uiText("Нативное подписание Windows Store/CSP: %1")
                        .arg(SignatureService::isNativeSigningAvailable() ? uiText("доступно") : uiText("недоступно")),
                    uiText("Найдено сертификатов для подписи: %1").arg(certificates.size())};
  lines << SignatureService::linuxProviderDiagnostics();
  lines << uiText("PKCS#11 для прямого доступа к токенам: следующий этап.")
        << uiText("CAdES-T: Windows через CryptoPro CAdESCOM и TSA; Linux-ветка пока CMS/CAdES-BES.")
        << uiText("PDF со встроенной подписью: включено для PDF без существующей AcroForm.");
  appInfo(dialog, uiText("Диагностика подписи"), lines.join(QLatin1Char('\n')));
}
