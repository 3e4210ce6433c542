#include "SaneBackend.h"

#include "SaneOptions.h"
#include "ScanFrame.h"

#include <QByteArray>

#include <cmath>

namespace {

const QList<int> kFixedResolutions = {75, 100, 150, 200, 300, 400, 600, 1200};
constexpr int kReadChunk = 65536;
// A scanner sends one frame, or three for three-pass colour.
constexpr int kMaxFrames = 3;
constexpr qint64 kMaxReserve = qint64(1) << 30;

QString statusText(SANE_Status status) { return QString::fromUtf8(sane_strstatus(status)); }
QString utf8(SANE_String_Const text) { return text ? QString::fromUtf8(text) : QString(); }

}  // namespace

SaneBackend::~SaneBackend() { cleanup(); }

bool SaneBackend::init() {
  SANE_Int version = 0;
  const SANE_Status status = sane_init(&version, nullptr);
  initialised = status == SANE_STATUS_GOOD;
  if (!initialised) errorText = QStringLiteral("sane_init: %1").arg(statusText(status));
  return initialised;
}

void SaneBackend::cleanup() {
  closeDevice();
  if (initialised) {
    sane_exit();
    initialised = false;
  }
}

QList<ScanDevice> SaneBackend::enumerateDevices() {
  QList<ScanDevice> devices;
  if (!initialised) return devices;
  const SANE_Device** list = nullptr;
  if (sane_get_devices(&list, SANE_FALSE) != SANE_STATUS_GOOD || !list) return devices;
  for (const SANE_Device** device = list; *device; ++device)
    devices << ScanDevice{utf8((*device)->name), utf8((*device)->vendor), utf8((*device)->model), utf8((*device)->type)};
  return devices;
}

bool SaneBackend::openDevice(const QString& id) {
  closeDevice();
  SANE_Handle opened = nullptr;
  const SANE_Status status = sane_open(id.toUtf8().constData(), &opened);
  if (status != SANE_STATUS_GOOD) {
    errorText = QStringLiteral("sane_open: %1").arg(statusText(status));
    return false;
  }
  handle = opened;
  return true;
}

void SaneBackend::closeDevice() {
  if (!handle) return;
  sane_close(handle);
  handle = nullptr;
}

void SaneBackend::cancelScan() {
  cancelled = true;
  // sane_cancel is the one call SANE allows while sane_read blocks elsewhere.
  if (scanning && handle) sane_cancel(handle);
}

QList<int> SaneBackend::supportedResolutions() {
  if (!handle) return kFixedResolutions;
  const std::optional<QList<double>> words = saneWordList(handle, "resolution");
  if (!words) return kFixedResolutions;
  QList<int> values;
  for (double word : *words) values << int(std::lround(word));
  return values;
}

QImage SaneBackend::doPreview(const ScanParams& params) { return scanAt(params, 75); }
QImage SaneBackend::doScan(const ScanParams& params) { return scanAt(params, params.dpi); }

QImage SaneBackend::failScan(const QString& text) {
  errorText = text;
  return QImage();
}

void SaneBackend::applyMode(int colorMode) {
  const QStringList modes = saneStringList(handle, "mode");
  const QString wanted = colorMode == 0 ? QStringLiteral("Color")
                         : colorMode == 1 ? QStringLiteral("Gray")
                                          : QStringLiteral("Lineart");
  const std::optional<QList<double>> depths = saneWordList(handle, "depth");
  const std::optional<double> depth = saneNumber(handle, "depth");
  if (modes.isEmpty() || modes.contains(wanted)) {
    setSaneString(handle, "mode", wanted);
  } else if (colorMode == 2 && modes.contains(QStringLiteral("Gray")) && depths && depths->contains(1)) {
    // A device without a line-art mode scans line art as 1-bit grey.
    setSaneString(handle, "mode", QStringLiteral("Gray"));
    setSaneNumber(handle, "depth", 1);
    return;
  }
  // A 1-bit depth left from line art would turn grey and colour into line art.
  if (colorMode != 2 && depth && *depth == 1 && depths && depths->contains(8)) setSaneNumber(handle, "depth", 8);
}

QImage SaneBackend::scanAt(const ScanParams& params, int dpi) {
  if (!handle) return failScan(QStringLiteral("No device open"));
  if (cancelled) return failScan(statusText(SANE_STATUS_CANCELLED));
  applyMode(params.colorMode);
  setSaneNumber(handle, "resolution", dpi);
  if (params.brightness != 0) setSaneNumber(handle, "brightness", params.brightness);
  // The resolution the device settled on is the one the image is measured in.
  const double resolution = saneNumber(handle, "resolution").value_or(dpi);

  scanning = true;
  QList<ScanFrame> frames;
  QByteArray chunk(kReadChunk, Qt::Uninitialized);
  bool lastFrame = false;
  while (!lastFrame) {
    if (cancelled) {
      sane_cancel(handle);
      scanning = false;
      return failScan(statusText(SANE_STATUS_CANCELLED));
    }
    SANE_Status status = sane_start(handle);
    if (status != SANE_STATUS_GOOD) {
      if (!frames.isEmpty()) sane_cancel(handle);
      scanning = false;
      return failScan(QStringLiteral("sane_start: %1").arg(statusText(status)));
    }
    SANE_Parameters parameters{};
    sane_get_parameters(handle, &parameters);
    ScanFrame frame{int(parameters.format), parameters.bytes_per_line, parameters.pixels_per_line, parameters.depth, {}};
    // The announced size is only a hint: a device may not know it, or lie.
    const qint64 announced = qint64(parameters.lines) * parameters.bytes_per_line;
    if (announced > 0 && announced <= kMaxReserve) frame.data.reserve(qsizetype(announced));
    for (;;) {
      SANE_Int length = 0;
      status = sane_read(handle, reinterpret_cast<SANE_Byte*>(chunk.data()), kReadChunk, &length);
      if (status == SANE_STATUS_EOF) break;
      if (status != SANE_STATUS_GOOD) {
        sane_cancel(handle);
        scanning = false;
        return failScan(QStringLiteral("sane_read: %1").arg(statusText(status)));
      }
      frame.data.append(chunk.constData(), length);
    }
    frames << frame;
    lastFrame = parameters.last_frame || frames.size() >= kMaxFrames;
  }
  sane_cancel(handle);
  scanning = false;

  QString conversionError;
  QImage image = imageFromScanFrames(frames, &conversionError);
  if (image.isNull()) {
    if (!conversionError.isEmpty()) errorText = conversionError;
    return QImage();
  }
  const int dotsPerMetre = int(std::lround(resolution / 0.0254));
  image.setDotsPerMeterX(dotsPerMetre);
  image.setDotsPerMeterY(dotsPerMetre);
  return image;
}
