// The signing run of the signature dialog: prepares the file to sign, hands
// the request to the signing worker in a child process and handles its answer.
#include "SignatureDialogState.h"

#include "SignatureTexts.h"
#include "core/ForeignFileNames.h"
#include "core/MemoryOnlyFile.h"
#include "core/OwnedLeftovers.h"
#include "core/OwnedTemporaryFolder.h"
#include "core/PdfDocument.h"
#include "core/SignatureJournal.h"
#include "core/SignatureService.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"
#include "ui/UniqueSiblingPath.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcessEnvironment>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>
#include <QUrl>

namespace {

const char kDone[] = "_ulvo_done";

QString crashText() {
  return uiText("Криптопровайдер аварийно завершил подписание. GUI остался запущен, можно выбрать другой сертификат или "
            "режим подписи.");
}

bool isPdfSuffix(const QString& path) {
  return QFileInfo(path).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0;
}

// Who signs, for the stamp and the journal. The certificate list worker has
// already described the key file in its own process; when it did, the stamp
// names the certificate's owner rather than the file.
SigningCertificate signerRecord(const QList<SigningCertificate>& listed, const QString& keyPath) {
  const QString wanted = QFileInfo(keyPath).absoluteFilePath();
  for (const SigningCertificate& certificate : listed) {
    const QString listedPath = certificate.id.section(QLatin1Char('|'), 1);
    if (certificate.id.startsWith(QLatin1String("linux-file|")) && !keyPath.isEmpty() &&
        QFileInfo(listedPath).absoluteFilePath() == wanted)
      return certificate;
  }
  SigningCertificate signer;
  signer.subject = QFileInfo(keyPath).fileName();
  signer.providerName = QStringLiteral("OpenSSL CMS");
  signer.storeName = QStringLiteral("Файл");
  return signer;
}

enum class UnsavedEdits { Sign, SignSavedFile, Cancel };

// Unsaved edits are never signed unasked: including them means a full save
// of the document, which breaks every signature it already carries, while
// the file on disk can be signed as it is by an appended update.
UnsavedEdits askAboutUnsavedEdits(QWidget* parent, int mode, const QString& fileName, bool signedDocument) {
  if (mode != 3 && mode != 4) {
    return appQuestion(parent, uiText("Подписание"),
                       uiText("В документе «%1» есть несохранённые изменения. Эта подпись ставится на файл, "
                              "сохранённый на диске: изменения в неё не войдут.")
                           .arg(fileName),
                       uiText("Подписать файл с диска"), uiText("Отмена"))
               ? UnsavedEdits::SignSavedFile
               : UnsavedEdits::Cancel;
  }
  const QString text =
      mode == 3
          ? uiText("В документе «%1» есть несохранённые изменения. Копия со штампом может быть сделана с ними или с "
                   "файла, сохранённого на диске.")
          : uiText("В документе «%1» есть несохранённые изменения.\n\nПодписать вместе с изменениями: документ будет "
             "сохранён целиком в подписанный файл, и подписи, которые в нём уже есть, станут недействительными.\n\n"
             "Подписать файл с диска: подпись добавляется к сохранённому файлу, его прежние подписи остаются "
             "действительными, изменения в подпись не войдут.");
  QString question = text.arg(fileName);
  if (mode == 3 && signedDocument)
    question += uiText("\n\nКопия с изменениями записывается целиком: подписи, которые уже есть в документе, в ней "
                       "станут недействительными.");
  const int answer = appPdfFileQuestion(parent, uiText("Подписание"), question,
      uiText("Подписать файл с диска"), uiText("Отмена"), uiText("Подписать с изменениями"));
  if (answer == 1) return UnsavedEdits::Sign;
  return answer == 0 ? UnsavedEdits::SignSavedFile : UnsavedEdits::Cancel;
}

QStringList bulleted(const QStringList& entries) {
  QStringList lines;
  for (const QString& entry : entries) lines << QStringLiteral("• ") + entry;
  return lines;
}

}  // namespace

