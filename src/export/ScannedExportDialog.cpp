#include "ScannedExportDialog.h"

#include "ui/DialogHelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString kGroup = QStringLiteral("export/scannedPdf");

QComboBox* valueCombo(const QList<std::pair<QString, int>>& items, int stored, int fallbackIndex) {
  auto* combo = new QComboBox;
  combo->setObjectName(QStringLiteral("ScanCombo"));
  for (const auto& [text, value] : items) combo->addItem(text, value);
  const int index = combo->findData(stored);
  combo->setCurrentIndex(index >= 0 ? index : fallbackIndex);
  return combo;
}

QDoubleSpinBox* valueSpin(double maximum, int decimals, double step, const QString& suffix, double value) {
  auto* spin = new QDoubleSpinBox;
  spin->setObjectName(QStringLiteral("ScanSpin"));
  spin->setRange(0, maximum);
  spin->setDecimals(decimals);
  spin->setSingleStep(step);
  spin->setSuffix(suffix);
  spin->setValue(value);
  return spin;
}

QSlider* effectSlider(int maximum, int value) {
  auto* slider = new QSlider(Qt::Horizontal);
  slider->setObjectName(QStringLiteral("ScanSlider"));
  slider->setRange(0, maximum);
  slider->setTickPosition(QSlider::NoTicks);
  slider->setValue(value);
  return slider;
}

QCheckBox* scanCheck(const QString& text, bool checked) {
  auto* box = new QCheckBox(text);
  box->setObjectName(QStringLiteral("ScanCheckBox"));
  box->setChecked(checked);
  return box;
}

}  // namespace

ScannedPdfExportOptions storedScannedPdfOptions() {
  ScannedPdfExportOptions o;
  QSettings settings;
  settings.beginGroup(kGroup);
  o.dpi = settings.value(QStringLiteral("dpi"), o.dpi).toInt();
  o.rotation = settings.value(QStringLiteral("rotation"), o.rotation).toInt();
  o.marginMm = settings.value(QStringLiteral("marginMm"), o.marginMm).toDouble();
  o.maxSkewDegrees = settings.value(QStringLiteral("maxSkewDegrees"), o.maxSkewDegrees).toDouble();
  o.darkness = settings.value(QStringLiteral("darkness"), o.darkness).toInt();
  o.contrast = settings.value(QStringLiteral("contrast"), o.contrast).toInt();
  o.noise = settings.value(QStringLiteral("noise"), o.noise).toInt();
  o.stripes = settings.value(QStringLiteral("stripes"), o.stripes).toInt();
  o.verticalStreaks = settings.value(QStringLiteral("verticalStreaks"), o.verticalStreaks).toInt();
  o.edgeShadow = settings.value(QStringLiteral("edgeShadow"), o.edgeShadow).toInt();
  o.foldedCorner = settings.value(QStringLiteral("foldedCorner"), o.foldedCorner).toInt();
  o.grayscale = settings.value(QStringLiteral("grayscale"), o.grayscale).toBool();
  o.randomize = settings.value(QStringLiteral("randomize"), o.randomize).toBool();
  return o;
}

void saveScannedPdfDefaults(const ScannedPdfExportOptions& o) {
  QSettings settings;
  settings.beginGroup(kGroup);
  settings.setValue(QStringLiteral("dpi"), o.dpi);
  settings.setValue(QStringLiteral("rotation"), o.rotation);
  settings.setValue(QStringLiteral("marginMm"), o.marginMm);
  settings.setValue(QStringLiteral("maxSkewDegrees"), o.maxSkewDegrees);
  settings.setValue(QStringLiteral("darkness"), o.darkness);
  settings.setValue(QStringLiteral("contrast"), o.contrast);
  settings.setValue(QStringLiteral("noise"), o.noise);
  settings.setValue(QStringLiteral("stripes"), o.stripes);
  settings.setValue(QStringLiteral("verticalStreaks"), o.verticalStreaks);
  settings.setValue(QStringLiteral("edgeShadow"), o.edgeShadow);
  settings.setValue(QStringLiteral("foldedCorner"), o.foldedCorner);
  settings.setValue(QStringLiteral("grayscale"), o.grayscale);
  settings.setValue(QStringLiteral("randomize"), o.randomize);
  settings.endGroup();
}

