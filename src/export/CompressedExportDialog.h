#pragma once
// The dialog "Сохранить сжатый PDF": the six stages on a slider, the folded
// fine options, size forecasts and the target-size fit that runs in a child
// process. The main window runs it modally and then writes the copy
// (MainWindow::showCompressedPdfExportDialog).

#include "core/PdfDocument.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QProcess>
#include <QString>

#include <memory>

class BusyRing;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QSlider;
class MemoryOnlyFile;
class OwnedTemporaryFolder;
class QToolButton;
struct CompressionStageUi;

struct CachedCompressionEstimate {
  QString label;
  PdfDocument::CompressionOptions options;
  qint64 bytes = 0;  // 0 or less: unusable
  bool sampled = false;
};


class CompressedExportDialog : public QDialog {
  Q_OBJECT

 public:
  // originalFileSize: the size of the document as it stands, edits included.
  CompressedExportDialog(QWidget* parent, PdfDocument* document, const QString& suggestedOutputPath,
                         qint64 originalFileSize, bool fromShellAction);
  ~CompressedExportDialog() override;

  // Queues the first fit (not consulting the cache) and runs the dialog.
  int execWithFit();

  // What the fine controls hold: the options a save or a forecast uses.
  PdfDocument::CompressionOptions currentOptions() const;
  QString outputPathText() const;
  void setOutputPathText(const QString& path);
  bool openResultAfterSaving() const;
  bool fitRunning() const { return fitProcess != nullptr; }
  const QList<CachedCompressionEstimate>& cachedEstimates() const { return estimateCache; }

  // The target-size fit; userInitiated first tries the cached forecasts.
  void startTargetFit(bool userInitiated);
  bool applyBestCachedFit(bool reused);
  void estimateCurrentSettings();

  // Tests only: the program started as the fit worker (the application itself when empty).
  static void setFitProgramForTest(const QString& program);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void buildWidgets(const QString& suggestedOutputPath, bool fromShellAction);
  void connectSignals();
  void applyOptionsToControls(const PdfDocument::CompressionOptions& options);
  void showStage(const CompressionStageUi& stage);
  void showCustomSettings();
  void showStageOrCustom(const PdfDocument::CompressionOptions& options);
  void restyleStageTicks();
  void refreshAdvancedHints();
  void showCachedEstimateForCurrentOptions();
  void browseOutputPath();
  void saveCompressionDefaults();
  void onStageSliderChanged(int value);
  void onAdvancedOptionChanged();
  void onAdvancedToggled(bool checked);
  // Grows the window (or, exactly, sizes it) to its controls' height, never
  // past its screen.
  void fitHeightToContent(bool exactly = false);
  void keepOnScreen();
  bool eventFilter(QObject* watched, QEvent* event) override;
  QString largerThanOriginalLine(qint64 bytes) const;
  qint64 targetBytes() const;
  QString targetText() const;

  // The fit's parts (CompressedExportFit.cpp).
  QList<QWidget*> fitControls() const;
  void setFitControlsEnabled(bool enabled);
  void showBusyOverlay();
  void hideBusyOverlay();
  void onFitFinished(int exitCode, bool normalExit);
  void onFitStartFailed();
  void endFitProcess();
  void removeFitCopy();

  PdfDocument* document;
  QString suggestedPath;
  qint64 originalFileSize;
  QList<CachedCompressionEstimate> estimateCache;
  bool fitResultsReady = false;
  bool applyingPreset = false;
  // The document has a text layer: it opens on options that keep the page
  // objects, and the fit started on opening does not replace them with a
  // rasterising stage.
  bool keepTextLayer = false;
  bool fitByUser = false;
  void showKeepObjects();

  QLineEdit* outputPathEdit = nullptr;
  QPushButton* browseButton = nullptr;
  QCheckBox* openResultCheckBox = nullptr;
  QLabel* stageTitleLabel = nullptr;
  QLabel* stageBadgeLabel = nullptr;
  QSlider* stageSlider = nullptr;
  QList<QLabel*> stageTickLabels;
  QLabel* stageDescriptionLabel = nullptr;
  QLabel* stageWarningLabel = nullptr;
  QDoubleSpinBox* targetSizeSpin = nullptr;
  QPushButton* fitButton = nullptr;
  QScrollArea* bodyScroll = nullptr;
  QToolButton* advancedToggle = nullptr;
  QGroupBox* advancedGroup = nullptr;
  QComboBox* dpiCombo = nullptr;
  QSlider* qualitySlider = nullptr;
  QLabel* qualityValueLabel = nullptr;
  QCheckBox* grayscaleCheck = nullptr;
  QCheckBox* recompressSmallCheck = nullptr;
  QCheckBox* rasterizeCheck = nullptr;
  QCheckBox* monochromeCheck = nullptr;
  QLabel* advancedHintLabel = nullptr;
  QLabel* estimateLabel = nullptr;
  QFrame* busyOverlay = nullptr;
  QLabel* busyLabel = nullptr;
  BusyRing* busyRing = nullptr;
  QPushButton* saveDefaultsButton = nullptr;
  QPushButton* estimateButton = nullptr;
  QPushButton* cancelButton = nullptr;
  QPushButton* saveButton = nullptr;

  // The running fit: its child and the private folder holding the copy it reads.
  QPointer<QProcess> fitProcess;
  std::unique_ptr<OwnedTemporaryFolder> fitCopyFolder;
  std::unique_ptr<MemoryOnlyFile> fitCopyInMemory;
};