QString stampedPdfPathForSignature(const QString& sourcePath, const QString& outputPath) {
  QString folder = QFileInfo(outputPath).absolutePath();
  if (folder.isEmpty() || folder == QLatin1String(".")) folder = folderBeside(sourcePath);
  if (folder.isEmpty()) folder = QDir::homePath();
  QString base = QFileInfo(sourcePath).completeBaseName().trimmed();
  if (base.isEmpty()) base = QStringLiteral("document");
  const QString marker =
      currentUiLanguageCode() == QLatin1String("ru") ? QStringLiteral("_подписан") : QStringLiteral("_signed");
  if (!base.endsWith(marker, Qt::CaseInsensitive)) base += marker;
  return folder + QLatin1Char('/') + base + QStringLiteral(".pdf");
}

SignatureResult signatureResultFromJson(const QJsonObject& object, SignatureMode requestMode) {
  SignatureResult result;
  result.ok = object.value(QLatin1String("ok")).toBool(false);
  result.error = object.value(QLatin1String("error")).toString();
  result.outputPath = object.value(QLatin1String("outputPath")).toString();
  bool numeric = false;
  const qint64 size = object.value(QLatin1String("outputSize")).toString().toLongLong(&numeric, 10);
  result.outputSize = numeric ? size : 0;
  result.documentSha256 = QByteArray::fromHex(object.value(QLatin1String("documentSha256")).toString().toLatin1());
  result.signer = object.value(QLatin1String("signer")).toString();
  result.signedAt = QDateTime::fromString(object.value(QLatin1String("signedAt")).toString(), Qt::ISODate);
  const QJsonValue mode = object.value(QLatin1String("mode"));
  result.mode = mode.isUndefined() ? requestMode : SignatureMode(mode.toInt(int(requestMode)));
  return result;
}

