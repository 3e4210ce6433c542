#pragma once
// The short start-up card with the stages of getting the window ready.

#include <QDialog>

class QLabel;
class QProgressBar;

class StartupSplash : public QDialog {
  Q_OBJECT
 public:
  explicit StartupSplash(const QString& displayName);

  // Delay per stage from "ULVO_PRELOADER_STEP_MS"; 120 ms when unset, not a
  // number or negative.
  static int stepDelayFromEnvironment();

  // Shows each stage in turn, letting events through once per stage.
  void runStages(int stepDelayMs);

  QString stageText() const;
  int progressValue() const;

 private:
  QLabel* stageLabel = nullptr;
  QProgressBar* progress = nullptr;
};
