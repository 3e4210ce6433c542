#include "ScannedPdfWriter.h"

#include "core/AtomicFileWrite.h"

#include <QBuffer>
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
  const auto fail = [error](const QString& text, int code) {
    if (error) *error = text;
    return code;
  };
  if (pages.count < 1) return fail(QStringLiteral("Документ не содержит страниц."), -1);
  QByteArray bytes;
  {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(options.dpi);
    writer.setPageSize(pageSizeFor(pages.sizeInPoints(0), options.rotation));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&writer)) return fail(QStringLiteral("Не удалось создать PDF файл."), -1);
    for (int i = 0; i < pages.count; ++i) {
      if (i > 0) {
        writer.setPageSize(pageSizeFor(pages.sizeInPoints(i), options.rotation));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        if (!writer.newPage()) {
          painter.end();
          return fail(QStringLiteral("Не удалось начать страницу %1.").arg(i + 1), i + 1);
        }
      }
      const QImage page = pages.render(i, options.dpi / 72.0);
      const QImage scanned = applyScannedPdfEffect(page, options, i, false);
      if (scanned.isNull()) {
        painter.end();
        return fail(QStringLiteral("Не удалось отрисовать страницу %1.").arg(i + 1), i + 1);
      }
      const QImage image = opaque(scanned, options.grayscale);
      painter.drawImage(QRectF(0, 0, writer.width(), writer.height()), image, QRectF(image.rect()));
      if (pages.progress) pages.progress(i + 1, pages.count);
    }
    if (!painter.end()) return fail(QStringLiteral("Не удалось создать PDF файл."), -1);
  }
  if (bytes.isEmpty()) return fail(QStringLiteral("Не удалось создать PDF файл."), -1);
  QString writeError;
  if (!writeFileAtomically(target, bytes, &writeError)) return fail(writeError, -1);
  return 0;
}