void SignatureDialogState::startSigningRun() {
  if (busy) return;
  QString output = outputEdit->text().trimmed();
  // Only a regular file is read: a pipe or a folder would block or mislead.
  if (sourcePath.isEmpty() || !QFileInfo(sourcePath).isFile()) {
    if (!sourcePath.isEmpty() && !(remainingFiles.isEmpty() && failedFiles.isEmpty()))
      return reportFileFailure(uiText("Подписание"), uiText("Файл не найден или не является обычным файлом."));
    appInfo(dialog, uiText("Подписание"), uiText("Выберите существующий файл для подписи."));
    return;
  }
  const int mode = currentSignatureMode();
  // A name the dialog proposed follows the file actually signed (the stamped
  // copy in mode 3); a name the user typed stays as typed.
  const bool proposedOutput = output.isEmpty() || output == proposedOutputPath();
  if (output.isEmpty()) output = SignatureService::defaultOutputPath(sourcePath, SignatureMode(mode));
  output = uniqueSiblingPathLikeChrome(output);
  outputEdit->setText(output);

  SignatureRequest request;
  request.inputPath = sourcePath;
  request.outputPath = output;
  request.mode = SignatureMode(mode);
  request.tsaUrl = tsaEdit->text().trimmed();
  if (mode == 2 && request.tsaUrl.isEmpty()) {
    appInfo(dialog, uiText("Подписание"), uiText("Для CAdES-T укажите адрес TSA-сервера."));
    return;
  }
  if (!request.tsaUrl.isEmpty()) QSettings().setValue(QStringLiteral("signing/tsaUrl"), request.tsaUrl);
  // The signing worker reads the revocation choice from the settings this
  // edition shares with it; only signing with a choice keeps it.
  if (revocationCombo) QSettings().setValue(QStringLiteral("signing/revocationMode"), revocationMode);
  request.certificatePath = certificatePathEdit->text().trimmed();
  request.privateKeyPath = privateKeyPathEdit->text().trimmed();
  request.keyPassword = keyPasswordEdit->text();
  request.pkcs12Path = pkcs12PathEdit->text().trimmed();
  request.pkcs12Password = pkcs12PasswordEdit->text();

  // The stamp and the journal name the certificate actually used, however it
  // was chosen; the key file's name only stands in when it cannot be read
  // (the worker then says why).
  SigningCertificate signer;
  if (!SignatureService::describeSigner(request, &signer))
    signer = signerRecord(certificates, request.pkcs12Path.isEmpty() ? request.certificatePath : request.pkcs12Path);

  if ((mode == 3 || mode == 4) && !isPdfSuffix(sourcePath))
    return reportFileFailure(uiText("Подписание"), mode == 4 ? uiText("Встроенную подпись можно добавить только в PDF.")
                                                             : uiText("Видимый штамп можно добавить только в PDF."));

  SignatureStampOptions stamp;
  if (mode == 3) {
    stamp.page = stampPageSpin->value() - 1;
    stamp.position = stampPositionCombo->currentData().toString();
    stamp.widthMm = stampWidthSpin->value();
    stamp.heightMm = stampHeightSpin->value();
    stamp.templateId = stampTemplateCombo->currentData().toString();
  }

  const auto isActiveSource = [this] {
    PdfDocument* active = openActiveDocument();
    if (!explicitPath.isEmpty() || !active) return false;
    const QFileInfo file(active->filePath());
    return file.exists() && file.absoluteFilePath() == QFileInfo(sourcePath).absoluteFilePath();
  };
  const bool activeSource = isActiveSource();
  // What the user sees on the page is what gets signed: block edits still
  // open (a placed facsimile, edited text) go into the document first.
  if (activeSource && link.applyPendingEdits && !link.applyPendingEdits()) return;
  bool signEdits = false;
  if (activeSource && openActiveDocument() && openActiveDocument()->isModified()) {
    const UnsavedEdits choice =
        askAboutUnsavedEdits(dialog, mode, sourceFileName, openActiveDocument()->signatureCount() > 0);
    if (choice == UnsavedEdits::Cancel) return;
    signEdits = choice == UnsavedEdits::Sign;
  }
  // A signed copy with the edits is made from the unlocked document and
  // cannot carry the file's password: the user hears so before it is written.
  // A stamped copy is locked as the source is (asked below only when it
  // cannot be).
  const auto writeWithoutPassword = [this, mode] {
    return appQuestion(dialog, uiText("Подписание"),
                       (mode == 3 ? uiText("Документ «%1» защищён паролем, а PDF со штампом будет записан без пароля: "
                                           "его нельзя защитить паролем исходного файла.")
                                  : uiText("Документ «%1» защищён паролем, а PDF со встроенной подписью будет записан "
                                           "без пароля: подпись не добавляется в зашифрованный файл."))
                           .arg(sourceFileName),
                       uiText("Записать без пароля"), uiText("Отмена"));
  };
  if (mode == 4 && signEdits && openActiveDocument() && openActiveDocument()->isEncrypted() && !writeWithoutPassword())
    return;

  auto run = std::make_shared<AsyncSignResult>();
  run->signer = signer;
  run->stamp = stamp;
  activeRun = run;
  setBusy(true, uiText("Подготавливаю документ..."));
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

  // The open document's unsaved edits are signed through a copy; the file on
  // disk is never rewritten, so the signatures it already carries stay
  // valid. The copy (in the clear for a locked document) lives in memory
  // only, reached through a link named as a PDF in a private folder: killed
  // or not, the run leaves none of its bytes on disk.
  const auto copyActiveDocument = [&](bool keepLock = false) -> QString {
    PdfDocument* active = isActiveSource() ? openActiveDocument() : nullptr;
    // Named with our pid, so that a run killed meanwhile leaves nothing the
    // next start does not remove.
    auto folder = newOwnedTemporaryFolder(kSignSourceFolderPrefix);
    auto memory = std::make_unique<MemoryOnlyFile>();
    QByteArray bytes;
    if (!active || !folder->isValid() || !active->saveCopy(&bytes, keepLock) || !memory->create(bytes, nullptr))
      return QString();
    const QString copy = folder->filePath(QStringLiteral("source.pdf"));
    if (!QFile::link(memory->path(), copy)) return QString();
    run->temporarySource = std::move(folder);
    run->sourceInMemory = std::move(memory);
    return copy;
  };

  if (mode == 4 && signEdits) {
    request.inputPath = copyActiveDocument();
    if (request.inputPath.isEmpty())
      return abortSigningRun(run, uiText("Подписание"), uiText("Не удалось сохранить текущий документ во временный PDF."));
  } else if (mode == 3) {
    // A locked document open in the window is read with its password, and
    // its copy with the edits keeps the lock.
    PdfDocument* active = activeSource ? openActiveDocument() : nullptr;
    const bool locked = active && active->isEncrypted();
    if (locked) stamp.sourcePassword = active->passwordUsed();
    // A copy with the edits is a whole rewrite: the user chose it, told
    // what becomes of the signatures.
    stamp.mayBreakSignatures = signEdits;
    QString stampSource = sourcePath;
    if (signEdits) {
      stampSource = copyActiveDocument(true);
      if (stampSource.isEmpty())
        return abortSigningRun(run, uiText("Подписание"), uiText("Не удалось сохранить текущий документ во временный PDF."));
    }
    // The stamp's digest is that of the original file as stored on disk,
    // the same in every session and in every edition.
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly))
      return abortSigningRun(run, uiText("Подписание"),
                             uiText("Не удалось прочитать PDF перед нанесением штампа: %1").arg(source.errorString()));
    const QByteArray digest = QCryptographicHash::hash(source.readAll(), QCryptographicHash::Sha256);
    source.close();
    // A second stamped signature of the same document keeps the first copy.
    const QString stamped = uniqueSiblingPathLikeChrome(stampedPdfPathForSignature(sourcePath, output));
    if (QFileInfo(stamped).absoluteFilePath() == QFileInfo(sourcePath).absoluteFilePath())
      return abortSigningRun(run, uiText("Подписание"), uiText("PDF со штампом не должен перезаписывать исходный файл."));
    QString error;
    bool signaturesWouldBreak = false;
    bool made = createStampedPdfCopy(stampSource, stamped, signer, digest, QDateTime::currentDateTime(), stamp, &error,
                                     &signaturesWouldBreak);
    // Where the signatures cannot be kept, or the lock cannot be put on the
    // copy, the user decides before the copy is written otherwise.
    if (!made && signaturesWouldBreak) {
      if (!appQuestion(dialog, uiText("Подписанный документ"),
                       uiText("Документ «%1» подписан, а штамп нельзя дописать к нему так, чтобы подписи остались "
                              "действительными (%2).\n\nВ копии со штампом подписи станут недействительными; "
                              "исходный файл не изменится.")
                           .arg(sourceFileName, error),
                       uiText("Сделать копию"), uiText("Отмена")))
        return abortSigningRun(run, QString(), QString());
      stamp.mayBreakSignatures = true;
      made = createStampedPdfCopy(stampSource, stamped, signer, digest, QDateTime::currentDateTime(), stamp, &error);
    }
    if (!made && locked && active == openActiveDocument()) {
      if (!writeWithoutPassword()) return abortSigningRun(run, QString(), QString());
      stampSource = copyActiveDocument(false);
      stamp.sourcePassword.clear();
      made = !stampSource.isEmpty() && createStampedPdfCopy(stampSource, stamped, signer, digest,
                                                            QDateTime::currentDateTime(), stamp, &error);
    }
    if (!made) return abortSigningRun(run, uiText("Подписание"), error);
    request.inputPath = stamped;
    run->stampedPdfPath = stamped;
    if (proposedOutput) {
      request.outputPath = uniqueSiblingPathLikeChrome(stamped + QStringLiteral(".sig"));
      outputEdit->setText(request.outputPath);
    }
  }

  run->request = request;
  setBusy(true, uiText("Подписываю документ..."));

  auto* process = new QProcess(dialog);
  signProcess = process;
  // Only a worker signing the copy of the open document gets its descriptor.
  const bool fromMemory =
      run->sourceInMemory && request.inputPath == run->temporarySource->filePath(QStringLiteral("source.pdf"));
  prepareSigningWorker(process, {QStringLiteral("--ulvo-sign-file"), QStringLiteral("-")},
                       QStringLiteral("ULVO_SIGN_WORKER"), fromMemory ? run->sourceInMemory->descriptor() : -1);
  QObject::connect(process, &QProcess::finished, dialog, [this, process, run](int, QProcess::ExitStatus status) {
    completeSigningRun(process, run, status == QProcess::NormalExit, process->readAllStandardOutput(),
                       process->readAllStandardError(),
                       status == QProcess::CrashExit ? crashText() : uiText("Подписание завершилось с ошибкой."));
  });
  // Qt reports a crash as a process error before the finish; it is still a
  // crash, not a failure to start.
  QObject::connect(process, &QProcess::errorOccurred, dialog, [this, process, run](QProcess::ProcessError error) {
    completeSigningRun(process, run, false, process->readAllStandardOutput(), process->readAllStandardError(),
                       error == QProcess::Crashed ? crashText()
                                                  : uiText("Не удалось запустить изолированный процесс подписания."));
  });
  startSigningWorker(process, request);
}

