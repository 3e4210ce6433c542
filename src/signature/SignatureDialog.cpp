// The signature dialog as the user meets it: choosing the file, the widgets,
// the shared operations of its state and its busy state.
#include "SignatureDialogState.h"

#include "SignatureStampRendering.h"
#include "SignatureStampStorage.h"
#include "SignatureTexts.h"
#include "core/MemoryOnlyFile.h"
#include "core/OpensslChainCheck.h"
#include "core/OwnedTemporaryFolder.h"
#include "core/PdfDocument.h"
#include "core/SignatureChildProcess.h"
#include "core/SignatureRequestFile.h"
#include "core/SignatureService.h"
#include "ui/BusyRing.h"
#include "ui/DialogHelpers.h"
#include "ui/UniqueSiblingPath.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProcessEnvironment>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QString programOverride;

bool isExistingFile(const QString& path) { return !path.trimmed().isEmpty() && QFileInfo(path).isFile(); }

}  // namespace

QString signingWorkerProgram() {
  return programOverride.isEmpty() ? QCoreApplication::applicationFilePath() : programOverride;
}

void setSigningWorkerProgram(const QString& program) { programOverride = program; }

void prepareSigningWorker(QProcess* process, const QStringList& arguments, const QString& environmentFlag,
                          int inheritedDescriptor) {
  process->setProgram(signingWorkerProgram());
  QStringList all = arguments;
  // The worker reads and remembers the key files in this edition's settings,
  // not in the editor's.
  const QString application = QCoreApplication::applicationName();
  if (application == QLatin1String("ulvo-ecp")) all << QStringLiteral("--ulvo-product=ecp");
  else if (application == QLatin1String("ulvo-pdf-viewer")) all << QStringLiteral("--ulvo-product=viewer");
  process->setArguments(all);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(environmentFlag, QStringLiteral("1"));
  // Only a dialog decides this for its worker (startCertificateSearch).
  environment.remove(QString::fromLatin1(kRevocationModeVariable));
  process->setProcessEnvironment(environment);
  process->setProcessChannelMode(QProcess::SeparateChannels);
  tieChildToThisProcess(process, inheritedDescriptor);
}

void startSigningWorker(QProcess* process, const SignatureRequest& request) {
  // The passwords go through the pipe, so no file ever holds them. The
  // worker reads to the end: the few kilobytes fit the pipe at once, and the
  // pipe is closed before anything else can run.
  process->start(QIODevice::ReadWrite);
  if (!process->waitForStarted(30000)) return;  // its error is reported as any failure to start
  process->write(SignatureRequestFile::toBytes(request));
  process->waitForBytesWritten(30000);
  process->closeWriteChannel();
}

void SignatureDialogWindow::reject() {
  if (isBusy && isBusy()) return;
  QDialog::reject();
}

AsyncSignResult::AsyncSignResult() = default;
AsyncSignResult::~AsyncSignResult() = default;

void AsyncSignResult::removeTemporaryFiles() {
  temporarySource.reset();
  sourceInMemory.reset();
}

void AsyncSignResult::removeUnsignedStampedCopy() {
  if (!stampedPdfPath.isEmpty()) QFile::remove(stampedPdfPath);
  stampedPdfPath.clear();
}

SignatureDialogState::~SignatureDialogState() { stopWorkers(); }

QStringList uniqueExistingPaths(const QStringList& paths) {
  QStringList result;
  for (const QString& path : paths) {
    const QFileInfo info(path);
    const QString cleaned = (info.exists() ? info.absoluteFilePath() : path).trimmed();
    if (!cleaned.isEmpty() && !result.contains(cleaned)) result << cleaned;
  }
  return result;
}

PdfDocument* SignatureDialogState::openActiveDocument() const {
  if (!link.window || !link.activeDocument) return nullptr;
  PdfDocument* document = link.activeDocument();
  return document && document->isOpen() ? document : nullptr;
}

int SignatureDialogState::currentSignatureMode() const {
  bool ok = false;
  const int mode = modeCombo ? modeCombo->currentData().toInt(&ok) : 0;
  return ok ? mode : 0;
}

int SignatureDialogState::stampPageCount() const {
  const QFileInfo source(sourcePath);
  if (!source.exists()) return 1;
  if (PdfDocument* active = openActiveDocument();
      active && QFileInfo(active->filePath()).absoluteFilePath() == source.absoluteFilePath())
    return std::max(1, active->pageCount());
  if (source.suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) != 0) return 1;
  PdfDocument probe;
  return probe.open(sourcePath) ? std::max(1, probe.pageCount()) : 1;
}

QString SignatureDialogState::proposedOutputPath() const {
  const SignatureMode mode = SignatureMode(currentSignatureMode());
  // The detached signature of the stamped copy is named after that copy, the
  // file it signs.
  if (mode == SignatureMode::StampedPdfDetached && !sourcePath.isEmpty())
    return uniqueSiblingPathLikeChrome(
        uniqueSiblingPathLikeChrome(stampedPdfPathForSignature(sourcePath, sourcePath)) + QStringLiteral(".sig"));
  return uniqueSiblingPathLikeChrome(SignatureService::defaultOutputPath(sourcePath, mode));
}

