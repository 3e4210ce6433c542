#include "ScanWorker.h"

#include "ScanBackend.h"
#include "ScanPostProcess.h"

QImage ScanWorker::scanOnePage() {
  QImage image = preview ? backend->doPreview(params) : backend->doScan(params);
  emit progress(70);
  if (!image.isNull()) image = scannedKind(applyPostProcess(image, params), params.colorMode);
  emit progress(90);
  return image;
}

void ScanWorker::runFeeder() {
  int pages = 0;
  for (;;) {
    const QImage image = scanOnePage();
    if (image.isNull()) {
      if (backend->feederEmpty() && pages > 0) break;
      const QString message = backend->feederEmpty() ? QStringLiteral("В автоподатчике нет бумаги") : backend->lastError();
      emit error(message.isEmpty() ? QStringLiteral("Сканирование не вернуло изображение") : message);
      emit progress(100);
      return;
    }
    ++pages;
    emit pageReady(image);
    emit progress(20);
  }
  emit finished(QImage(), false);
  emit progress(100);
}

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
  if (!preview && (params.adf || params.duplex) && backend->offersFeeder()) {
    runFeeder();
    return;
  }
  const QImage image = scanOnePage();
  if (image.isNull()) {
    const QString message = backend->lastError();
    emit error(message.isEmpty() ? QStringLiteral("Сканирование не вернуло изображение") : message);
  } else {
    emit finished(image, preview);
  }
  emit progress(100);
}
