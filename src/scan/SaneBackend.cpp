#include "SaneBackend.h"

#include "SaneOptions.h"
#include "SaneReaderCancel.h"
#include "ScanFrame.h"
#include "ScanFrameReader.h"

#include <QByteArray>

#include <cmath>
#include <mutex>

namespace {

const QList<int> kFixedResolutions = {75, 100, 150, 200, 300, 400, 600, 1200};
// A scanner sends one frame, or three for three-pass colour.
constexpr int kMaxFrames = 3;

QString statusText(SANE_Status status) { return QString::fromUtf8(sane_strstatus(status)); }
QString utf8(SANE_String_Const text) { return text ? QString::fromUtf8(text) : QString(); }

// sane_init and sane_exit are process-wide: a backend left with a scan that
// is still winding down must not lose SANE under a newer one.
std::mutex saneUsersLock;
int saneUsers = 0;

bool acquireSane(SANE_Status* failure) {
  const std::lock_guard<std::mutex> guard(saneUsersLock);
  if (saneUsers == 0) {
    SANE_Int version = 0;
    const SANE_Status status = sane_init(&version, nullptr);
    if (status != SANE_STATUS_GOOD) {
      *failure = status;
      return false;
    }
  }
  ++saneUsers;
  return true;
}

void releaseSane() {
  const std::lock_guard<std::mutex> guard(saneUsersLock);
  if (--saneUsers == 0) sane_exit();
}

// The first of `names` the device offers, compared without case.
QString offered(const QStringList& values, const QStringList& names) {
  for (const QString& name : names)
    for (const QString& value : values)
      if (value.compare(name, Qt::CaseInsensitive) == 0) return value;
  return QString();
}

}  // namespace

SaneBackend::~SaneBackend() { cleanup(); }

bool SaneBackend::init() {
  keepSaneReaderCancellationDeferred();
  SANE_Status status = SANE_STATUS_GOOD;
  initialised = acquireSane(&status);
  if (!initialised) errorText = QStringLiteral("sane_init: %1").arg(statusText(status));
  return initialised;
}

