// The target-size fit of the compressed export: a copy of the document in
// memory only, reached through a link in a private folder, the fit worker as a
// child process, its forecasts cached in the dialog. The child never outlives
// the dialog, and the copy is gone on every ending.
#include "CompressedExportDialog.h"

#include "CompressionStages.h"
#include "core/MemoryOnlyFile.h"
#include "core/OwnedLeftovers.h"
#include "core/OwnedTemporaryFolder.h"
#include "core/SignatureChildProcess.h"
#include "ui/BusyRing.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QDateTime>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

namespace {

QString& fitProgramOverride() {
  static QString program;
  return program;
}

PdfDocument::CompressionOptions optionsFromJson(const QJsonValue& value) {
  const QJsonObject json = value.toObject();
  const auto integer = [&json](const char* key, int fallback) {
    const QJsonValue field = json.value(QLatin1String(key));
    return field.isDouble() ? field.toInt(fallback) : fallback;
  };
  const auto flag = [&json](const char* key, bool fallback) {
    const QJsonValue field = json.value(QLatin1String(key));
    return field.isBool() ? field.toBool() : fallback;
  };
  PdfDocument::CompressionOptions options;
  options.imageDpi = integer("imageDpi", 150);
  options.jpegQuality = integer("jpegQuality", 55);
  options.grayscale = flag("grayscale", false);
  options.recompressSmallImages = flag("recompressSmallImages", true);
  options.rasterizePages = flag("rasterizePages", true);
  options.monochrome = flag("monochrome", false);
  return options;
}

qint64 bytesOf(const QJsonValue& value) {
  bool converted = false;
  const qint64 bytes = value.toString().toLongLong(&converted, 10);
  return converted ? bytes : 0;
}

}  // namespace

void CompressedExportDialog::setFitProgramForTest(const QString& program) { fitProgramOverride() = program; }

QList<QWidget*> CompressedExportDialog::fitControls() const {
  return {fitButton,    estimateButton, saveDefaultsButton, saveButton,     cancelButton, outputPathEdit,
          browseButton, targetSizeSpin, stageSlider,        advancedToggle, advancedGroup};
}

void CompressedExportDialog::setFitControlsEnabled(bool enabled) {
  for (QWidget* control : fitControls())
    if (control) control->setEnabled(enabled);
}

void CompressedExportDialog::showBusyOverlay() {
  busyOverlay->setGeometry(rect().adjusted(10, 10, -10, -10));
  busyLabel->setText(uiTranslate(QStringLiteral("Анализ документа...")));
  busyOverlay->raise();
  busyOverlay->show();
  busyRing->start(45);
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CompressedExportDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  // The overlay keeps covering the controls it stands for while the fit runs.
  if (busyOverlay && busyOverlay->isVisible()) busyOverlay->setGeometry(rect().adjusted(10, 10, -10, -10));
}

bool CompressedExportDialog::event(QEvent* event) {
  const bool handled = QDialog::event(event);
  // A level's description or a forecast can need more lines in one language
  // than the window has room for: the window grows rather than squeeze them,
  // as far as its screen allows; beyond, its controls scroll.
  if (event->type() == QEvent::LayoutRequest) fitHeightToContent();
  return handled;
}

void CompressedExportDialog::hideBusyOverlay() {
  busyRing->stop();
  busyOverlay->hide();
}