void SignatureDialogState::refreshOutputPath() {
  if (!sourcePath.isEmpty()) outputEdit->setText(proposedOutputPath());
}

void SignatureDialogState::applyModeVisibility() {
  const int mode = currentSignatureMode();
  tsaGroup->setVisible(mode == 2);
  tsaGroup->setEnabled(mode == 2);
  stampGroup->setVisible(mode == 3);
  stampGroup->setEnabled(mode == 3);
  if (mode == 3) {
    const int count = stampPageCount();
    stampPageSpin->setRange(1, count);
    stampPageSpin->setValue(std::max(std::min(stampPageSpin->value(), count), 1));
  }
}

void SignatureDialogState::reloadStampTemplates(const QString& selectId) {
  QString wanted = selectId.trimmed();
  if (wanted.isEmpty()) wanted = stampTemplateCombo->currentData().toString();
  QStringList problems;
  const QList<SignatureStampTemplate> templates = loadSignatureStampTemplates(&problems);
  {
    const QSignalBlocker blocker(stampTemplateCombo);
    stampTemplateCombo->clear();
    int index = 0;
    for (const SignatureStampTemplate& stamp : templates) {
      stampTemplateCombo->addItem(QIcon(stampTemplatePreviewPixmap(stamp, QSize(150, 60), -1)),
                                  stampTemplateDisplayName(stamp), stamp.id);
      if (stamp.id == wanted) index = stampTemplateCombo->count() - 1;
    }
    stampTemplateCombo->setCurrentIndex(std::clamp(index, 0, stampTemplateCombo->count() - 1));
  }
  // Reported after the dialog is up, so the message has its parent on screen.
  if (!problems.isEmpty())
    QTimer::singleShot(0, dialog, [this, text = problems.join(QLatin1Char('\n'))] {
      if (dialog) appInfo(dialog, uiText("Шаблоны штампа"), text);
    });
}

void SignatureDialogState::setBusy(bool on, const QString& text) {
  busy = on;
  const int mode = currentSignatureMode();
  for (QWidget* widget : std::initializer_list<QWidget*>{fileGroup, certificateGroup, modeGroup, diagnosticsButton,
                                                          cancelButton, signButton, refreshCertificatesButton,
                                                          certificateFilterEdit, showUnavailableCheck})
    widget->setEnabled(!on);
  tsaGroup->setEnabled(!on && mode == 2);
  stampGroup->setEnabled(!on && mode == 3);
  if (on) {
    overlayLabel->setText(text.isEmpty() ? uiText("Подписываю документ...") : text);
    busyOverlay->setGeometry(10, 10, dialog->width() - 20, dialog->height() - 20);
    busyOverlay->raise();
    busyOverlay->show();
    overlayRing->start(45);
  } else {
    overlayRing->stop();
    busyOverlay->hide();
    applyModeVisibility();
  }
}

void runSignatureDialog(const SignatureWindowLink& link, bool fromShellAction, const QStringList& batchFiles,
                        const QStringList& skippedFiles, const QString& path) {
  QWidget* parent = link.window;
  if (!link.allowSignatures) {
    appInfo(parent, uiText("Подписание документа"), uiText("Подписание ЭЦП недоступно в этой версии программы."));
    return;
  }
  SignatureDialogState state;
  state.link = link;
  state.fromShellAction = fromShellAction;
  if (isExistingFile(path)) {
    state.explicitPath = state.sourcePath = QFileInfo(path).absoluteFilePath();
  } else {
    PdfDocument* active = state.openActiveDocument();
    if (!active || active->filePath().trimmed().isEmpty()) {
      appInfo(parent, uiText("Подписание документа"), uiText("Откройте документ, который нужно подписать."));
      return;
    }
    state.sourcePath = QFileInfo(active->filePath()).absoluteFilePath();
  }
  state.sourceFileName = QFileInfo(state.sourcePath).fileName();

  for (const QString& file : batchFiles)
    if (isExistingFile(file) && !state.signingFiles.contains(QFileInfo(file).absoluteFilePath()))
      state.signingFiles << QFileInfo(file).absoluteFilePath();
  if (!state.signingFiles.contains(state.sourcePath)) state.signingFiles.prepend(state.sourcePath);
  for (const QString& file : state.signingFiles)
    if (QFileInfo(file).absoluteFilePath() != state.sourcePath) state.remainingFiles << file;
  state.skippedFiles = uniqueExistingPaths(skippedFiles);
  state.revocationMode = QSettings().value(QStringLiteral("signing/revocationMode"), QStringLiteral("sign")).toString();

  SignatureDialogWindow dialog(parent);
  state.dialog = &dialog;
  state.build();
  state.startCertificateSearch();
  state.refreshOutputPath();
  state.applyModeVisibility();
  dialog.exec();
  state.stopWorkers();
}
