#include "ScanWorker.h"

#include "ScanBackend.h"
#include "ScanPostProcess.h"

void ScanWorker::run() {
  if (!backend) {
    emit error(QStringLiteral("No backend"));
    return;
  }
  emit progress(5);
  if (!backend->isDeviceOpen()) {
    emit error(QStringLiteral("Устройство не открыто"));
    return;
  }
  emit progress(20);
  QImage image = preview ? backend->doPreview(params) : backend->doScan(params);
  emit progress(70);
  if (!image.isNull()) image = applyPostProcess(image, params);
  emit progress(90);
  if (image.isNull()) {
    const QString message = backend->lastError();
    emit error(message.isEmpty() ? QStringLiteral("Сканирование не вернуло изображение") : message);
  } else {
    emit finished(image, preview);
  }
  emit progress(100);
}