void CompressedExportDialog::startTargetFit(bool userInitiated) {
  if (fitProcess) return;
  fitByUser = userInitiated;
  if (userInitiated && applyBestCachedFit(true)) return;
  const qint64 limit = targetBytes();

  setFitControlsEnabled(false);
  estimateLabel->setText(uiTranslate(QStringLiteral("Подбираю настройки под лимит %1 МБ...")).arg(targetText()));
  showBusyOverlay();

  // The copy holds the user's document, in the clear when it is locked: its
  // bytes stay in memory, and only a link to them lies in a private folder,
  // owner-only and unpredictably named. The folder's name carries our process
  // id, so a later fit removes the folders of programs killed before they could.
  removeFitCopy();
  removeStaleOwnedFolders(QDir::tempPath(), QLatin1String(kFitCopyFolderPrefix));
  fitCopyFolder = newOwnedTemporaryFolder(kFitCopyFolderPrefix);
  fitCopyInMemory = std::make_unique<MemoryOnlyFile>();
  const QString copy = fitCopyFolder->isValid()
                           ? fitCopyFolder->filePath(QStringLiteral("ulvo_pdf_compress_estimate_%1_%2.pdf")
                                                         .arg(QCoreApplication::applicationPid())
                                                         .arg(QDateTime::currentMSecsSinceEpoch()))
                           : QString();
  QByteArray bytes;
  if (copy.isEmpty() || !document->saveCopy(&bytes) || !fitCopyInMemory->create(bytes, nullptr) ||
      !QFile::link(fitCopyInMemory->path(), copy)) {
    removeFitCopy();
    hideBusyOverlay();
    setFitControlsEnabled(true);
    estimateLabel->setText(uiTranslate(QStringLiteral("Не удалось подготовить документ для подбора.")));
    return;
  }

  auto* process = new QProcess(this);
  fitProcess = process;
  process->setProgram(fitProgramOverride().isEmpty() ? QCoreApplication::applicationFilePath() : fitProgramOverride());
  process->setArguments({QStringLiteral("--ulvo-compression-fit"), copy, QString::number(limit)});
  process->setProcessChannelMode(QProcess::SeparateChannels);
  // The fit dies with the program, even a killed one, and its estimate
  // workers with it; only it gets the copy's descriptor.
  tieChildToThisProcess(process, fitCopyInMemory->descriptor());
  connect(process, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
    onFitFinished(exitCode, status == QProcess::NormalExit);
  });
  connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
    // A crash is followed by "finished", which then speaks for it.
    if (error == QProcess::FailedToStart) onFitStartFailed();
  });
  process->start(QIODevice::ReadWrite);
}

void CompressedExportDialog::onFitStartFailed() {
  hideBusyOverlay();
  setFitControlsEnabled(true);
  endFitProcess();
  estimateLabel->setText(uiTranslate(QStringLiteral("Не удалось запустить процесс подбора.")));
}

void CompressedExportDialog::endFitProcess() {
  removeFitCopy();
  if (fitProcess) {
    fitProcess->disconnect(this);
    fitProcess->deleteLater();
    fitProcess = nullptr;
  }
}

void CompressedExportDialog::removeFitCopy() {
  fitCopyFolder.reset();
  fitCopyInMemory.reset();
}

