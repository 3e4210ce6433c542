#include "ScannedPagePdf.h"

#include "core/AtomicFileWrite.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPageSize>
#include <QPdfWriter>
#include <QTemporaryFile>

#include <cmath>

namespace {

constexpr double kDotsPerMetrePerDpi = 39.3701;

double dpiOf(int dotsPerMetre) { return dotsPerMetre > 0 ? dotsPerMetre / kDotsPerMetrePerDpi : 300.0; }

}  // namespace

QSizeF scannedPageSizePoints(const QImage& image) {
  return QSizeF(image.width() * 72.0 / dpiOf(image.dotsPerMeterX()), image.height() * 72.0 / dpiOf(image.dotsPerMeterY()));
}

QString writeScannedPagePdf(const QImage& image, QString* error) {
  const auto fail = [error](const QString& text) {
    if (error) *error = text;
    return QString();
  };
  if (image.isNull()) return fail(QStringLiteral("Пустое изображение"));
  const QSizeF points = scannedPageSizePoints(image);
  const QPageSize pageSize(QSizeF(points.width() / 72.0 * 25.4, points.height() / 72.0 * 25.4), QPageSize::Millimeter,
                           QString(), QPageSize::FuzzyMatch);
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&buffer);
    writer.setPageSize(pageSize);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(image.dotsPerMeterX() > 0 ? int(std::lround(image.dotsPerMeterX() / kDotsPerMetrePerDpi)) : 300);
    QPainter painter;
    if (!painter.begin(&writer)) return fail(QStringLiteral("Не удалось начать PDF"));
    painter.drawImage(QRect(0, 0, writer.width(), writer.height()), image);
    painter.end();
  }
  if (buffer.data().isEmpty()) return fail(QStringLiteral("PDF пуст"));

  QTemporaryFile file(QDir(QDir::tempPath())
                          .filePath(QStringLiteral("ulvo_scan_%1_XXXXXX.pdf").arg(QDateTime::currentMSecsSinceEpoch())));
  file.setAutoRemove(false);
  if (!file.open()) return fail(file.errorString());
  const QString path = file.fileName();
  file.close();
  QString writeError;
  if (!writeFileAtomically(path, buffer.data(), &writeError)) {
    QFile::remove(path);
    return fail(writeError);
  }
  return path;
}
