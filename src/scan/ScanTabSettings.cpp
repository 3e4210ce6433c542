// The scan tab's choices under "scan/": every key is applied before the first
// save, so loading never stores a half-loaded table.
#include "ScanTab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>

#include <vector>

struct ScanTab::SwitchSetting {
  QCheckBox* box;
  const char* key;
  bool fallback;
};

std::vector<ScanTab::SwitchSetting> ScanTab::switchSettings() const {
  return {{geomCorrBox, "geom_corr", false},     {perspCorrBox, "persp_corr", false},
          {skewBox, "skew", true},               {structuralBox, "structural", false},
          {noiseRemoveBox, "noise_remove", true}, {autoBrightBox, "auto_bright", true},
          {autoContrastBox, "auto_contrast", true}, {whiteBalanceBox, "white_balance", false},
          {denoiseBox, "denoise", true},         {sharpenBox, "sharpen", false},
          {textEnhanceBox, "text_enhance", true}};
}

void ScanTab::loadSettings() {
  loadingSettings = true;
  QSettings settings;
  const auto value = [&settings](const char* key, const QVariant& fallback) {
    return settings.value(QStringLiteral("scan/") + QLatin1String(key), fallback);
  };
  for (const SwitchSetting& entry : switchSettings()) entry.box->setChecked(value(entry.key, entry.fallback).toBool());
  const int resolution =
      resolutionCombo->findText(value("resolution", QStringLiteral("300 dpi")).toString(), Qt::MatchFixedString);
  if (resolution >= 0) resolutionCombo->setCurrentIndex(resolution);
  modeCombo->setCurrentIndex(value("color_mode", 0).toInt());
  brightnessSlider->setValue(value("brightness", 0).toInt());
  paperCombo->setCurrentIndex(value("page_size", 0).toInt());
  orientationCombo->setCurrentIndex(value("orientation", 0).toInt());
  adfBox->setChecked(value("adf", false).toBool());
  duplexBox->setChecked(value("duplex", false).toBool());
  delaySpin->setValue(value("delay", 0).toInt());
  loadingSettings = false;
}

void ScanTab::saveSettings() {
  if (loadingSettings) return;
  QSettings settings;
  const auto store = [&settings](const char* key, const QVariant& value) {
    settings.setValue(QStringLiteral("scan/") + QLatin1String(key), value);
  };
  for (const SwitchSetting& entry : switchSettings()) store(entry.key, entry.box->isChecked());
  store("resolution", resolutionCombo->currentText());
  store("color_mode", modeCombo->currentIndex());
  store("brightness", brightnessSlider->value());
  store("page_size", paperCombo->currentIndex());
  store("orientation", orientationCombo->currentIndex());
  store("adf", adfBox->isChecked());
  store("duplex", duplexBox->isChecked());
  store("delay", delaySpin->value());
  store("interface_id", interfaceCombo->currentData().toString());
}