void CompressedExportDialog::onFitFinished(int exitCode, bool normalExit) {
  if (!fitProcess) return;
  const QByteArray out = fitProcess->readAllStandardOutput();
  const QByteArray err = fitProcess->readAllStandardError();
  endFitProcess();
  setFitControlsEnabled(true);
  hideBusyOverlay();

  if (exitCode != 0 || !normalExit) {
    QString reason = QString::fromUtf8(err).trimmed();
    if (reason.isEmpty()) reason = QStringLiteral("процесс подбора завершился с ошибкой");
    estimateLabel->setText(uiTranslate(QStringLiteral("Не удалось подобрать настройки: %1")).arg(reason));
    return;
  }
  const QJsonDocument reply = QJsonDocument::fromJson(out.trimmed());
  const QJsonObject json = reply.object();
  if (!reply.isObject() || !json.value(QStringLiteral("ok")).toBool()) {
    QString reason = json.value(QStringLiteral("error")).toString();
    if (reason.isEmpty()) reason = QStringLiteral("некорректный ответ процесса подбора");
    estimateLabel->setText(uiTranslate(QStringLiteral("Не удалось подобрать настройки: %1")).arg(reason));
    return;
  }

  estimateCache.clear();
  for (const QJsonValue& value : json.value(QStringLiteral("estimates")).toArray()) {
    const QJsonObject row = value.toObject();
    CachedCompressionEstimate entry;
    entry.label = row.value(QStringLiteral("label")).toString();
    entry.bytes = bytesOf(row.value(QStringLiteral("bytes")));
    entry.sampled = row.value(QStringLiteral("sampled")).toBool();
    entry.options = optionsFromJson(row.value(QStringLiteral("options")));
    if (entry.label.trimmed().isEmpty() || entry.bytes < 1) continue;
    estimateCache.append(entry);
  }
  fitResultsReady = !estimateCache.isEmpty();

  const auto rememberTarget = [this] {
    QSettings().setValue(QStringLiteral("export/compressedPdf/targetMb"), targetSizeSpin->value());
  };
  // The forecasts are kept, but the opening fit never swaps a text
  // document's object-keeping options for a stage that rasterises it.
  if (keepTextLayer && !fitByUser && !currentOptions().rasterizePages) {
    estimateLabel->setText(uiTranslate(QStringLiteral(
        "В документе есть текст: выбран режим, который сохраняет его. «Подобрать» выберет уровень под лимит.")));
    return;
  }
  if (!estimateCache.isEmpty() && applyBestCachedFit(false)) {
    rememberTarget();
    return;
  }

  const PdfDocument::CompressionOptions options = optionsFromJson(json.value(QStringLiteral("options")));
  // The worker names its rows by their Russian sources; shown in the
  // interface language like every other text.
  const QString label = uiTranslate(json.value(QStringLiteral("label")).toString());
  const qint64 bytes = bytesOf(json.value(QStringLiteral("bytes")));
  const bool sampled = json.value(QStringLiteral("sampled")).toBool();
  const bool matched = json.value(QStringLiteral("matchedTarget")).toBool();
  if (bytes < 1) {
    estimateLabel->setText(
        uiTranslate(QStringLiteral("Не удалось подобрать настройки: некорректный размер результата.")));
    return;
  }
  {
    const QSignalBlocker blocker(stageSlider);
    stageSlider->setValue(stageForOptions(options));
  }
  applyOptionsToControls(options);
  showStageOrCustom(options);
  refreshAdvancedHints();

  const QString note = sampled ? uiTranslate(QStringLiteral(" (по выборке страниц)")) : QString();
  QStringList lines;
  if (matched) {
    lines << uiTranslate(QStringLiteral("Подобрано под лимит %1 МБ: %2.")).arg(targetText(), label)
          << uiTranslate(QStringLiteral("Прогноз итогового размера: около %1%2.")).arg(formatFileSize(bytes), note);
  } else {
    lines << uiTranslate(QStringLiteral("Даже самый жёсткий режим не укладывается в %1 МБ.")).arg(targetText())
          << uiTranslate(QStringLiteral("Выбран минимальный найденный вариант: %1, около %2%3."))
                 .arg(label, formatFileSize(bytes), note);
  }
  if (options.monochrome)
    lines << uiTranslate(QStringLiteral("Внимание: выбран монохромный режим, цвет будет удалён."));
  else if (options.imageDpi <= 80 || options.jpegQuality <= 25)
    lines << uiTranslate(QStringLiteral("Внимание: качество будет заметно снижено ради размера."));
  const QString larger = largerThanOriginalLine(bytes);
  if (!larger.isEmpty()) lines << larger;
  estimateLabel->setText(lines.join(QLatin1Char('\n')));
  rememberTarget();
}

CompressedExportDialog::~CompressedExportDialog() {
  // Closing the dialog abandons the fit: its child (and with it the child's
  // own estimate workers) ends here, and the copy goes with the folder.
  if (fitProcess) {
    QProcess* process = fitProcess;
    process->disconnect(this);
    process->kill();
    process->waitForFinished(3000);
    delete process;
  }
  removeFitCopy();
}
