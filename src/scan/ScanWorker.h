#pragma once
// One preview or scan away from the GUI thread: the backend's blocking call,
// then the post-processing; results travel back by queued signals. A worker
// runs once and deletes itself when its thread ends.

#include "ScanParams.h"

#include <QImage>
#include <QObject>

class ScanBackend;

class ScanWorker : public QObject {
  Q_OBJECT

 public:
  ScanBackend* backend = nullptr;  // borrowed from the tab
  ScanParams params;
  bool preview = false;

 public slots:
  void run();

 signals:
  void finished(QImage image, bool isPreview);
  void error(QString message);
  void progress(int percent);
};
