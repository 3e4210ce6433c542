// Batch signing: after the first file of the dialog is signed, the remaining
// files are signed with the same settings, one worker process at a time.
#include "SignatureDialogState.h"

#include "SignatureTexts.h"
#include "core/SignatureJournal.h"
#include "core/SignatureService.h"
#include "ui/DialogHelpers.h"
#include "ui/UniqueSiblingPath.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>

bool signFileInWorker(const SignatureRequest& request, SignatureResult* result, QString* error) {
  // Destroying the process object kills a worker that still runs, so none
  // outlives the batch.
  QProcess process;
  prepareSigningWorker(&process, {QStringLiteral("--ulvo-sign-file"), QStringLiteral("-")},
                       QStringLiteral("ULVO_SIGN_WORKER"));

  QEventLoop loop;
  bool finished = false;
  bool ok = false;
  bool normalExit = false;
  QByteArray standardOutput, standardError;
  QString text;
  QObject::connect(&process, &QProcess::finished, &loop, [&](int exitCode, QProcess::ExitStatus status) {
    finished = true;
    normalExit = status == QProcess::NormalExit;
    ok = exitCode == 0 && normalExit;
    standardOutput += process.readAllStandardOutput();
    standardError += process.readAllStandardError();
    text = status == QProcess::CrashExit ? uiText("Криптопровайдер аварийно завершил подписание.")
                                         : uiText("Подписание завершилось с ошибкой.");
    loop.quit();
  });
  QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError processError) {
    if (finished) return;
    // A crash is followed by its finish report, whose values stand.
    if (processError == QProcess::Crashed) return;
    finished = true;
    standardOutput += process.readAllStandardOutput();
    standardError += process.readAllStandardError();
    text = uiText("Не удалось запустить изолированный процесс подписания.");
    loop.quit();
  });
  startSigningWorker(&process, request);
  if (!finished) loop.exec();

  const QJsonDocument answer = QJsonDocument::fromJson(standardOutput.trimmed());
  if (!ok) {
    // A worker that refused says why in its answer; that beats a generic text.
    const QString reason = normalExit && answer.isObject() ? answer.object().value(QLatin1String("error")).toString()
                                                           : QString();
    *error = reason.trimmed().isEmpty() ? QString::fromUtf8(standardError).trimmed() : reason.trimmed();
    if (error->isEmpty()) *error = text;
    return false;
  }
  if (!answer.isObject()) {
    *error = uiText("Изолированный процесс подписи вернул некорректный ответ.");
    return false;
  }
  *result = signatureResultFromJson(answer.object(), request.mode);
  if (!result->ok) {
    *error = result->error.isEmpty() ? uiText("Подписание завершилось с ошибкой.") : result->error;
    return false;
  }
  return true;
}

void SignatureDialogState::signRemainingFiles(const AsyncSignResult& first, QStringList* lines, QStringList* toOpen) {
  if (remainingFiles.isEmpty()) return;
  // A user who already chose to skip a failed file has said to sign the rest.
  if (failedFiles.isEmpty() && !appQuestion(dialog, uiText("Подписание документов"),
                   uiText("Первый файл подписан. Подписать остальные файлы (%1) с теми же настройками?")
                       .arg(remainingFiles.size()),
                   uiText("Подписать остальные"), uiText("Не подписывать"))) {
    *lines << uiText("Остальные PDF не подписывались по выбору пользователя.");
    return;
  }
  setBusy(true, uiText("Подписываю остальные документы..."));
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

  const SignatureMode mode = first.request.mode;
  int signedCount = 0;
  for (int i = 0; i < remainingFiles.size(); ++i) {
    const QString file = remainingFiles.at(i);
    if (link.showStatus)
      link.showStatus(uiText("Подписание файла %1 из %2").arg(i + 2).arg(remainingFiles.size() + 1));
    SignatureRequest request = first.request;
    request.certificateId.clear();
    request.inputPath = file;
    request.outputPath = uniqueSiblingPathLikeChrome(SignatureService::defaultOutputPath(file, mode));

    QString error;
    QString stamped;
    const auto fail = [&] {
      // A stamped copy without its signature would claim one that does not exist.
      if (!stamped.isEmpty()) QFile::remove(stamped);
      failedFiles << QStringLiteral("%1 — %2").arg(QFileInfo(file).fileName(), error);
    };
    // Only a regular file is read: a pipe would block the batch.
    if (!QFileInfo(file).isFile()) {
      error = uiText("Файл не найден или не является обычным файлом.");
      fail();
      continue;
    }
    if (mode == SignatureMode::StampedPdfDetached) {
      QFile source(file);
      if (!source.open(QIODevice::ReadOnly)) {
        error = uiText("Не удалось прочитать PDF перед нанесением штампа: %1").arg(source.errorString());
        fail();
        continue;
      }
      const QByteArray digest = QCryptographicHash::hash(source.readAll(), QCryptographicHash::Sha256);
      source.close();
      const QString stampedPath = uniqueSiblingPathLikeChrome(stampedPdfPathForSignature(file, request.outputPath));
      if (QFileInfo(stampedPath).absoluteFilePath() == QFileInfo(file).absoluteFilePath()) {
        error = uiText("PDF со штампом не должен перезаписывать исходный файл.");
        fail();
        continue;
      }
      if (!createStampedPdfCopy(file, stampedPath, first.signer, digest, QDateTime::currentDateTime(), first.stamp,
                                &error)) {
        fail();
        continue;
      }
      stamped = stampedPath;
      request.inputPath = stamped;
      request.outputPath = uniqueSiblingPathLikeChrome(stamped + QStringLiteral(".sig"));
    }
    SignatureResult result;
    if (!signFileInWorker(request, &result, &error)) {
      fail();
      continue;
    }
    appendSignatureJournalRecord(request, result, first.signer);
    ++signedCount;
    *toOpen << (stamped.isEmpty() ? result.outputPath : stamped);
  }
  setBusy(false, QString());
  if (signedCount > 0) *lines << uiText("Дополнительно подписано файлов: %1.").arg(signedCount);
}
