// The scan tab at work: devices, resolutions, preview and scan runs on the
// worker thread, the native scan and the live camera preview.
#include "ScanTab.h"

#include "ScanBackend.h"
#include "ScanPostProcess.h"
#include "ScanWorker.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QThread>
#include <QTimer>
#include <QToolButton>

ScanParams ScanTab::currentParams() const {
  ScanParams params;
  params.dpi = resolutionCombo->currentData().toInt();
  if (params.dpi < 1) params.dpi = 300;
  params.colorMode = modeCombo->currentIndex();
  params.brightness = brightnessSlider->value();
  params.pageSize = paperCombo->currentText();
  params.landscape = orientationCombo->currentIndex() == 1;
  params.adf = adfBox->isChecked();
  params.duplex = duplexBox->isChecked();
  params.delayMs = delaySpin->value() * 1000;
  params.geomCorr = geomCorrBox->isChecked();
  params.perspCorr = perspCorrBox->isChecked();
  params.skew = skewBox->isChecked();
  params.structural = structuralBox->isChecked();
  params.noiseRemove = noiseRemoveBox->isChecked();
  params.autoBright = autoBrightBox->isChecked();
  params.autoContrast = autoContrastBox->isChecked();
  params.whiteBalance = whiteBalanceBox->isChecked();
  params.denoise = denoiseBox->isChecked();
  params.sharpen = sharpenBox->isChecked();
  params.textEnhance = textEnhanceBox->isChecked();
  return params;
}

void ScanTab::setStatus(const QString& text) { statusLabel->setText(text); }

void ScanTab::populateResolutions(const QList<int>& values) {
  const bool camera = backend && backend->isCameraDevice();
  const QString remembered = resolutionCombo->currentText();
  const QSignalBlocker blocker(resolutionCombo);
  resolutionCombo->clear();
  for (int value : values)
    resolutionCombo->addItem((camera ? QStringLiteral("%1p") : QStringLiteral("%1 dpi")).arg(value), value);
  int index = resolutionCombo->findText(remembered, Qt::MatchFixedString);
  if (index < 0)
    index = resolutionCombo->findText(camera ? QStringLiteral("720p") : QStringLiteral("300 dpi"), Qt::MatchFixedString);
  if (index < 0) index = 0;
  resolutionCombo->setCurrentIndex(index);
}

void ScanTab::setControlsEnabled(bool enabled) {
  for (QWidget* control : std::initializer_list<QWidget*>{previewButton, scanButton, deviceCombo, resolutionCombo,
                                                          modeCombo, brightnessSlider})
    control->setEnabled(enabled);
}

void ScanTab::onScanProgress(int percent) { progressBar->setValue(percent); }