void SignatureDialogState::abortSigningRun(const std::shared_ptr<AsyncSignResult>& run, const QString& title,
                                           const QString& text) {
  run->removeTemporaryFiles();
  run->removeUnsignedStampedCopy();
  if (activeRun == run) activeRun.reset();
  setBusy(false, QString());
  if (!text.isEmpty()) reportFileFailure(title, text);  // a run the user cancelled says nothing
}

void SignatureDialogState::reportFileFailure(const QString& title, const QString& text) {
  // Every message that ends a run names the files left out as well.
  if (remainingFiles.isEmpty() && failedFiles.isEmpty()) {
    appInfo(dialog, title, (QStringList{text} + skippedFileLines()).join(QLatin1Char('\n')));
    return;
  }
  // In a batch the failing file is named with its reason, and the files
  // after it can still be signed, whatever its place in the list and
  // whether it failed before or in the worker.
  failedFiles << QStringLiteral("%1 — %2").arg(sourceFileName, text);
  if (remainingFiles.isEmpty()) {
    appInfo(dialog, title,
            (QStringList{uiText("Не удалось подписать:")} + bulleted(failedFiles) + skippedFileLines())
                .join(QLatin1Char('\n')));
    failedFiles.clear();
    return;
  }
  if (!appQuestion(dialog, title,
                   uiText("Не удалось подписать «%1»: %2\n\nПропустить этот файл и подписать остальные (%3)?")
                       .arg(sourceFileName, text, QString::number(remainingFiles.size())),
                   uiText("Пропустить"), uiText("Отмена"))) {
    failedFiles.clear();
    return;
  }
  explicitPath = sourcePath = remainingFiles.takeFirst();
  sourceFileName = QFileInfo(sourcePath).fileName();
  subtitleLabel->setToolTip(plainToolTip(sourceFileName));
  if (batchHint) batchHint->setText(batchHintText());
  refreshOutputPath();
  applyModeVisibility();
  QTimer::singleShot(0, dialog, [this] { startSigningRun(); });
}

