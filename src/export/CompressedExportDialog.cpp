// The compressed-PDF export dialog: its widgets, stages, fine options,
// forecasts and defaults. The fit lives in CompressedExportFit.cpp, the save
// in MainWindowCompressedExport.cpp.
#include "CompressedExportDialog.h"

#include "CompressionStages.h"
#include "ExportFileNames.h"
#include "core/MemoryOnlyFile.h"
#include "core/OwnedTemporaryFolder.h"
#include "ui/BusyRing.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

const QString kGroup = QStringLiteral("export/compressedPdf");

// Appended to a forecast that was measured on some pages only.
QString sampledNote(bool sampled) { return sampled ? uiTranslate(QStringLiteral(" (по выборке страниц)")) : QString(); }

PdfDocument::CompressionOptions storedOptions() {
  QSettings settings;
  settings.beginGroup(kGroup);
  PdfDocument::CompressionOptions options;
  options.imageDpi = settings.value(QStringLiteral("imageDpi"), 150).toInt();
  options.jpegQuality = settings.value(QStringLiteral("jpegQuality"), 55).toInt();
  options.grayscale = settings.value(QStringLiteral("grayscale"), false).toBool();
  options.recompressSmallImages = settings.value(QStringLiteral("recompressSmallImages"), true).toBool();
  options.rasterizePages = settings.value(QStringLiteral("rasterizePages"), true).toBool();
  options.monochrome = settings.value(QStringLiteral("monochrome"), false).toBool();
  return options;
}

// Text, fonts and outline survive only when the page objects are kept; the
// first pages tell whether the document has text at all.
bool hasTextLayer(const PdfDocument* document) {
  if (!document) return false;
  const int pages = std::min(document->pageCount(), 8);
  for (int page = 0; page < pages; ++page)
    if (!document->extractAllText(page).trimmed().isEmpty()) return true;
  return false;
}

double defaultTargetMb(qint64 originalFileSize) {
  if (originalFileSize <= 0) return 10;
  const double megabytes = double(originalFileSize) / 1048576.0;
  if (megabytes > 10) return 10;
  return std::max(1.0, std::ceil(megabytes));
}

QString badgeStyle(const QString& text, const QString& background) {
  return QStringLiteral("font-weight:700; color:%1; background:%2; border-radius:10px; padding:5px 10px;")
      .arg(text, background);
}

QString qualityWarning(const PdfDocument::CompressionOptions& options) {
  if (options.monochrome) return uiTranslate(QStringLiteral("Внимание: выбран монохромный режим, цвет будет удалён."));
  if (options.imageDpi <= 80 || options.jpegQuality <= 25)
    return uiTranslate(QStringLiteral("Внимание: качество будет заметно снижено ради размера."));
  return {};
}

}  // namespace

CompressedExportDialog::CompressedExportDialog(QWidget* parent, PdfDocument* document,
                                               const QString& suggestedOutputPath, qint64 originalFileSize,
                                               bool fromShellAction)
    : QDialog(parent), document(document), suggestedPath(suggestedOutputPath), originalFileSize(originalFileSize) {
  PdfDocument::CompressionOptions options = storedOptions();
  keepTextLayer = hasTextLayer(document);
  // Without stored defaults a document with text starts on keeping its
  // objects and re-encoding only its images: a rasterising stage would drop
  // the text and can make such a file many times larger.
  if (keepTextLayer && !QSettings().contains(kGroup + QStringLiteral("/rasterizePages"))) {
    options.rasterizePages = false;
    options.monochrome = false;
    options.grayscale = false;
    options.imageDpi = 150;
    options.jpegQuality = 75;
  }
  buildWidgets(suggestedOutputPath, fromShellAction);
  const double storedTarget =
      QSettings().value(kGroup + QStringLiteral("/targetMb"), defaultTargetMb(originalFileSize)).toDouble();
  targetSizeSpin->setValue(std::clamp(storedTarget, 0.1, 4096.0));
  applyOptionsToControls(options);
  stageSlider->setValue(stageForOptions(options));
  connectSignals();
  {
    const QSignalBlocker blocker(stageSlider);
    stageSlider->setValue(stageForOptions(options));
  }
  applyOptionsToControls(options);
  showStageOrCustom(options);
  refreshAdvancedHints();
  refreshAdvancedHints();
  estimateLabel->setText(uiTranslate(QStringLiteral("Анализирую документ и подбираю варианты сжатия...")));
  setFitControlsEnabled(false);
}