void SaneBackend::cleanup() {
  closeDevice();
  if (initialised) {
    releaseSane();
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

QList<int> SaneBackend::supportedResolutions() {
  if (!handle) return kFixedResolutions;
  const std::optional<QList<double>> words = saneWordList(handle, "resolution");
  if (!words) return kFixedResolutions;
  QList<int> values;
  for (double word : *words) values << int(std::lround(word));
  return values;
}

QString SaneBackend::sourceValue(bool feeder, bool duplex) const {
  return pickSaneSource(saneStringList(handle, "source"), feeder, duplex);
}

bool SaneBackend::offersFeeder() const { return handle && !sourceValue(true, false).isEmpty(); }
bool SaneBackend::offersDuplex() const { return handle && !sourceValue(true, true).isEmpty(); }

QImage SaneBackend::doPreview(const ScanParams& params) { return scanAt(params, 75); }
QImage SaneBackend::doScan(const ScanParams& params) { return scanAt(params, params.dpi); }

QImage SaneBackend::failScan(const QString& text) {
  errorText = text;
  return QImage();
}

QImage SaneBackend::cancelledScan() { return failScan(statusText(SANE_STATUS_CANCELLED)); }

void SaneBackend::applyMode(int colorMode) {
  const QStringList modes = saneStringList(handle, "mode");
  const std::optional<QList<double>> depths = saneWordList(handle, "depth");
  const std::optional<double> depth = saneNumber(handle, "depth");
  if (modes.isEmpty()) return;
  const QStringList grey{QStringLiteral("Gray"), QStringLiteral("Grey"), QStringLiteral("Grayscale")};
  const QStringList wanted =
      colorMode == 0   ? QStringList{QStringLiteral("Color"), QStringLiteral("Colour"), QStringLiteral("RGB")}
      : colorMode == 1 ? grey
                       : QStringList{QStringLiteral("Lineart"), QStringLiteral("Binary"), QStringLiteral("Halftone"),
                                     QStringLiteral("Black & White")};
  const QString mode = offered(modes, wanted);
  if (mode.isEmpty() && colorMode == 2) {
    // A device without a line-art mode scans line art as 1-bit grey.
    const QString greyMode = offered(modes, grey);
    if (!greyMode.isEmpty() && depths && depths->contains(1)) {
      setSaneString(handle, "mode", greyMode);
      setSaneNumber(handle, "depth", 1);
    }
    return;
  }
  if (!mode.isEmpty()) setSaneString(handle, "mode", mode);
  // A 1-bit depth left from line art would turn grey and colour into line art.
  if (colorMode != 2 && depth && *depth == 1 && depths && depths->contains(8)) setSaneNumber(handle, "depth", 8);
}

void SaneBackend::applyArea(const ScanParams& params, double dpi) {
  const std::optional<QSizeF> paper = scanPaperMillimetres(params);
  if (!paper) return;
  // Geometry is in millimetres or in pixels at the scan resolution; the
  // option ranges clamp a paper larger than the glass to the glass.
  const SANE_Unit unit = saneUnit(handle, "br-x");
  setSaneNumber(handle, "tl-x", 0);
  setSaneNumber(handle, "tl-y", 0);
  const double left = saneNumber(handle, "tl-x").value_or(0);
  const double top = saneNumber(handle, "tl-y").value_or(0);
  setSaneNumber(handle, "br-x", left + saneAreaExtent(paper->width(), unit, dpi));
  setSaneNumber(handle, "br-y", top + saneAreaExtent(paper->height(), unit, dpi));
}

void SaneBackend::applySource(const ScanParams& params) {
  const QString value = sourceValue(params.adf || params.duplex, params.duplex);
  // Duplex without a duplex source still feeds one side at a time.
  const QString chosen = value.isEmpty() && params.duplex ? sourceValue(true, false) : value;
  if (!chosen.isEmpty()) setSaneString(handle, "source", chosen);
}

QImage SaneBackend::scanAt(const ScanParams& params, int dpi) {
  feederWasEmpty = false;
  if (!handle) return failScan(QStringLiteral("No device open"));
  if (cancelled) return cancelledScan();
  applyMode(params.colorMode);
  applySource(params);
  setSaneNumber(handle, "resolution", dpi);
  if (params.brightness != 0) setSaneNumber(handle, "brightness", params.brightness);
  // The resolution the device settled on is the one the image is measured in.
  const double resolution = saneNumber(handle, "resolution").value_or(dpi);
  applyArea(params, resolution);

  const SaneReadFunction read = [this](SANE_Byte* buffer, SANE_Int maxLength, SANE_Int* length) {
    return sane_read(handle, buffer, maxLength, length);
  };
  QList<ScanFrame> frames;
  bool lastFrame = false;
  while (!lastFrame) {
    SANE_Status status = sane_start(handle);
    if (status != SANE_STATUS_GOOD) {
      if (!frames.isEmpty()) sane_cancel(handle);
      feederWasEmpty = status == SANE_STATUS_NO_DOCS;
      return failScan(QStringLiteral("sane_start: %1").arg(statusText(status)));
    }
    SANE_Parameters parameters{};
    sane_get_parameters(handle, &parameters);
    ScanFrame frame{int(parameters.format), parameters.bytes_per_line, parameters.pixels_per_line, parameters.depth, {}};
    const qint64 limit = scanFrameByteLimit(parameters);
    if (limit <= 0) {
      sane_cancel(handle);
      return failScan(QStringLiteral("Область сканирования слишком велика для этого разрешения"));
    }
    const FrameReadResult result = readScanFrame(read, limit, cancelled, &frame.data);
    if (result.end != FrameReadEnd::Complete) {
      sane_cancel(handle);
      if (result.end == FrameReadEnd::Cancelled) return cancelledScan();
      if (result.end == FrameReadEnd::TooLarge)
        return failScan(QStringLiteral("Сканер передал больше данных, чем объявил; сканирование остановлено"));
      return failScan(QStringLiteral("sane_read: %1").arg(statusText(result.status)));
    }
    frames << frame;
    lastFrame = parameters.last_frame || frames.size() >= kMaxFrames;
  }
  sane_cancel(handle);

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
