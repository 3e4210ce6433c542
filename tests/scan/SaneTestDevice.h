#pragma once
// SANE's own "test" device for the scan tests: a private configuration that
// loads only the test backend (no USB or network probing) with an A4 scan
// area, and direct access to the device options the dialog does not offer.

#include "scan/ScanBackend.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

namespace scantest {

// Points SANE_CONFIG_DIR at the private configuration; call before anything
// in the process initialises SANE (SANE reads the variable once).
void useSaneTestDevice();

// A SANE backend whose library does not start: the factory must fall back
// to the demonstration scanner.
class SaneThatCannotStart : public ScanBackend {
 public:
  bool init() override { return false; }
  void cleanup() override {}
  QList<ScanDevice> enumerateDevices() override { return {}; }
  bool openDevice(const QString&) override { return false; }
  void closeDevice() override {}
  QList<int> supportedResolutions() override { return {}; }
  QImage doPreview(const ScanParams&) override { return QImage(); }
  QImage doScan(const ScanParams&) override { return QImage(); }
  QString lastError() const override { return QStringLiteral("sane_init: failed"); }
  bool isDeviceOpen() const override { return false; }
};

// Sets an option of the backend's open SANE device; false when the backend is
// not the SANE one or the device refuses.
bool setDeviceNumber(ScanBackend* backend, const char* name, double value);
bool setDeviceString(ScanBackend* backend, const char* name, const QString& value);
// Makes the device read 64 bytes at a time with a pause of 20 ms after each:
// a scan that would take minutes. False when an option cannot be set.
bool makeDeviceSlow(ScanBackend* backend);

// The same scan made by SANE's own `scanimage`, decoded from its PNM output
// with 16-bit samples reduced to their high byte: the oracle of the frame
// conversion. A null image when scanimage failed.
QImage scanimageReference(const QStringList& options);

}  // namespace scantest
