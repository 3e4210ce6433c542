#pragma once
// The one interface through which scanning reaches a device. A backend is not
// thread-safe: the worker runs doPreview/doScan while the tab keeps the object,
// and the tab's busy flag keeps calls from overlapping. Failures come back as
// false, an empty list or a null image, with a text in lastError().

#include "ScanParams.h"

#include <QImage>
#include <QList>
#include <QSizeF>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class ScanBackend {
 public:
  virtual ~ScanBackend() = default;

  virtual bool init() = 0;
  virtual void cleanup() = 0;
  virtual QList<ScanDevice> enumerateDevices() = 0;
  virtual bool openDevice(const QString& id) = 0;
  virtual void closeDevice() = 0;
  virtual QList<int> supportedResolutions() = 0;
  virtual QImage doPreview(const ScanParams& params) = 0;
  virtual QImage doScan(const ScanParams& params) = 0;
  virtual QString lastError() const = 0;
  virtual bool isDeviceOpen() const = 0;

  virtual bool hasLivePreview() const { return false; }
  virtual bool isCameraDevice() const { return false; }
  virtual bool startLivePreview() { return false; }
  virtual void stopLivePreview() {}
  virtual QImage grabLiveFrame() { return QImage(); }
  virtual bool supportsNativeDialog() const { return false; }
  virtual QImage doNativeScan(quint64 windowId) {
    Q_UNUSED(windowId);
    return QImage();
  }

  // Makes a doPreview/doScan running on another thread return soon with a
  // null image; the device itself is only touched by that thread. Safe from
  // any thread. It holds until clearCancel, which the tab calls before a run.
  virtual void cancelScan() {}
  virtual void clearCancel() {}
  // Whether the open device has a document feeder, and one that scans both
  // sides; doScan uses it when the parameters ask for it.
  virtual bool offersFeeder() const { return false; }
  virtual bool offersDuplex() const { return false; }
  // The last doScan found the feeder empty: a feeder run has ended.
  virtual bool feederEmpty() const { return false; }
};

// The paper of the parameters in millimetres, turned for landscape; none for
// "Произвольный", which scans the area the device has set.
std::optional<QSizeF> scanPaperMillimetres(const ScanParams& params);

// The backend the scan tab owns, already initialised: SANE when it starts,
// otherwise the demonstration backend.
std::unique_ptr<ScanBackend> createScanBackend();

// Replaces how the SANE backend is made (tests use one that cannot start);
// an empty function restores the real one.
void setSaneBackendMaker(std::function<std::unique_ptr<ScanBackend>()> maker);