QStringList SignatureDialogState::skippedFileLines() const {
  if (skippedFiles.isEmpty()) return {};
  QStringList lines{uiText("Пропущены файлы, которые не похожи на PDF по содержимому:")};
  for (const QString& file : skippedFiles) lines << QStringLiteral("• ") + QFileInfo(file).fileName();
  return lines;
}

void SignatureDialogState::completeSigningRun(QProcess* process, const std::shared_ptr<AsyncSignResult>& run,
                                              bool normalExit, const QByteArray& standardOutput,
                                              const QByteArray& standardError, const QString& fallbackText) {
  if (!process || process->property(kDone).toBool()) return;
  process->setProperty(kDone, true);
  run->removeTemporaryFiles();
  if (activeRun == run) activeRun.reset();
  if (signProcess == process) signProcess = nullptr;

  const QJsonDocument document = QJsonDocument::fromJson(standardOutput.trimmed());
  if (normalExit && document.isObject()) {
    run->result = signatureResultFromJson(document.object(), run->request.mode);
    if (!run->result.ok) {
      run->errorTitle = uiText("Ошибка подписи");
      run->errorText = run->result.error.isEmpty() ? fallbackText : run->result.error;
    }
  } else {
    run->errorTitle = uiText("Ошибка подписи");
    run->errorText = QString::fromUtf8(standardError).trimmed();
    if (run->errorText.isEmpty()) run->errorText = fallbackText;
  }
  if (!run->errorText.isEmpty()) run->removeUnsignedStampedCopy();
  // A worker that still runs after reporting an error is not left behind.
  if (process->state() != QProcess::NotRunning) process->kill();
  process->deleteLater();

  if (!dialog) return;
  setBusy(false, QString());
  if (!run->errorText.isEmpty())
    return reportFileFailure(run->errorTitle.isEmpty() ? uiText("Подписание") : run->errorTitle, run->errorText);

  const SignatureResult& result = run->result;
  appendSignatureJournalRecord(run->request, result, run->signer);
  outputEdit->setText(result.outputPath);
  if (link.window && link.showStatus)
    link.showStatus(uiText("Подпись сохранена: %1").arg(QFileInfo(result.outputPath).fileName()));

  QStringList lines{uiText("Подписан: %1").arg(QFileInfo(sourcePath).fileName()),
                    uiText("Файл подписи: %1").arg(result.outputPath)};
  if (!run->stampedPdfPath.isEmpty()) lines << uiText("PDF со штампом: %1").arg(run->stampedPdfPath);
  QStringList toOpen{run->stampedPdfPath.isEmpty() ? result.outputPath : run->stampedPdfPath};
  signRemainingFiles(*run, &lines, &toOpen);
  if (!failedFiles.isEmpty()) lines << uiText("Не удалось подписать:") << bulleted(failedFiles);
  failedFiles.clear();
  lines << skippedFileLines();
  lines << QString() << uiText("SHA-256 первого подписанного файла: %1").arg(QString::fromLatin1(result.documentSha256.toHex()));
  appInfo(dialog, uiText("Подпись создана"), lines.join(QLatin1Char('\n')));

  const bool openResult = fromShellAction ? (openResultCheck && openResultCheck->isChecked())
                                          : !run->stampedPdfPath.isEmpty();
  if (openResult && link.window && !toOpen.first().isEmpty()) {
    const QString first = toOpen.first();
    if (isPdfSuffix(first)) {
      if (link.openFile) link.openFile(first);
      if (fromShellAction && link.window) {
        link.window->show();
        link.window->raise();
        link.window->activateWindow();
      }
    } else {
      QDesktopServices::openUrl(QUrl::fromLocalFile(first));
    }
  }
  if (dialog) dialog->accept();
}

void SignatureDialogState::stopWorkers() {
  for (QPointer<QProcess>* slot : {&searchProcess, &signProcess}) {
    QProcess* process = *slot;
    if (!process) continue;
    process->setProperty(kDone, true);
    QObject::disconnect(process, nullptr, nullptr, nullptr);
    if (process->state() != QProcess::NotRunning) {
      process->kill();
      process->waitForFinished(5000);
    }
    *slot = nullptr;
  }
  if (activeRun) activeRun->removeTemporaryFiles();
  activeRun.reset();
}
