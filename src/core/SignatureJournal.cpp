#include "SignatureJournal.h"

#include "AtomicFileWrite.h"
#include "CoreText.h"
#include "RegularFileRead.h"
#include "SignatureService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Far beyond any real journal; a bigger file is set aside, not parsed.
constexpr qint64 kLargestJournal = 64 * 1024 * 1024;

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
  record.insert(QStringLiteral("certificateSerial"), certificate.serial);
  record.insert(QStringLiteral("certificateThumbprint"), certificate.thumbprint);
  record.insert(QStringLiteral("certificateProvider"), certificate.providerName);
  record.insert(QStringLiteral("signedAt"), result.signedAt.toString(Qt::ISODate));
  record.insert(QStringLiteral("signatureSize"), QString::number(result.outputSize));
  return record;
}

// The journal names files, digests and signers: its folder is the user's
// alone. Missing folders are made 0700; the journal's own folder is narrowed
// to 0700 when it is the user's and wider.
bool makePrivateFolder(const QString& folder) {
  const QStringList parts = QDir::cleanPath(folder).split(QLatin1Char('/'), Qt::SkipEmptyParts);
  QString path = folder.startsWith(QLatin1Char('/')) ? QString() : QDir::currentPath();
  for (const QString& part : parts) {
    path += QLatin1Char('/') + part;
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat info {};
  if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  if (info.st_uid == ::geteuid() && (info.st_mode & 077)) ::chmod(QFile::encodeName(path).constData(), 0700);
  return true;
}

// Moves an unreadable journal out of the way under a name not yet taken.
bool keepAsBackup(const QString& path) {
  QString backup = path + QStringLiteral(".bak");
  for (int n = 2; QFileInfo::exists(backup); ++n) backup = path + QStringLiteral(".bak%1").arg(n);
  return QFile::rename(path, backup);
}

}  // namespace

QString signatureJournalPath() {
  return QDir(journalFolder()).filePath(QStringLiteral("signature-journal.json"));
}

bool appendSignatureJournalRecord(const SignatureRequest& request, const SignatureResult& result,
                                  const SigningCertificate& certificate, QString* error) {
  QString ignored;
  QString& message = error ? *error : ignored;
  if (!result.ok) return true;
  const QString folder = journalFolder();
  if (!makePrivateFolder(folder)) {
    message = coreText("Не удалось создать папку журнала подписей: %1").arg(folder);
    return false;
  }
  const QString path = signatureJournalPath();

  // Two programs appending at once would lose one record: without the lock
  // nothing is written and the caller is told.
  QLockFile lock(path + QStringLiteral(".lock"));
  if (!lock.tryLock(5000)) {
    message = QStringLiteral("Журнал подписей занят другой программой; запись о подписи не добавлена.");
    return false;
  }

  QJsonArray records;
  QByteArray content;
  const FileReadFailure read = readRegularFile(path, kLargestJournal, &content, nullptr);
  if (read != FileReadFailure::Open && !(read == FileReadFailure::None && content.isEmpty())) {
    const QJsonDocument document = QJsonDocument::fromJson(content);
    if (read == FileReadFailure::None && document.isArray()) {
      records = document.array();
    } else if (!keepAsBackup(path)) {  // never overwrite what could not be read
      message = coreText("Журнал подписей не читается и не может быть сохранён под другим именем: %1").arg(path);
      return false;
    }
  }
  records.append(journalRecord(request, result, certificate));
  QString writeError;
  if (!writeFileAtomically(path, QJsonDocument(records).toJson(QJsonDocument::Indented), &writeError,
                           AtomicFileAccess::OwnerOnly)) {
    message = coreText("Не удалось записать журнал подписей: %1").arg(writeError);
    return false;
  }
  return true;
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