void CompressedExportDialog::buildWidgets(const QString& suggestedOutputPath, bool fromShellAction) {
  setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
  setObjectName(QStringLiteral("AppDialog"));
  setWindowTitle(QStringLiteral("Сохранить сжатый PDF"));
  setModal(true);
  resize(700, 540);
  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(20, 18, 20, 16);
  root->setSpacing(12);
  addDialogHeading(root, QStringLiteral("Сжатый PDF"),
                   QStringLiteral("Выберите, насколько сильно уменьшить файл. Тонкие настройки спрятаны в "
                                  "разделе «Расширенные»."));
  // The controls scroll inside a window that never outgrows its screen: in
  // some languages, with the fine settings open, they need more height than
  // a small screen has.
  auto* body = new QWidget;
  body->setObjectName(QStringLiteral("CompressionDialogBody"));
  auto* content = new QVBoxLayout(body);
  content->setContentsMargins(0, 0, 0, 0);
  content->setSpacing(12);
  bodyScroll = new QScrollArea;
  bodyScroll->setWidgetResizable(true);
  bodyScroll->setFrameShape(QFrame::NoFrame);
  bodyScroll->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
  bodyScroll->viewport()->setAutoFillBackground(false);
  content->addWidget(label(QStringLiteral("Файл результата:"), QStringLiteral("DialogHint")));
  auto* outputRow = new QHBoxLayout;
  outputPathEdit = dialogLineEdit(suggestedOutputPath);
  browseButton = dialogButton(QStringLiteral("Обзор..."), QStringLiteral("SecondaryDialogButton"));
  outputRow->addWidget(outputPathEdit, 1);
  outputRow->addWidget(browseButton);
  content->addLayout(outputRow);
  if (fromShellAction) {
    openResultCheckBox = new QCheckBox(QStringLiteral("Открыть результат после сохранения"));
    openResultCheckBox->setObjectName(QStringLiteral("ScanCheckBox"));
    content->addWidget(openResultCheckBox);
  }

  auto* sizeGroup = new QGroupBox(QStringLiteral("Размер файла"));
  sizeGroup->setObjectName(QStringLiteral("ScanGroupBox"));
  auto* sizeLayout = new QVBoxLayout(sizeGroup);
  sizeLayout->setContentsMargins(14, 18, 14, 14);
  sizeLayout->setSpacing(10);
  auto* headerRow = new QHBoxLayout;
  stageTitleLabel = label(QString(), QStringLiteral("DialogTitle"));
  stageTitleLabel->setMinimumHeight(30);
  stageBadgeLabel = label(QString(), QStringLiteral("DialogHint"));
  stageBadgeLabel->setAlignment(Qt::AlignCenter);
  stageBadgeLabel->setMinimumWidth(118);
  headerRow->addWidget(stageTitleLabel, 1);
  headerRow->addWidget(stageBadgeLabel);
  sizeLayout->addLayout(headerRow);
  stageSlider = new QSlider(Qt::Horizontal);
  stageSlider->setObjectName(QStringLiteral("ScanSlider"));
  stageSlider->setRange(0, kCompressionStageCount - 1);
  stageSlider->setSingleStep(1);
  stageSlider->setPageStep(1);
  stageSlider->setTickInterval(1);
  stageSlider->setTickPosition(QSlider::TicksBelow);
  sizeLayout->addWidget(stageSlider);
  auto* ticks = new QGridLayout;
  ticks->setContentsMargins(0, 0, 0, 0);
  ticks->setHorizontalSpacing(4);
  for (int i = 0; i < kCompressionStageCount; ++i) {
    QLabel* tick = label(compressionStage(i).shortLabel, QStringLiteral("DialogHint"));
    tick->setAlignment(Qt::AlignCenter);
    ticks->addWidget(tick, 0, i);
    ticks->setColumnStretch(i, 1);
    stageTickLabels.append(tick);
  }
  sizeLayout->addLayout(ticks);
  stageDescriptionLabel = label(QString(), QStringLiteral("DialogSubtitle"));
  stageDescriptionLabel->setWordWrap(true);
  sizeLayout->addWidget(stageDescriptionLabel);
  stageWarningLabel = label(QString(), QStringLiteral("DialogHint"));
  stageWarningLabel->setWordWrap(true);
  sizeLayout->addWidget(stageWarningLabel);
  auto* targetRow = new QHBoxLayout;
  targetRow->setSpacing(8);
  targetRow->addWidget(label(QStringLiteral("Нужно не больше:"), QStringLiteral("DialogHint")));
  targetSizeSpin = new QDoubleSpinBox;
  targetSizeSpin->setObjectName(QStringLiteral("ScanSpin"));
  targetSizeSpin->setRange(0.1, 4096);
  targetSizeSpin->setDecimals(1);
  targetSizeSpin->setSingleStep(0.5);
  targetSizeSpin->setSuffix(QStringLiteral(" МБ"));
  fitButton = dialogButton(QStringLiteral("Подобрать"), QStringLiteral("SecondaryDialogButton"));
  targetRow->addWidget(targetSizeSpin);
  targetRow->addWidget(fitButton);
  targetRow->addStretch(1);
  sizeLayout->addLayout(targetRow);
  content->addWidget(sizeGroup);

  advancedToggle = new QToolButton;
  advancedToggle->setObjectName(QStringLiteral("ScanRefreshButton"));
  advancedToggle->setText(uiTranslate(QStringLiteral("Расширенные")));
  advancedToggle->setCheckable(true);
  advancedToggle->setArrowType(Qt::RightArrow);
  advancedToggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  advancedToggle->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
  content->addWidget(advancedToggle);

  advancedGroup = new QGroupBox(QStringLiteral("Тонкие настройки"));
  advancedGroup->setObjectName(QStringLiteral("ScanGroupBox"));
  auto* form = new QFormLayout(advancedGroup);
  form->setLabelAlignment(Qt::AlignLeft);
  dpiCombo = new QComboBox;
  dpiCombo->setObjectName(QStringLiteral("ScanCombo"));
  for (int dpi : {72, 100, 120, 150, 200, 300}) dpiCombo->addItem(QStringLiteral("%1 dpi").arg(dpi), dpi);
  form->addRow(QStringLiteral("Разрешение изображений:"), dpiCombo);
  auto* qualityRow = new QHBoxLayout;
  qualitySlider = new QSlider(Qt::Horizontal);
  qualitySlider->setObjectName(QStringLiteral("ScanSlider"));
  qualitySlider->setRange(10, 90);
  qualityValueLabel = label(QString(), QStringLiteral("DialogHint"));
  qualityRow->addWidget(qualitySlider, 1);
  qualityRow->addWidget(qualityValueLabel);
  form->addRow(QStringLiteral("JPEG качество:"), qualityRow);
  const auto check = [form](const QString& text) {
    auto* box = new QCheckBox(text);
    box->setObjectName(QStringLiteral("ScanCheckBox"));
    form->addRow(box);
    return box;
  };
  grayscaleCheck = check(QStringLiteral("Перевести изображения в оттенки серого"));
  recompressSmallCheck = check(QStringLiteral("Пережимать даже небольшие изображения"));
  rasterizeCheck =
      check(QStringLiteral("Сжимать как изображение (меньше размер, но без редактируемого текстового слоя)"));
  monochromeCheck = check(QStringLiteral("Монохромный режим для чёрно-белых документов"));
  advancedHintLabel = label(QString(), QStringLiteral("DialogHint"));
  advancedHintLabel->setWordWrap(true);
  form->addRow(advancedHintLabel);
  advancedGroup->hide();
  content->addWidget(advancedGroup);

  estimateLabel = label(QStringLiteral("Прогноз размера: нажмите «Оценить размер»."), QStringLiteral("DialogHint"));
  estimateLabel->setWordWrap(true);
  content->addWidget(estimateLabel);
  bodyScroll->setWidget(body);
  body->installEventFilter(this);
  root->addWidget(bodyScroll, 1);

  auto* bottom = new QHBoxLayout;
  saveDefaultsButton = dialogButton(QStringLiteral("Сохранить как дефолтные"), QStringLiteral("SecondaryDialogButton"));
  estimateButton = dialogButton(QStringLiteral("Оценить размер"), QStringLiteral("SecondaryDialogButton"));
  cancelButton = dialogButton(QStringLiteral("Отмена"), QStringLiteral("SecondaryDialogButton"));
  saveButton = dialogButton(QStringLiteral("Сохранить"), QStringLiteral("PrimaryDialogButton"));
  bottom->addWidget(saveDefaultsButton);
  bottom->addWidget(estimateButton);
  bottom->addStretch(1);
  bottom->addWidget(cancelButton);
  bottom->addWidget(saveButton);
  root->addLayout(bottom);

  const BusyOverlay overlay =
      buildBusyOverlay(this, QStringLiteral("CompressionBusyOverlay"), 214, QStringLiteral("Подбираю настройки..."));
  busyOverlay = overlay.frame;
  busyRing = overlay.ring;
  busyLabel = overlay.text;
}

