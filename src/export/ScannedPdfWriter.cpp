#include "ScannedPdfWriter.h"
#include "ui/UiLanguage.h"

#include "core/AtomicFileWrite.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace {

QPageSize pageSizeFor(QSizeF points, int rotation) {
  if (rotation == 90 || rotation == 270) points.transpose();
  return QPageSize(QSizeF(points.width() / 72.0 * 25.4, points.height() / 72.0 * 25.4), QPageSize::Millimeter);
}

// Opaque pixels only: an alpha channel would become a second (mask) image.
QImage opaque(const QImage& image, bool grayscale) {
  return image.convertToFormat(grayscale ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
}

}  // namespace

int writeScannedPdf(const QString& target, const ScannedPdfExportOptions& options, const ScannedPdfPages& pages,
                    QString* error) {
  QString reason;
  if (pages.count < 1) reason = QStringLiteral("Документ не содержит страниц.");
  int failedPage = -1;
  // Pages stream into the temporary file beside the target: a long document
  // is never held in memory whole, and a failure leaves the target as it was.
  const auto produce = [&](QIODevice* device, QString* why) {
    QPdfWriter writer(device);
    writer.setResolution(options.dpi);
    writer.setPageSize(pageSizeFor(pages.sizeInPoints(0), options.rotation));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&writer)) {
      *why = QStringLiteral("Не удалось создать PDF файл.");
      return false;
    }
    for (int i = 0; i < pages.count; ++i) {
      if (i > 0) {
        writer.setPageSize(pageSizeFor(pages.sizeInPoints(i), options.rotation));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        if (!writer.newPage()) {
          failedPage = i + 1;
          *why = uiTranslate(QStringLiteral("Не удалось начать страницу %1.")).arg(i + 1);
          return false;
        }
      }
      const QImage scanned = applyScannedPdfEffect(pages.render(i, options.dpi / 72.0), options, i, false);
      if (scanned.isNull()) {
        failedPage = i + 1;
        *why = uiTranslate(QStringLiteral("Не удалось отрисовать страницу %1.")).arg(i + 1);
        return false;
      }
      const QImage image = opaque(scanned, options.grayscale);
      painter.drawImage(QRectF(0, 0, writer.width(), writer.height()), image, QRectF(image.rect()));
      if (pages.progress) pages.progress(i + 1, pages.count);
    }
    if (!painter.end()) {
      *why = QStringLiteral("Не удалось создать PDF файл.");
      return false;
    }
    return true;
  };
  if (reason.isEmpty() && writeFileAtomically(target, produce, &reason)) return 0;
  if (error) *error = reason;
  return failedPage > 0 ? failedPage : -1;
}
