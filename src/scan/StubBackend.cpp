#include "StubBackend.h"

#include <QCoreApplication>
#include <QFont>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

QList<ScanDevice> StubBackend::enumerateDevices() {
  return {ScanDevice{QStringLiteral("demo:0"), QStringLiteral("Demo"), QStringLiteral("Virtual Scanner"),
                     QStringLiteral("flatbed scanner")}};
}

bool StubBackend::openDevice(const QString&) {
  open = true;
  return true;
}

QList<int> StubBackend::supportedResolutions() { return {75, 100, 150, 200, 300, 400, 600, 1200}; }

QImage StubBackend::makeDemo(const ScanParams& params, bool preview) {
  // A custom size scans the demonstration device's whole A4 area.
  const std::optional<QSizeF> chosen = scanPaperMillimetres(params);
  QSizeF paper = chosen.value_or(QSizeF(210, 297));
  if (!chosen && params.landscape) paper.transpose();

  const int dpi = preview ? 75 : params.dpi;
  const double scale = dpi / 25.4;
  const int width = std::min(int(std::lround(paper.width() * scale)), 2480);
  const int height = std::min(int(std::lround(paper.height() * scale)), 3508);
  QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_RGB888);
  image.fill(Qt::white);
  // The page says at what resolution it was made; the capped axes keep their
  // pixels, so the resolution is the one that fits the paper.
  image.setDotsPerMeterX(int(std::lround(image.width() / (paper.width() / 1000.0))));
  image.setDotsPerMeterY(int(std::lround(image.height() / (paper.height() / 1000.0))));

  QPainter painter(&image);
  painter.setPen(QPen(QColor(200, 200, 200), 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
  painter.drawRect(QRect(QPoint(8, 8), QPoint(image.width() - 9, image.height() - 9)));
  QFont font(QStringLiteral("Sans"));
  font.setPointSize(image.height() > 329 ? image.height() / 30 : 10);
  painter.setFont(font);
  painter.setPen(QColor(150, 150, 150));
  painter.drawText(image.rect(), Qt::AlignCenter, QCoreApplication::translate("ulvo", "Нет сканера\n(%1 dpi, демо)").arg(dpi));
  return image;
}