void CompressedExportDialog::connectSignals() {
  connect(stageSlider, &QSlider::valueChanged, this, &CompressedExportDialog::onStageSliderChanged);
  connect(targetSizeSpin, &QDoubleSpinBox::valueChanged, this, [this] {
    if (fitResultsReady) applyBestCachedFit(true);
  });
  connect(advancedToggle, &QToolButton::toggled, this, &CompressedExportDialog::onAdvancedToggled);
  connect(dpiCombo, &QComboBox::currentIndexChanged, this, &CompressedExportDialog::onAdvancedOptionChanged);
  connect(qualitySlider, &QSlider::valueChanged, this, &CompressedExportDialog::onAdvancedOptionChanged);
  for (QCheckBox* box : {grayscaleCheck, recompressSmallCheck, rasterizeCheck, monochromeCheck})
    connect(box, &QCheckBox::toggled, this, &CompressedExportDialog::onAdvancedOptionChanged);
  connect(browseButton, &QPushButton::clicked, this, &CompressedExportDialog::browseOutputPath);
  connect(saveDefaultsButton, &QPushButton::clicked, this, &CompressedExportDialog::saveCompressionDefaults);
  connect(fitButton, &QPushButton::clicked, this, [this] { startTargetFit(true); });
  connect(estimateButton, &QPushButton::clicked, this, &CompressedExportDialog::estimateCurrentSettings);
  connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(saveButton, &QPushButton::clicked, this, &QDialog::accept);
}

