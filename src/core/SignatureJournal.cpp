#include "SignatureJournal.h"

#include "AtomicFileWrite.h"
#include "SignatureService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QStandardPaths>

namespace {

QString journalFolder() {
  const QString location = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  return location.isEmpty() ? QDir::homePath() + QStringLiteral("/.ulvo-pdf-reader") : location;
}

QJsonObject journalRecord(const SignatureRequest& request, const SignatureResult& result,
                          const SigningCertificate& certificate) {
  QJsonObject record;
  record.insert(QStringLiteral("fileName"), QFileInfo(request.inputPath).fileName());
  record.insert(QStringLiteral("filePath"), QFileInfo(request.inputPath).absoluteFilePath());
  record.insert(QStringLiteral("signaturePath"), QFileInfo(result.outputPath).absoluteFilePath());
  record.insert(QStringLiteral("sha256"), QString::fromLatin1(result.documentSha256.toHex()));
  record.insert(QStringLiteral("mode"), SignatureService::modeDisplayName(request.mode));
  record.insert(QStringLiteral("signer"), result.signer);
  record.insert(QStringLiteral("certificateSubject"), certificate.subject);
  record.insert(QStringLiteral("certificateIssuer"), certificate.issuer);
  record.insert(QStringLiteral("certificateThumbprint"), certificate.thumbprint);
  record.insert(QStringLiteral("certificateProvider"), certificate.providerName);
  record.insert(QStringLiteral("signedAt"), result.signedAt.toString(Qt::ISODate));
  record.insert(QStringLiteral("signatureSize"), QString::number(result.outputSize));
  return record;
}

// Moves an unreadable journal out of the way under a name not yet taken.
bool keepAsBackup(const QString& path) {
  QString backup = path + QStringLiteral(".bak");
  for (int n = 2; QFileInfo::exists(backup); ++n) backup = path + QStringLiteral(".bak%1").arg(n);
  return QFile::rename(path, backup);
}

}  // namespace

void appendSignatureJournalRecord(const SignatureRequest& request, const SignatureResult& result,
                                  const SigningCertificate& certificate) {
  if (!result.ok) return;
  const QString folder = journalFolder();
  QDir().mkpath(folder);
  const QString path = QDir(folder).filePath(QStringLiteral("signature-journal.json"));

  // Two programs appending at once would otherwise lose one record. A lock
  // that cannot be had in time does not cost the record.
  QLockFile lock(path + QStringLiteral(".lock"));
  lock.tryLock(5000);

  QJsonArray records;
  QFile existing(path);
  if (existing.exists() && existing.size() > 0) {
    QByteArray content;
    bool readable = existing.open(QIODevice::ReadOnly);
    if (readable) {
      content = existing.readAll();
      readable = existing.error() == QFileDevice::NoError;
      existing.close();
    }
    const QJsonDocument document = QJsonDocument::fromJson(content);
    if (readable && document.isArray()) records = document.array();
    else if (!keepAsBackup(path)) return;  // never overwrite what could not be read
  }
  records.append(journalRecord(request, result, certificate));
  writeFileAtomically(path, QJsonDocument(records).toJson(QJsonDocument::Indented), nullptr);
}

QString compactCertificateName(QString subject) {
  subject = subject.simplified();
  const QStringList prefixes = {QStringLiteral("CN="), QStringLiteral("SN="), QStringLiteral("G="),
                                QStringLiteral("O="), QStringLiteral("OU=")};
  for (const QString& rawPart : subject.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
    const QString part = rawPart.trimmed();
    for (const QString& prefix : prefixes)
      if (part.startsWith(prefix, Qt::CaseInsensitive)) return part.mid(prefix.size()).trimmed();
  }
  return subject;
}
