#pragma once
// One preview or scan away from the GUI thread: the backend's blocking call,
// then the post-processing; results travel back by queued signals. A feeder
// scan takes pages until the device reports the feeder empty and hands each
// page over as it comes. A worker runs once and deletes itself when its
// thread ends.

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
  // A page of a feeder scan; the run goes on.
  void pageReady(QImage image);
  // The run's end: the image of a preview or flatbed scan, or a null image
  // after a feeder scan whose pages came through pageReady.
  void finished(QImage image, bool isPreview);
  void error(QString message);
  void progress(int percent);

 private:
  QImage scanOnePage();
  void runFeeder();
};