int CompressedExportDialog::execWithFit() {
  QTimer::singleShot(0, this, [this] { startTargetFit(false); });
  return exec();
}

PdfDocument::CompressionOptions CompressedExportDialog::currentOptions() const {
  PdfDocument::CompressionOptions options;
  options.imageDpi = dpiCombo->currentData().toInt();
  options.jpegQuality = qualitySlider->value();
  options.grayscale = grayscaleCheck->isChecked();
  options.recompressSmallImages = recompressSmallCheck->isChecked();
  options.rasterizePages = rasterizeCheck->isChecked();
  options.monochrome = monochromeCheck->isChecked();
  return options;
}

QString CompressedExportDialog::outputPathText() const { return outputPathEdit->text().trimmed(); }
void CompressedExportDialog::setOutputPathText(const QString& path) { outputPathEdit->setText(path); }
bool CompressedExportDialog::openResultAfterSaving() const {
  return openResultCheckBox && openResultCheckBox->isChecked();
}

void CompressedExportDialog::applyOptionsToControls(const PdfDocument::CompressionOptions& options) {
  const QSignalBlocker dpiBlocker(dpiCombo);
  const QSignalBlocker qualityBlocker(qualitySlider);
  const QSignalBlocker grayBlocker(grayscaleCheck);
  const QSignalBlocker smallBlocker(recompressSmallCheck);
  const QSignalBlocker rasterBlocker(rasterizeCheck);
  const QSignalBlocker monoBlocker(monochromeCheck);
  int best = 0;
  for (int i = 0; i < dpiCombo->count(); ++i) {
    const int difference = std::abs(dpiCombo->itemData(i).toInt() - options.imageDpi);
    if (difference < std::abs(dpiCombo->itemData(best).toInt() - options.imageDpi)) best = i;
  }
  dpiCombo->setCurrentIndex(best);
  qualitySlider->setValue(std::clamp(options.jpegQuality, 10, 90));
  grayscaleCheck->setChecked(options.grayscale);
  recompressSmallCheck->setChecked(options.recompressSmallImages);
  rasterizeCheck->setChecked(options.rasterizePages);
  monochromeCheck->setChecked(options.monochrome);
}