ScannedExportDialog::ScannedExportDialog(QWidget* parent, const ScannedPdfExportOptions& initial, int previewPage,
                                         std::function<QImage(int, double)> renderPreviewPage)
    : QDialog(parent), options(initial), previewPage(previewPage), renderPreviewPage(std::move(renderPreviewPage)) {
  setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
  setObjectName(QStringLiteral("AppDialog"));
  setWindowTitle(QStringLiteral("Сохранить как сканированный PDF"));
  setModal(true);
  resize(760, 560);
  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(20, 18, 20, 16);
  root->setSpacing(12);
  addDialogHeading(root, QStringLiteral("Сканированный PDF"),
                   QStringLiteral("Создайте растровую копию документа с эффектом сканирования: наклон, "
                                  "затемнение, шум и полосы сканера."));

  auto* body = new QHBoxLayout;
  body->setSpacing(16);
  auto* left = new QVBoxLayout;
  left->setContentsMargins(0, 0, 0, 0);
  left->setSpacing(10);
  left->addWidget(label(QStringLiteral("Файл результата:"), QStringLiteral("DialogHint")));
  auto* pathRow = new QHBoxLayout;
  pathEdit = dialogLineEdit(initial.outputPath);
  QPushButton* browseButton = dialogButton(QStringLiteral("Обзор..."), QStringLiteral("SecondaryDialogButton"));
  pathRow->addWidget(pathEdit, 1);
  pathRow->addWidget(browseButton);
  left->addLayout(pathRow);

  auto* pageGroup = new QGroupBox(QStringLiteral("Страница"));
  pageGroup->setObjectName(QStringLiteral("ScanGroupBox"));
  auto* pageForm = new QFormLayout(pageGroup);
  pageForm->setLabelAlignment(Qt::AlignLeft);
  QList<std::pair<QString, int>> dpis;
  for (int dpi : {100, 150, 200, 300, 400, 600}) dpis.append({QStringLiteral("%1 dpi").arg(dpi), dpi});
  dpiCombo = valueCombo(dpis, initial.dpi, 2);
  rotationCombo = valueCombo({{QStringLiteral("Без поворота"), 0},
                              {QStringLiteral("90° вправо"), 90},
                              {QStringLiteral("180°"), 180},
                              {QStringLiteral("90° влево"), 270}},
                             initial.rotation, 0);
  marginSpin = valueSpin(12, 1, 0.2, QStringLiteral(" мм"), initial.marginMm);
  skewSpin = valueSpin(4, 2, 0.05, QStringLiteral("°"), initial.maxSkewDegrees);
  randomizeCheck = scanCheck(QStringLiteral("Случайный наклон для каждой страницы"), initial.randomize);
  pageForm->addRow(QStringLiteral("Разрешение:"), dpiCombo);
  pageForm->addRow(QStringLiteral("Поворот:"), rotationCombo);
  pageForm->addRow(QStringLiteral("Белые поля:"), marginSpin);
  pageForm->addRow(QStringLiteral("Наклон ±:"), skewSpin);
  pageForm->addRow(QString(), randomizeCheck);
  left->addWidget(pageGroup);

  auto* effectGroup = new QGroupBox(QStringLiteral("Эффект сканирования"));
  effectGroup->setObjectName(QStringLiteral("ScanGroupBox"));
  auto* effectForm = new QFormLayout(effectGroup);
  effectForm->setLabelAlignment(Qt::AlignLeft);
  darknessSlider = effectSlider(50, initial.darkness);
  contrastSlider = effectSlider(60, initial.contrast);
  noiseSlider = effectSlider(40, initial.noise);
  stripesSlider = effectSlider(80, initial.stripes);
  streaksSlider = effectSlider(80, initial.verticalStreaks);
  shadowSlider = effectSlider(60, initial.edgeShadow);
  cornerSlider = effectSlider(80, initial.foldedCorner);
  grayscaleCheck = scanCheck(QStringLiteral("Чёрно-белый/серый скан"), initial.grayscale);
  effectForm->addRow(QStringLiteral("Затемнение:"), darknessSlider);
  effectForm->addRow(QStringLiteral("Контраст:"), contrastSlider);
  effectForm->addRow(QStringLiteral("Шум бумаги:"), noiseSlider);
  effectForm->addRow(QStringLiteral("Горизонтальные полосы:"), stripesSlider);
  effectForm->addRow(QStringLiteral("Вертикальные полосы:"), streaksSlider);
  effectForm->addRow(QStringLiteral("Тень по краям:"), shadowSlider);
  effectForm->addRow(QStringLiteral("Загнутый уголок:"), cornerSlider);
  effectForm->addRow(QString(), grayscaleCheck);
  left->addWidget(effectGroup);
  left->addStretch(1);
  body->addLayout(left, 1);

  auto* card = new QFrame;
  card->setObjectName(QStringLiteral("PreviewCard"));
  card->setFixedWidth(344);
  auto* cardLayout = new QVBoxLayout(card);
  cardLayout->setContentsMargins(12, 12, 12, 12);
  cardLayout->setSpacing(8);
  cardLayout->addWidget(label(QStringLiteral("Предпросмотр текущей страницы"), QStringLiteral("DialogHint")));
  preview = new QLabel;
  preview->setObjectName(QStringLiteral("ScanPreview"));
  preview->setAlignment(Qt::AlignCenter);
  preview->setFixedSize(320, 455);
  preview->setScaledContents(false);
  cardLayout->addWidget(preview, 1);
  body->addWidget(card);
  root->addLayout(body, 1);

  auto* buttons = new QHBoxLayout;
  defaultsButton = dialogButton(QStringLiteral("Сохранить как дефолтные"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* cancel = dialogButton(QStringLiteral("Отмена"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* save = dialogButton(QStringLiteral("Сохранить"), QStringLiteral("PrimaryDialogButton"));
  buttons->addWidget(defaultsButton);
  buttons->addStretch(1);
  buttons->addWidget(cancel);
  buttons->addWidget(save);
  root->addLayout(buttons);

  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(save, &QPushButton::clicked, this, &QDialog::accept);
  connect(browseButton, &QPushButton::clicked, this, &ScannedExportDialog::browse);
  connect(defaultsButton, &QPushButton::clicked, this, &ScannedExportDialog::saveDefaults);
  for (QComboBox* combo : {dpiCombo, rotationCombo})
    connect(combo, &QComboBox::currentIndexChanged, this, &ScannedExportDialog::refreshPreview);
  for (QDoubleSpinBox* spin : {marginSpin, skewSpin})
    connect(spin, &QDoubleSpinBox::valueChanged, this, &ScannedExportDialog::refreshPreview);
  for (QSlider* slider :
       {darknessSlider, contrastSlider, noiseSlider, stripesSlider, streaksSlider, shadowSlider, cornerSlider})
    connect(slider, &QSlider::valueChanged, this, &ScannedExportDialog::refreshPreview);
  for (QCheckBox* box : {randomizeCheck, grayscaleCheck})
    connect(box, &QCheckBox::toggled, this, &ScannedExportDialog::refreshPreview);
  QTimer::singleShot(0, this, &ScannedExportDialog::refreshPreview);
}

ScannedPdfExportOptions ScannedExportDialog::readBack() const {
  ScannedPdfExportOptions o = options;
  o.outputPath = pathEdit->text().trimmed();
  o.dpi = dpiCombo->currentData().toInt();
  o.rotation = rotationCombo->currentData().toInt();
  o.marginMm = marginSpin->value();
  o.maxSkewDegrees = skewSpin->value();
  o.randomize = randomizeCheck->isChecked();
  o.darkness = darknessSlider->value();
  o.contrast = contrastSlider->value();
  o.noise = noiseSlider->value();
  o.stripes = stripesSlider->value();
  o.verticalStreaks = streaksSlider->value();
  o.edgeShadow = shadowSlider->value();
  o.foldedCorner = cornerSlider->value();
  o.grayscale = grayscaleCheck->isChecked();
  return o;
}

void ScannedExportDialog::refreshPreview() {
  options = readBack();
  ScannedPdfExportOptions previewOptions = options;
  previewOptions.dpi = 140;
  const QImage scanned = applyScannedPdfEffect(renderPreviewPage(previewPage, 1.35), previewOptions, previewPage, true);
  if (scanned.isNull()) {
    preview->clear();
    return;
  }
  preview->setPixmap(
      QPixmap::fromImage(scanned).scaled(preview->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void ScannedExportDialog::browse() {
  QString start = pathEdit->text().trimmed();
  if (start.isEmpty()) start = options.outputPath;
  QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить сканированный PDF"), start,
                                              QStringLiteral("PDF файлы (*.pdf)"));
  if (path.isEmpty()) return;
  // A name the user typed is used as typed; only the suggestion carries the kind's suffix.
  if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) path += QStringLiteral(".pdf");
  pathEdit->setText(path);
}

void ScannedExportDialog::saveDefaults() {
  options = readBack();
  saveScannedPdfDefaults(options);
  defaultsButton->setText(QStringLiteral("Дефолтные сохранены"));
  QTimer::singleShot(1400, defaultsButton,
                     [button = defaultsButton] { button->setText(QStringLiteral("Сохранить как дефолтные")); });
}
