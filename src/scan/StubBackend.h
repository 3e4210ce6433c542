#pragma once
// The demonstration scanner used when SANE cannot start: one virtual flatbed
// that answers with a blank page of the chosen paper, so the whole road from
// the scan tab to the document can run without hardware.

#include "ScanBackend.h"

class StubBackend : public ScanBackend {
 public:
  bool init() override { return true; }
  void cleanup() override {}
  QList<ScanDevice> enumerateDevices() override;
  bool openDevice(const QString& id) override;
  void closeDevice() override { open = false; }
  QList<int> supportedResolutions() override;
  QImage doPreview(const ScanParams& params) override { return makeDemo(params, true); }
  QImage doScan(const ScanParams& params) override { return makeDemo(params, false); }
  QString lastError() const override { return QString(); }
  bool isDeviceOpen() const override { return open; }

  static QImage makeDemo(const ScanParams& params, bool preview);

 private:
  bool open = false;
};