void CompressedExportDialog::showStage(const CompressionStageUi& stage) {
  stageTitleLabel->setText(uiTranslate(stage.title));
  stageBadgeLabel->setText(uiTranslate(stage.shortLabel));
  stageBadgeLabel->setStyleSheet(badgeStyle(stage.textColor, stage.backgroundColor));
  stageDescriptionLabel->setText(uiTranslate(stage.description));
  stageWarningLabel->setText(uiTranslate(stage.warning));
  stageWarningLabel->setStyleSheet(QStringLiteral("color:%1;").arg(stage.textColor));
  restyleStageTicks();
}

void CompressedExportDialog::showCustomSettings() {
  stageTitleLabel->setText(uiTranslate(QStringLiteral("Пользовательские настройки")));
  stageBadgeLabel->setText(uiTranslate(QStringLiteral("Свои")));
  stageBadgeLabel->setStyleSheet(badgeStyle(QStringLiteral("#1d4ed8"), QStringLiteral("#dbeafe")));
  stageDescriptionLabel->setText(uiTranslate(QStringLiteral("Используются значения из раздела «Расширенные».")));
  stageWarningLabel->setText(uiTranslate(QStringLiteral("После изменения тонких настроек прогноз лучше пересчитать.")));
  stageWarningLabel->setStyleSheet(QStringLiteral("color:#1d4ed8;"));
  restyleStageTicks();
}

void CompressedExportDialog::showKeepObjects() {
  stageTitleLabel->setText(uiTranslate(QStringLiteral("Сохранение текста и структуры")));
  stageBadgeLabel->setText(uiTranslate(QStringLiteral("Текст")));
  stageBadgeLabel->setStyleSheet(badgeStyle(QStringLiteral("#0f766e"), QStringLiteral("#ccfbf1")));
  stageDescriptionLabel->setText(uiTranslate(
      QStringLiteral("Текст, шрифты, ссылки и оглавление остаются; пережимаются только изображения.")));
  stageWarningLabel->setText(uiTranslate(
      QStringLiteral("Уровни ползунка превращают страницы в картинки и убирают текстовый слой.")));
  stageWarningLabel->setStyleSheet(QStringLiteral("color:#0f766e;"));
  restyleStageTicks();
}

void CompressedExportDialog::showStageOrCustom(const PdfDocument::CompressionOptions& options) {
  if (!options.rasterizePages) {
    showKeepObjects();
    return;
  }
  const CompressionStageUi stage = compressionStage(stageSlider->value());
  if (sameCompressionOptions(options, stage.options))
    showStage(stage);
  else
    showCustomSettings();
}

