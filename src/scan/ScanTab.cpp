// The scan tab's construction: the settings column, the scan column and
// their connections.
#include "ScanTab.h"

#include "ScanBackend.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// How long closing waits for a cancelled scan to let go of the device.
constexpr int kWorkerWaitMs = 3000;

QLabel* scanLabel(const QString& text) {
  auto* label = new QLabel(text);
  label->setObjectName(QStringLiteral("ScanLabel"));
  return label;
}

QComboBox* scanCombo(int width = 0) {
  auto* combo = new QComboBox;
  combo->setObjectName(QStringLiteral("ScanCombo"));
  if (width > 0) combo->setFixedWidth(width);
  return combo;
}

QHBoxLayout* row(const QString& text, QWidget* control, QWidget* extra = nullptr) {
  auto* layout = new QHBoxLayout;
  layout->addWidget(scanLabel(text));
  layout->addWidget(control);
  if (extra) layout->addWidget(extra);
  layout->addStretch();
  return layout;
}

QGroupBox* scanGroup(const QString& title, const QList<QCheckBox*>& boxes) {
  auto* group = new QGroupBox(title);
  group->setObjectName(QStringLiteral("ScanGroupBox"));
  auto* layout = new QVBoxLayout(group);
  layout->setContentsMargins(4, 4, 4, 2);
  layout->setSpacing(1);
  for (QCheckBox* box : boxes) layout->addWidget(box);
  return group;
}

}  // namespace

ScanTab::ScanTab(QWidget* parent) : QWidget(parent), backend(createScanBackend()) {
  buildUi();
  loadSettings();
  onRefreshDevices();
}

ScanTab::~ScanTab() {
  stopLivePreview();
  saveSettings();
  if (workerThread) {
    // A scan still running is told to stop; it does between two reads.
    if (workerThread->isRunning() && backend) backend->cancelScan();
    workerThread->quit();
    if (!workerThread->wait(kWorkerWaitMs)) {
      // The device does not answer: the worker keeps the backend until its
      // call returns, and both go then. Closing does not wait for it.
      ScanBackend* orphan = backend.release();
      QThread* thread = workerThread;
      thread->setParent(nullptr);
      connect(thread, &QThread::finished, thread, [orphan, thread] {
        orphan->cleanup();
        delete orphan;
        thread->deleteLater();
      });
      workerThread = nullptr;
      return;
    }
  }
  if (backend) backend->cleanup();
  backend.reset();
}

QCheckBox* ScanTab::persistCheckBox(const QString& text, const QString& key) {
  auto* box = new QCheckBox(text);
  box->setObjectName(QStringLiteral("ScanCheckBox"));
  box->setChecked(QSettings().value(QStringLiteral("scan/") + key, false).toBool());
  connect(box, &QCheckBox::toggled, this, &ScanTab::saveSettings);
  return box;
}

