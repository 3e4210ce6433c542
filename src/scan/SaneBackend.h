#pragma once
// Real scanners through libsane: the devices SANE knows (local and on the
// network), their resolutions, mode, brightness, scan area and source set by
// option name, and every frame of a scan read into one image that carries the
// scan resolution. The device is only called from the thread that scans; a
// cancel from elsewhere is a flag that the reading loop looks at.

#include "ScanBackend.h"

#include <sane/sane.h>

#include <atomic>

class SaneBackend : public ScanBackend {
 public:
  SaneBackend() = default;
  ~SaneBackend() override;
  SaneBackend(const SaneBackend&) = delete;
  SaneBackend& operator=(const SaneBackend&) = delete;

  bool init() override;
  void cleanup() override;
  QList<ScanDevice> enumerateDevices() override;
  bool openDevice(const QString& id) override;
  void closeDevice() override;
  QList<int> supportedResolutions() override;
  QImage doPreview(const ScanParams& params) override;
  QImage doScan(const ScanParams& params) override;
  QString lastError() const override { return errorText; }
  bool isDeviceOpen() const override { return handle != nullptr; }
  void cancelScan() override { cancelled = true; }
  void clearCancel() override { cancelled = false; }
  bool offersFeeder() const override;
  bool offersDuplex() const override;
  bool feederEmpty() const override { return feederWasEmpty; }

  // The open device, for setting options the scan dialog does not offer.
  SANE_Handle deviceHandle() const { return handle; }

 private:
  QImage scanAt(const ScanParams& params, int dpi);
  void applyMode(int colorMode);
  void applyArea(const ScanParams& params, double dpi);
  void applySource(const ScanParams& params);
  QString sourceValue(bool feeder, bool duplex) const;
  QImage failScan(const QString& text);
  QImage cancelledScan();

  bool initialised = false;
  SANE_Handle handle = nullptr;
  QString errorText;
  std::atomic<bool> cancelled{false};
  bool feederWasEmpty = false;
};