void CompressedExportDialog::restyleStageTicks() {
  const int current = stageSlider->value();
  for (int i = 0; i < stageTickLabels.size(); ++i) {
    const CompressionStageUi stage = compressionStage(i);
    stageTickLabels[i]->setStyleSheet(
        QStringLiteral("font-size:11px; font-weight:%1; color:%2; padding:3px 2px; border-radius:6px; background:%3;")
            .arg(i == current ? QStringLiteral("700") : QStringLiteral("500"), stage.textColor,
                 i == current ? stage.backgroundColor : QStringLiteral("transparent")));
  }
}

void CompressedExportDialog::refreshAdvancedHints() {
  qualityValueLabel->setText(QString::number(qualitySlider->value()));
  estimateLabel->setText(uiTranslate(QStringLiteral("Прогноз размера: настройки изменились, пересчитайте.")));
  QStringList lines{uiTranslate(QStringLiteral("Тонкие настройки применяются к выбранному уровню сжатия."))};
  if (originalFileSize > 0)
    lines << uiTranslate(QStringLiteral("Исходный размер: %1")).arg(formatFileSize(originalFileSize));
  lines << (rasterizeCheck->isChecked()
                ? uiTranslate(QStringLiteral("В этом режиме страницы будут записаны как изображения: файл обычно "
                                             "меньше, но текстовый слой не сохраняется."))
                : uiTranslate(QStringLiteral(
                      "В этом режиме текстовый слой сохраняется, сжимаются только встроенные изображения.")));
  if (monochromeCheck->isChecked())
    lines << uiTranslate(
        QStringLiteral("Монохромный режим особенно хорошо сжимает чёрный текст и таблицы, но убирает цвет."));
  advancedHintLabel->setText(lines.join(QLatin1Char('\n')));
}

// A "compressed" copy that grows is not a success: the forecast says so.
QString CompressedExportDialog::largerThanOriginalLine(qint64 bytes) const {
  if (originalFileSize <= 0 || bytes <= originalFileSize) return {};
  return uiTranslate(QStringLiteral("Внимание: копия будет больше исходного файла (%1)."))
      .arg(formatFileSize(originalFileSize));
}

qint64 CompressedExportDialog::targetBytes() const {
  return std::max<qint64>(1, std::llround(targetSizeSpin->value() * 1048576.0));
}

QString CompressedExportDialog::targetText() const { return formatDecimal(targetSizeSpin->value(), 1); }

void CompressedExportDialog::showCachedEstimateForCurrentOptions() {
  if (!fitResultsReady) return;
  const PdfDocument::CompressionOptions options = currentOptions();
  for (const CachedCompressionEstimate& entry : estimateCache) {
    if (!sameCompressionOptions(entry.options, options)) continue;
    QStringList lines{
        uiTranslate(QStringLiteral("Прогноз выбранного уровня: около %1%2."))
            .arg(formatFileSize(entry.bytes), sampledNote(entry.sampled)),
        uiTranslate(QStringLiteral("Лимит: %1 МБ. Подбор уже посчитан, повторный запуск не нужен.")).arg(targetText())};
    const QString larger = largerThanOriginalLine(entry.bytes);
    if (!larger.isEmpty()) lines << larger;
    estimateLabel->setText(lines.join(QLatin1Char('\n')));
    return;
  }
}