void ScanTab::buildUi() {
  setObjectName(QStringLiteral("ScanTabContent"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(6, 4, 6, 4);
  layout->setSpacing(8);
  layout->addWidget(buildSettingsFrame());
  auto* separator = new QFrame;
  separator->setObjectName(QStringLiteral("ScanSeparator"));
  separator->setFrameShape(QFrame::VLine);
  separator->setFrameShadow(QFrame::Sunken);
  layout->addWidget(separator);
  layout->addWidget(buildScanFrame(), 1);
  populateResolutions({75, 100, 150, 200, 300, 400, 600, 1200});
}

QWidget* ScanTab::buildSettingsFrame() {
  auto* frame = new QFrame;
  frame->setObjectName(QStringLiteral("ScanSettingsFrame"));
  frame->setFrameShape(QFrame::StyledPanel);
  frame->setMinimumWidth(210);
  frame->setMaximumWidth(270);
  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(6, 4, 6, 4);
  layout->setSpacing(4);

  deviceCombo = scanCombo();
  deviceCombo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  refreshButton = new QToolButton;
  refreshButton->setObjectName(QStringLiteral("ScanRefreshButton"));
  refreshButton->setText(QStringLiteral("↻"));
  refreshButton->setToolTip(QStringLiteral("Обновить список устройств"));
  refreshButton->setFixedSize(24, 22);
  auto* deviceRow = new QHBoxLayout;
  deviceRow->addWidget(scanLabel(QStringLiteral("Устройство:")));
  deviceRow->addWidget(deviceCombo, 1);
  deviceRow->addWidget(refreshButton);
  layout->addLayout(deviceRow);
  interfaceCombo = scanCombo();
  auto* interfaceRow = new QHBoxLayout;
  interfaceRow->addWidget(scanLabel(QStringLiteral("Интерфейс:")));
  interfaceRow->addWidget(interfaceCombo, 1);
  layout->addLayout(interfaceRow);

  geomCorrBox = persistCheckBox(QStringLiteral("Геометрическая коррекция"), QStringLiteral("geom_corr"));
  perspCorrBox = persistCheckBox(QStringLiteral("Перспективная коррекция"), QStringLiteral("persp_corr"));
  skewBox = persistCheckBox(QStringLiteral("Обнаружение перекоса"), QStringLiteral("skew"));
  structuralBox = persistCheckBox(QStringLiteral("Структурный анализ"), QStringLiteral("structural"));
  noiseRemoveBox = persistCheckBox(QStringLiteral("Удаление шума"), QStringLiteral("noise_remove"));
  layout->addWidget(scanGroup(QStringLiteral("Геометрия и структура"),
                              {geomCorrBox, perspCorrBox, skewBox, structuralBox, noiseRemoveBox}));
  autoBrightBox = persistCheckBox(QStringLiteral("Авто яркость"), QStringLiteral("auto_bright"));
  autoContrastBox = persistCheckBox(QStringLiteral("Авто контраст"), QStringLiteral("auto_contrast"));
  whiteBalanceBox = persistCheckBox(QStringLiteral("Баланс белого"), QStringLiteral("white_balance"));
  denoiseBox = persistCheckBox(QStringLiteral("Шумоподавление"), QStringLiteral("denoise"));
  sharpenBox = persistCheckBox(QStringLiteral("Резкость"), QStringLiteral("sharpen"));
  textEnhanceBox = persistCheckBox(QStringLiteral("Улучшение текста"), QStringLiteral("text_enhance"));
  layout->addWidget(scanGroup(QStringLiteral("Улучшение изображения"),
                              {autoBrightBox, autoContrastBox, whiteBalanceBox, denoiseBox, sharpenBox, textEnhanceBox}));
  layout->addStretch();

  connect(refreshButton, &QToolButton::clicked, this, &ScanTab::onRefreshDevices);
  connect(deviceCombo, &QComboBox::currentIndexChanged, this, &ScanTab::onDeviceSelected);
  connect(interfaceCombo, &QComboBox::currentIndexChanged, this, &ScanTab::onInterfaceChanged);
  return frame;
}

QWidget* ScanTab::buildScanFrame() {
  auto* frame = new QFrame;
  frame->setObjectName(QStringLiteral("ScanScanFrame"));
  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(4);

  resolutionCombo = scanCombo(90);
  modeCombo = scanCombo(90);
  modeCombo->addItems({QStringLiteral("Цветной"), QStringLiteral("Полутон"), QStringLiteral("Ч/Б")});
  brightnessSlider = new QSlider(Qt::Horizontal);
  brightnessSlider->setObjectName(QStringLiteral("ScanSlider"));
  brightnessSlider->setRange(-100, 100);
  brightnessSlider->setValue(0);
  brightnessSlider->setFixedWidth(100);
  brightnessValue = new QLabel(QStringLiteral("0"));
  brightnessValue->setFixedWidth(28);
  brightnessValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  adfBox = new QCheckBox(QStringLiteral("АПД"));
  duplexBox = new QCheckBox(QStringLiteral("Дуплекс"));
  adfBox->setObjectName(QStringLiteral("ScanCheckBox"));
  duplexBox->setObjectName(QStringLiteral("ScanCheckBox"));
  auto* feederRow = new QHBoxLayout;
  feederRow->setSpacing(8);
  feederRow->addWidget(adfBox);
  feederRow->addWidget(duplexBox);
  feederRow->addStretch();
  auto* left = new QVBoxLayout;
  left->setSpacing(3);
  left->addLayout(row(QStringLiteral("Разреш.:"), resolutionCombo));
  left->addLayout(row(QStringLiteral("Режим:"), modeCombo));
  left->addLayout(row(QStringLiteral("Яркость:"), brightnessSlider, brightnessValue));
  left->addLayout(feederRow);

  paperCombo = scanCombo(110);
  // A5 and A6 come last so that stored paper indexes keep their meaning.
  paperCombo->addItems({QStringLiteral("A4"), QStringLiteral("A3"), QStringLiteral("Letter"), QStringLiteral("Legal"),
                        QStringLiteral("Произвольный"), QStringLiteral("A5"), QStringLiteral("A6")});
  orientationCombo = scanCombo(110);
  orientationCombo->addItems({QStringLiteral("Книжная"), QStringLiteral("Альбомная")});
  delaySpin = new QSpinBox;
  delaySpin->setObjectName(QStringLiteral("ScanSpin"));
  delaySpin->setRange(0, 60);
  delaySpin->setValue(0);
  delaySpin->setSuffix(QStringLiteral(" сек"));
  delaySpin->setFixedWidth(78);
  auto* right = new QVBoxLayout;
  right->setSpacing(3);
  right->addLayout(row(QStringLiteral("Формат:"), paperCombo));
  right->addLayout(row(QStringLiteral("Ориент.:"), orientationCombo));
  right->addLayout(row(QStringLiteral("Задержка:"), delaySpin));
  right->addStretch();

  auto* options = new QHBoxLayout;
  options->setSpacing(10);
  options->addLayout(left, 1);
  options->addLayout(right, 1);
  layout->addLayout(options);

  auto* scroll = new QScrollArea;
  scroll->setObjectName(QStringLiteral("ScanPreviewScroll"));
  scroll->setWidgetResizable(true);
  scroll->setMinimumHeight(140);
  scroll->setAlignment(Qt::AlignCenter);
  previewLabel = new QLabel(QStringLiteral("Нажмите «Предпросмотр»"));
  previewLabel->setObjectName(QStringLiteral("ScanPreviewLabel"));
  previewLabel->setAlignment(Qt::AlignCenter);
  previewLabel->setMinimumSize(100, 120);
  scroll->setWidget(previewLabel);
  layout->addWidget(scroll, 1);

  progressBar = new QProgressBar;
  progressBar->setObjectName(QStringLiteral("ScanProgressBar"));
  progressBar->setRange(0, 100);
  progressBar->setValue(0);
  progressBar->setMaximumHeight(8);
  progressBar->setTextVisible(false);
  progressBar->hide();
  layout->addWidget(progressBar);

  statusLabel = new QLabel;
  statusLabel->setObjectName(QStringLiteral("ScanStatusLabel"));
  statusLabel->setTextFormat(Qt::PlainText);  // device names and backend errors
  statusLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  previewButton = new QPushButton(QStringLiteral("Предпросмотр"));
  previewButton->setObjectName(QStringLiteral("ScanPreviewButton"));
  previewButton->setFixedHeight(26);
  scanButton = new QPushButton(QStringLiteral("Сканировать"));
  scanButton->setObjectName(QStringLiteral("ScanScanButton"));
  scanButton->setFixedHeight(26);
  cancelButton = new QPushButton(QStringLiteral("Отмена"));
  // Styled as the dialogs' secondary buttons.
  cancelButton->setObjectName(QStringLiteral("SecondaryDialogButton"));
  cancelButton->setFixedHeight(26);
  cancelButton->setToolTip(QStringLiteral("Остановить сканирование; страница не будет добавлена"));
  cancelButton->hide();
  auto* bottom = new QHBoxLayout;
  bottom->setSpacing(6);
  bottom->addWidget(statusLabel, 1);
  // Left of the two run buttons, so that neither moves under the pointer
  // when it appears or goes.
  bottom->addWidget(cancelButton);
  bottom->addWidget(previewButton);
  bottom->addWidget(scanButton);
  layout->addLayout(bottom);

  connect(brightnessSlider, &QSlider::valueChanged, brightnessValue,
          [this](int value) { brightnessValue->setText(QString::number(value)); });
  connect(previewButton, &QPushButton::clicked, this, &ScanTab::onPreviewClicked);
  connect(scanButton, &QPushButton::clicked, this, &ScanTab::onScanClicked);
  connect(cancelButton, &QPushButton::clicked, this, &ScanTab::onCancelClicked);
  return frame;
}
