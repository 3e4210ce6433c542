#pragma once
// The scanning panel: device and post-processing settings, scan options, a
// preview, progress and the "Предпросмотр" and "Сканировать" buttons. It owns
// the backend for its whole life, runs one ScanWorker per preview or scan,
// keeps its choices under "scan/" and emits every finished scan.

#include "ScanParams.h"

#include <QImage>
#include <QList>
#include <QWidget>

#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;
class QSpinBox;
class QThread;
class QTimer;
class QToolButton;
class ScanBackend;
class ScanWorker;

class ScanTab : public QWidget {
  Q_OBJECT

 public:
  explicit ScanTab(QWidget* parent = nullptr);
  // Cancels a running scan and waits a bounded time for its worker; a device
  // that does not answer keeps the backend alive until its worker returns.
  ~ScanTab() override;

  ScanParams currentParams() const;
  ScanBackend* scanBackend() const { return backend.get(); }
  bool isBusy() const { return busy; }

 signals:
  void pageScanned(QImage image);

 public slots:
  void onRefreshDevices();
  void onDeviceSelected(int index);
  void onInterfaceChanged(int index);
  void onPreviewClicked();
  void onScanClicked();
  // Stops the running preview or scan; what it would still deliver is dropped.
  void onCancelClicked();
  void onWorkerPage(QImage image);
  void onWorkerFinished(QImage image, bool isPreview);
  void onWorkerError(QString message);
  void onScanProgress(int percent);
  void saveSettings();

 private:
  // ScanTab.cpp
  void buildUi();
  QWidget* buildSettingsFrame();
  QWidget* buildScanFrame();
  QCheckBox* persistCheckBox(const QString& text, const QString& key);
  // ScanTabSettings.cpp
  struct SwitchSetting;
  std::vector<SwitchSetting> switchSettings() const;
  void loadSettings();
  // ScanTabRuns.cpp
  void populateResolutions(const QList<int>& values);
  void setControlsEnabled(bool enabled);
  void setPreviewImage(const QImage& image);
  void startWorker(bool preview);
  void finishThread();
  void startNativeScan();
  void startLivePreview();
  void stopLivePreview();
  void setStatus(const QString& text);
  void endRun();
  void updateFeederControls();

  std::unique_ptr<ScanBackend> backend;
  QComboBox* deviceCombo = nullptr;
  QComboBox* interfaceCombo = nullptr;
  QToolButton* refreshButton = nullptr;
  QCheckBox* geomCorrBox = nullptr;
  QCheckBox* perspCorrBox = nullptr;
  QCheckBox* skewBox = nullptr;
  QCheckBox* structuralBox = nullptr;
  QCheckBox* noiseRemoveBox = nullptr;
  QCheckBox* autoBrightBox = nullptr;
  QCheckBox* autoContrastBox = nullptr;
  QCheckBox* whiteBalanceBox = nullptr;
  QCheckBox* denoiseBox = nullptr;
  QCheckBox* sharpenBox = nullptr;
  QCheckBox* textEnhanceBox = nullptr;
  QComboBox* resolutionCombo = nullptr;
  QComboBox* modeCombo = nullptr;
  QSlider* brightnessSlider = nullptr;
  QLabel* brightnessValue = nullptr;
  QComboBox* paperCombo = nullptr;
  QComboBox* orientationCombo = nullptr;
  QCheckBox* adfBox = nullptr;
  QCheckBox* duplexBox = nullptr;
  QSpinBox* delaySpin = nullptr;
  QLabel* previewLabel = nullptr;
  QPushButton* previewButton = nullptr;
  QPushButton* scanButton = nullptr;
  QPushButton* cancelButton = nullptr;
  QProgressBar* progressBar = nullptr;
  QLabel* statusLabel = nullptr;
  QThread* workerThread = nullptr;
  ScanWorker* worker = nullptr;
  bool busy = false;
  bool cancelRequested = false;
  bool loadingSettings = false;
  QTimer* liveTimer = nullptr;
};