bool CompressedExportDialog::applyBestCachedFit(bool reused) {
  if (!fitResultsReady || estimateCache.isEmpty()) return false;
  const qint64 target = targetBytes();
  const CachedCompressionEstimate* smallest = nullptr;
  const CachedCompressionEstimate* match = nullptr;
  for (const CachedCompressionEstimate& entry : estimateCache) {
    if (entry.bytes <= 0) continue;
    if (!smallest || entry.bytes < smallest->bytes) smallest = &entry;
    if (!match && entry.bytes <= target) match = &entry;
  }
  const CachedCompressionEstimate* chosen = match ? match : smallest;
  if (!chosen) return false;
  const CachedCompressionEstimate entry = *chosen;

  applyingPreset = true;
  {
    const QSignalBlocker blocker(stageSlider);
    stageSlider->setValue(stageForOptions(entry.options));
  }
  applyOptionsToControls(entry.options);
  applyingPreset = false;
  showStageOrCustom(entry.options);
  refreshAdvancedHints();

  const QString sampled = sampledNote(entry.sampled);
  QStringList lines;
  if (match) {
    lines << uiTranslate(QStringLiteral("Подобрано под лимит %1 МБ: %2.")).arg(targetText(), uiTranslate(entry.label))
          << uiTranslate(QStringLiteral("Прогноз итогового размера: около %1%2."))
                 .arg(formatFileSize(entry.bytes), sampled);
  } else {
    lines << uiTranslate(QStringLiteral("Даже самый жёсткий режим не укладывается в %1 МБ.")).arg(targetText())
          << uiTranslate(QStringLiteral("Выбран минимальный найденный вариант: %1, около %2%3."))
                 .arg(uiTranslate(entry.label), formatFileSize(entry.bytes), sampled);
  }
  const QString warning = qualityWarning(entry.options);
  if (!warning.isEmpty()) lines << warning;
  const QString larger = largerThanOriginalLine(entry.bytes);
  if (!larger.isEmpty()) lines << larger;
  lines << (reused
                ? uiTranslate(QStringLiteral("Повторный подбор не запускался: использованы уже посчитанные варианты."))
                : uiTranslate(QStringLiteral("Варианты сжатия посчитаны и сохранены для этого окна.")));
  estimateLabel->setText(lines.join(QLatin1Char('\n')));
  return true;
}

void CompressedExportDialog::estimateCurrentSettings() {
  estimateButton->setEnabled(false);
  estimateLabel->setText(uiTranslate(QStringLiteral("Считаю прогноз размера...")));
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  const PdfDocument::CompressionOptions options = currentOptions();
  bool sampled = false;
  // Keeping the objects is not forecast: the document as it stands, edits
  // included, stands for it (measured on opening), never an older file on disk.
  const qint64 bytes = options.rasterizePages || originalFileSize <= 0
                           ? document->estimateCompressedSize(options, &sampled)
                           : originalFileSize;
  const PdfDocument::CompressionEstimate minimum = document->estimateMinimumCompressedSize();
  QStringList lines;
  if (bytes >= 1) {
    lines << uiTranslate(QStringLiteral("Прогноз текущих настроек: около %1%2."))
                 .arg(formatFileSize(bytes), sampledNote(sampled));
    const QString larger = largerThanOriginalLine(bytes);
    if (!larger.isEmpty()) lines << larger;
  } else {
    lines << uiTranslate(QStringLiteral("Не удалось посчитать текущие настройки: %1")).arg(document->lastError());
  }
  if (minimum.bytes > 0)
    lines << uiTranslate(QStringLiteral("Минимальный прогноз: около %1, режим: %2%3."))
                 .arg(formatFileSize(minimum.bytes), uiTranslate(minimum.label), sampledNote(minimum.sampled));
  if (!options.rasterizePages)
    lines << uiTranslate(QStringLiteral(
        "Для режима с сохранением объектов это ориентир: итоговый размер зависит от внутренних "
        "ресурсов PDF."));
  else if (options.monochrome)
    lines << uiTranslate(QStringLiteral("Монохромный режим обычно самый маленький, но убирает цвет."));
  else
    lines << uiTranslate(
        QStringLiteral("Растровый режим уменьшает файл ценой удаления редактируемого текстового слоя."));
  estimateLabel->setText(lines.join(QLatin1Char('\n')));
  QApplication::restoreOverrideCursor();
  estimateButton->setEnabled(true);
}

void CompressedExportDialog::browseOutputPath() {
  QString start = outputPathText();
  if (start.isEmpty()) start = suggestedPath;
  QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить сжатый PDF"), start,
                                              QStringLiteral("PDF файлы (*.pdf)"));
  if (path.isEmpty()) return;
  if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) path += QStringLiteral(".pdf");
  outputPathEdit->setText(withLocalizedPdfSuffix(path, QStringLiteral("compressed")));
}

