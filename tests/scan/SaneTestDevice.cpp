#include "SaneTestDevice.h"

#include "TestSupport.h"
#include "scan/SaneBackend.h"
#include "scan/SaneOptions.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace scantest {

namespace {

QString configDir() {
  static QTemporaryDir folder;
  static const bool written = [] {
    QFile dll(folder.filePath(QStringLiteral("dll.conf")));
    QFile test(folder.filePath(QStringLiteral("test.conf")));
    if (!dll.open(QIODevice::WriteOnly) || !test.open(QIODevice::WriteOnly)) return false;
    dll.write("test\n");
    test.write("number_of_devices 2\nmode Gray\ndepth 8\nresolution_min 1.0\nresolution_max 1200.0\n"
               "resolution_quant 1.0\nresolution 75.0\ntest-picture \"Grid\"\n"
               "geometry_min 0.0\ngeometry_max 300.0\ngeometry_quant 1.0\n"
               "tl_x 0.0\ntl_y 0.0\nbr_x 210.0\nbr_y 297.0\n");
    return true;
  }();
  return written ? folder.path() : QString();
}

SANE_Handle handleOf(ScanBackend* backend) {
  auto* sane = dynamic_cast<SaneBackend*>(backend);
  return sane ? sane->deviceHandle() : nullptr;
}

// One PNM token after `pos` (whitespace and comments skipped).
QByteArray token(const QByteArray& data, qsizetype* pos) {
  while (*pos < data.size()) {
    if (data[*pos] == '#') {
      while (*pos < data.size() && data[*pos] != '\n') ++*pos;
    } else if (QChar::isSpace(uchar(data[*pos]))) {
      ++*pos;
    } else {
      break;
    }
  }
  const qsizetype start = *pos;
  while (*pos < data.size() && !QChar::isSpace(uchar(data[*pos]))) ++*pos;
  return data.mid(start, *pos - start);
}

}  // namespace

void useSaneTestDevice() { qputenv("SANE_CONFIG_DIR", configDir().toLocal8Bit()); }

bool setDeviceNumber(ScanBackend* backend, const char* name, double value) {
  const SANE_Handle handle = handleOf(backend);
  return handle && setSaneNumber(handle, name, value);
}

bool setDeviceString(ScanBackend* backend, const char* name, const QString& value) {
  const SANE_Handle handle = handleOf(backend);
  return handle && setSaneString(handle, name, value);
}

bool makeDeviceSlow(ScanBackend* backend) {
  return setDeviceNumber(backend, "read-limit", 1) && setDeviceNumber(backend, "read-limit-size", 64) &&
         setDeviceNumber(backend, "read-delay", 1) && setDeviceNumber(backend, "read-delay-duration", 20000);
}

namespace {

// A PNM decoded with 16-bit samples reduced to their high byte; null when
// the samples stop short of what the header announces.
QImage decodePnm(const QByteArray& pnm) {
  qsizetype pos = 0;
  const QByteArray magic = token(pnm, &pos);
  const int width = token(pnm, &pos).toInt();
  const int height = token(pnm, &pos).toInt();
  const int maxValue = magic == "P4" ? 1 : token(pnm, &pos).toInt();
  ++pos;  // the one whitespace before the samples
  const auto* data = reinterpret_cast<const uchar*>(pnm.constData() + pos);
  const qsizetype available = pnm.size() - pos;
  const int channels = magic == "P6" ? 3 : 1;
  const int bytesPerSample = maxValue > 255 ? 2 : 1;
  QImage image(width, height, channels == 3 ? QImage::Format_RGB888 : QImage::Format_Grayscale8);
  for (int y = 0; y < height; ++y) {
    uchar* out = image.scanLine(y);
    for (int i = 0; i < width * channels; ++i) {
      if (magic == "P4") {
        const qsizetype byte = qsizetype(y) * ((width + 7) / 8) + i / 8;
        if (byte >= available) return QImage();
        out[i] = (data[byte] >> (7 - i % 8)) & 1 ? 0 : 255;  // PBM: 1 is black
      } else {
        const qsizetype at = (qsizetype(y) * width * channels + i) * bytesPerSample;
        if (at + bytesPerSample > available) return QImage();
        out[i] = data[at];  // big-endian: the high byte comes first
      }
    }
  }
  return image;
}

}  // namespace

QImage scanimageReference(const QStringList& options) {
  useSaneTestDevice();
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("reference.pnm"));
  // On a loaded machine scanimage now and then ends the test device's frame
  // after its first 32 KB and still exits with 0, or (once in a full run)
  // never ends a scan that takes milliseconds: such a reference is taken
  // again rather than compared.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (testsupport::runTool(QStringLiteral("scanimage"),
                             QStringList{QStringLiteral("-d"), QStringLiteral("test:0"), QStringLiteral("--format=pnm"),
                                         QStringLiteral("--output-file"), path} +
                                 options,
                             nullptr, 30000) != 0)
      continue;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QImage();
    const QImage image = decodePnm(file.readAll());
    if (!image.isNull()) return image;
  }
  return QImage();
}

}  // namespace scantest
