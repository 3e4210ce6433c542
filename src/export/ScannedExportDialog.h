#pragma once
// The dialog "Сохранить как сканированный PDF": target file, page and effect
// options with a live preview of the current page, and the stored defaults
// under "export/scannedPdf". The window writes the file once it is accepted
// (MainWindow::showScannedPdfExportDialog).

#include "ScannedPageEffect.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

// The stored defaults; the path is never stored.
ScannedPdfExportOptions storedScannedPdfOptions();
void saveScannedPdfDefaults(const ScannedPdfExportOptions& options);

class ScannedExportDialog : public QDialog {
  Q_OBJECT

 public:
  // `renderPreviewPage` gives the page the preview shows at a scale.
  ScannedExportDialog(QWidget* parent, const ScannedPdfExportOptions& options, int previewPage,
                      std::function<QImage(int page, double scale)> renderPreviewPage);

  // The options as the controls hold them (the path trimmed).
  ScannedPdfExportOptions readBack() const;
  QLabel* previewLabel() const { return preview; }

 private:
  void refreshPreview();
  void browse();
  void saveDefaults();

  ScannedPdfExportOptions options;
  int previewPage;
  std::function<QImage(int, double)> renderPreviewPage;
  QLineEdit* pathEdit = nullptr;
  QComboBox* dpiCombo = nullptr;
  QComboBox* rotationCombo = nullptr;
  QDoubleSpinBox* marginSpin = nullptr;
  QDoubleSpinBox* skewSpin = nullptr;
  QCheckBox* randomizeCheck = nullptr;
  QSlider* darknessSlider = nullptr;
  QSlider* contrastSlider = nullptr;
  QSlider* noiseSlider = nullptr;
  QSlider* stripesSlider = nullptr;
  QSlider* streaksSlider = nullptr;
  QSlider* shadowSlider = nullptr;
  QSlider* cornerSlider = nullptr;
  QCheckBox* grayscaleCheck = nullptr;
  QLabel* preview = nullptr;
  QPushButton* defaultsButton = nullptr;
};