void CompressedExportDialog::saveCompressionDefaults() {
  const PdfDocument::CompressionOptions options = currentOptions();
  QSettings settings;
  settings.beginGroup(kGroup);
  settings.setValue(QStringLiteral("imageDpi"), options.imageDpi);
  settings.setValue(QStringLiteral("jpegQuality"), options.jpegQuality);
  settings.setValue(QStringLiteral("grayscale"), options.grayscale);
  settings.setValue(QStringLiteral("recompressSmallImages"), options.recompressSmallImages);
  settings.setValue(QStringLiteral("rasterizePages"), options.rasterizePages);
  settings.setValue(QStringLiteral("monochrome"), options.monochrome);
  settings.setValue(QStringLiteral("targetMb"), targetSizeSpin->value());
  settings.endGroup();
  saveDefaultsButton->setText(uiTranslate(QStringLiteral("Дефолтные сохранены")));
  QTimer::singleShot(1400, saveDefaultsButton, [button = saveDefaultsButton] {
    button->setText(uiTranslate(QStringLiteral("Сохранить как дефолтные")));
  });
}

void CompressedExportDialog::onStageSliderChanged(int value) {
  applyingPreset = true;
  const CompressionStageUi stage = compressionStage(value);
  applyOptionsToControls(stage.options);
  applyingPreset = false;
  showStage(stage);
  refreshAdvancedHints();
  showCachedEstimateForCurrentOptions();
}

void CompressedExportDialog::onAdvancedOptionChanged() {
  if (!applyingPreset) showCustomSettings();
  refreshAdvancedHints();
  showCachedEstimateForCurrentOptions();
}

void CompressedExportDialog::onAdvancedToggled(bool checked) {
  advancedToggle->setArrowType(checked ? Qt::DownArrow : Qt::RightArrow);
  advancedGroup->setVisible(checked);
  fitHeightToContent(true);
}

void CompressedExportDialog::fitHeightToContent(bool exactly) {
  QWidget* body = bodyScroll ? bodyScroll->widget() : nullptr;
  if (!body || !body->layout()) return;
  body->layout()->activate();
  // As wide as the controls need (texts differ by language); the window
  // widens with it.
  bodyScroll->setMinimumWidth(body->minimumSizeHint().width() + bodyScroll->verticalScrollBar()->sizeHint().width());
  const int across = bodyScroll->viewport()->width();
  const int wanted = body->hasHeightForWidth() ? body->heightForWidth(across) : body->sizeHint().height();
  int needed = height() - bodyScroll->viewport()->height() + wanted;
  // The window's frame and the desktop's panels take their share of the screen.
  if (const QScreen* shown = screen()) {
    const int frame = std::max(frameGeometry().height() - height(), 32);
    needed = std::min(needed, shown->availableGeometry().height() - frame);
  }
  if (exactly ? height() != needed : height() < needed) resize(width(), needed);
  keepOnScreen();
}

void CompressedExportDialog::keepOnScreen() {
  const QScreen* shown = screen();
  if (!shown || !isVisible()) return;
  // A window that grew downwards moves up rather than reach past the
  // screen's foot, where its buttons could not be reached.
  const QRect free = shown->availableGeometry();
  const QRect frame = frameGeometry();
  const int dx = std::max(std::min(0, free.right() - frame.right()), free.left() - frame.left());
  const int dy = std::max(std::min(0, free.bottom() - frame.bottom()), free.top() - frame.top());
  if (dx != 0 || dy != 0) move(pos() + QPoint(dx, dy));
}

bool CompressedExportDialog::eventFilter(QObject* watched, QEvent* event) {
  if (bodyScroll && watched == bodyScroll->widget() && event->type() == QEvent::LayoutRequest) {
    // The scroll area would hear of its controls' new height only a round of
    // posted events later; told at once, it never squeezes them meanwhile.
    QEvent request(QEvent::LayoutRequest);
    QCoreApplication::sendEvent(bodyScroll, &request);
    fitHeightToContent();
  }
  return QDialog::eventFilter(watched, event);
}