void ScanTab::setPreviewImage(const QImage& image) {
  if (image.isNull()) {
    previewLabel->setText(QStringLiteral("Ошибка предпросмотра"));
    return;
  }
  const QSize area = previewLabel->parentWidget() ? previewLabel->parentWidget()->size() : QSize(300, 180);
  const QPixmap pixmap =
      QPixmap::fromImage(image).scaled(area, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  previewLabel->setPixmap(pixmap);
  previewLabel->resize(pixmap.size());
}

void ScanTab::onRefreshDevices() {
  // The worker uses the open device: reopening it under a scan is not allowed.
  if (busy) return;
  stopLivePreview();
  {
    const QSignalBlocker blocker(deviceCombo);
    deviceCombo->clear();
    if (!backend) return;
    const QList<ScanDevice> devices = backend->enumerateDevices();
    for (const ScanDevice& device : devices)
      deviceCombo->addItem(device.vendor.isEmpty() ? device.model : device.vendor + QLatin1Char(' ') + device.model,
                           device.name);
    deviceCombo->setEnabled(!devices.isEmpty());
    if (devices.isEmpty()) {
      deviceCombo->addItem(QStringLiteral("Нет доступных устройств"));
      setStatus(QStringLiteral("Сканер не обнаружен"));
    }
  }
  onDeviceSelected(0);
}

void ScanTab::onDeviceSelected(int index) {
  if (busy) return;
  stopLivePreview();
  if (!backend || index < 0 || deviceCombo->count() == 0) return;
  const QString id = deviceCombo->itemData(index).toString();
  if (id.isEmpty()) return;
  if (!backend->openDevice(id)) {
    setStatus(tr("Ошибка открытия: ") + backend->lastError());
    return;
  }
  populateResolutions(backend->supportedResolutions());
  const bool camera = backend->isCameraDevice();
  for (QWidget* control : std::initializer_list<QWidget*>{paperCombo, orientationCombo}) control->setEnabled(!camera);
  updateFeederControls();
  {
    const QSignalBlocker blocker(interfaceCombo);
    interfaceCombo->clear();
    if (!camera)
      interfaceCombo->addItem(QStringLiteral("SANE (Linux)"), QStringLiteral("sane"));
    else if (id.startsWith(QLatin1String("vfw:")))
      interfaceCombo->addItem(QStringLiteral("Камера (VFW)"), QStringLiteral("vfw"));
    else
      interfaceCombo->addItem(QStringLiteral("Камера (MF)"), QStringLiteral("mf"));
    const QString stored = QSettings().value(QStringLiteral("scan/interface_id"), QStringLiteral("wia")).toString();
    interfaceCombo->setCurrentIndex(std::max(0, interfaceCombo->findData(stored, Qt::UserRole, Qt::MatchFixedString)));
  }
  setStatus(tr("Устройство: %1").arg(deviceCombo->itemText(index)));
  if (backend->hasLivePreview()) startLivePreview();
}

void ScanTab::updateFeederControls() {
  const bool camera = backend && backend->isCameraDevice();
  const bool feeder = !camera && backend && backend->offersFeeder();
  const bool duplex = !camera && backend && backend->offersDuplex();
  adfBox->setEnabled(feeder);
  duplexBox->setEnabled(duplex);
  adfBox->setToolTip(feeder ? QString() : QStringLiteral("У устройства нет автоподатчика"));
  duplexBox->setToolTip(duplex ? QString() : QStringLiteral("Устройство не сканирует обе стороны листа"));
}

void ScanTab::onInterfaceChanged(int) { saveSettings(); }

void ScanTab::onPreviewClicked() {
  if (busy || !backend) return;
  if (!backend->isDeviceOpen()) {
    setStatus(QStringLiteral("Выберите устройство"));
    return;
  }
  saveSettings();
  startWorker(true);
}

void ScanTab::onScanClicked() {
  if (busy || !backend) return;
  if (!backend->isDeviceOpen()) {
    setStatus(QStringLiteral("Выберите устройство"));
    return;
  }
  saveSettings();
  if (interfaceCombo->currentData().toString() == QLatin1String("native"))
    startNativeScan();
  else
    startWorker(false);
}

void ScanTab::finishThread() {
  if (!workerThread) return;
  workerThread->quit();
  // The previous run has delivered its result; its thread is only winding down.
  workerThread->wait();
  delete workerThread;
  workerThread = nullptr;
  worker = nullptr;
}

void ScanTab::startWorker(bool preview) {
  busy = true;
  cancelRequested = false;
  backend->clearCancel();
  cancelButton->setEnabled(true);
  cancelButton->show();
  progressBar->setValue(0);
  progressBar->show();
  setControlsEnabled(false);
  setStatus(preview ? QStringLiteral("Предпросмотр...") : QStringLiteral("Сканирование..."));

  finishThread();
  worker = new ScanWorker;
  worker->backend = backend.get();
  worker->params = currentParams();
  worker->preview = preview;
  workerThread = new QThread(this);
  worker->moveToThread(workerThread);
  connect(workerThread, &QThread::started, worker, &ScanWorker::run);
  connect(worker, &ScanWorker::pageReady, this, &ScanTab::onWorkerPage);
  connect(worker, &ScanWorker::finished, this, &ScanTab::onWorkerFinished);
  connect(worker, &ScanWorker::error, this, &ScanTab::onWorkerError);
  connect(worker, &ScanWorker::progress, this, &ScanTab::onScanProgress);
  connect(worker, &ScanWorker::finished, workerThread, &QThread::quit);
  connect(worker, &ScanWorker::error, workerThread, &QThread::quit);
  connect(workerThread, &QThread::finished, worker, &QObject::deleteLater);
  workerThread->start();
}

void ScanTab::endRun() {
  busy = false;
  progressBar->hide();
  cancelButton->hide();
  setControlsEnabled(true);
}

void ScanTab::onCancelClicked() {
  if (!busy || cancelRequested) return;
  cancelRequested = true;
  if (backend) backend->cancelScan();
  cancelButton->setEnabled(false);
  setStatus(QStringLiteral("Отмена сканирования..."));
}

void ScanTab::onWorkerPage(QImage image) {
  // A cancelled run adds nothing more, not even a page already on its way.
  if (cancelRequested) return;
  setPreviewImage(image);
  emit pageScanned(image);
}

void ScanTab::onWorkerFinished(QImage image, bool isPreview) {
  endRun();
  if (cancelRequested) {
    setStatus(QStringLiteral("Сканирование отменено"));
    return;
  }
  if (!image.isNull()) setPreviewImage(image);
  if (isPreview) {
    setStatus(QStringLiteral("Предпросмотр готов"));
    return;
  }
  setStatus(QStringLiteral("Сканирование завершено"));
  // A feeder run has delivered its pages one by one.
  if (!image.isNull()) emit pageScanned(image);
}

void ScanTab::onWorkerError(QString message) {
  endRun();
  setStatus(cancelRequested ? QStringLiteral("Сканирование отменено") : tr("Ошибка: ") + message);
}

void ScanTab::startNativeScan() {
  if (liveTimer) liveTimer->stop();
  busy = true;
  setControlsEnabled(false);
  setStatus(QStringLiteral("Ожидание сканирования..."));
  progressBar->setValue(10);
  progressBar->show();
  const QImage image = backend->doNativeScan(quint64(winId()));
  busy = false;
  progressBar->hide();
  setControlsEnabled(true);
  if (liveTimer) liveTimer->start();
  if (image.isNull()) {
    const QString error = backend->lastError();
    setStatus(error.isEmpty() ? QStringLiteral("Отменено") : tr("Ошибка: ") + error);
    return;
  }
  setPreviewImage(image);
  setStatus(QStringLiteral("Сканирование завершено"));
  emit pageScanned(image);
}

void ScanTab::startLivePreview() {
  stopLivePreview();
  if (!backend || !backend->hasLivePreview()) return;
  if (!backend->startLivePreview()) {
    previewLabel->setText(QStringLiteral("Не удалось запустить камеру"));
    return;
  }
  previewLabel->setText(QStringLiteral("Инициализация камеры..."));
  liveTimer = new QTimer(this);
  liveTimer->setInterval(100);
  connect(liveTimer, &QTimer::timeout, this, [this] {
    if (busy) return;
    const QImage frame = backend->grabLiveFrame();
    if (!frame.isNull()) setPreviewImage(applyCameraParams(frame, currentParams()));
  });
  liveTimer->start();
}

void ScanTab::stopLivePreview() {
  if (liveTimer) {
    liveTimer->stop();
    liveTimer->deleteLater();
    liveTimer = nullptr;
  }
  if (backend) backend->stopLivePreview();
}
