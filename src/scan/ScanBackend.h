#pragma once
// The one interface through which scanning reaches a device. A backend is not
// thread-safe: the worker runs doPreview/doScan while the tab keeps the object,
// and the tab's busy flag keeps calls from overlapping. Failures come back as
// false, an empty list or a null image, with a text in lastError().

#include "ScanParams.h"

#include <QImage>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

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
  // null image. Safe from any thread; final: the tab calls it only on its way
  // out, so no later scan of this object is expected to succeed.
  virtual void cancelScan() {}
};

// The backend the scan tab owns, already initialised: SANE when it starts,
// otherwise the demonstration backend.
std::unique_ptr<ScanBackend> createScanBackend();

// Replaces how the SANE backend is made (tests use one that cannot start);
// an empty function restores the real one.
void setSaneBackendMaker(std::function<std::unique_ptr<ScanBackend>()> maker);
