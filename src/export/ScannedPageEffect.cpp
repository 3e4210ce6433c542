#include "ScannedPageEffect.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>
#include <QRandomGenerator>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace {

int nearest(double value) { return int(std::lround(value)); }

double skewAngle(const ScannedPdfExportOptions& options, int pageIndex, bool preview) {
  if (options.maxSkewDegrees <= 0.001) return 0.0;
  if (!options.randomize) return options.maxSkewDegrees;
  QRandomGenerator skew(quint32(quint32(pageIndex) * 7919u + (preview ? 17u : 0u) + 12648430u));
  const double u = skew.generateDouble();
  double angle = (2.0 * u - 1.0) * options.maxSkewDegrees + ((pageIndex % 3) - 1) * 0.08;
  angle = std::min(angle, options.maxSkewDegrees);
  return std::max(angle, -options.maxSkewDegrees);
}

// The page, turned and scaled, laid tilted on the paper inside the margins.
QImage layOnPaper(const QImage& page, const ScannedPdfExportOptions& options, int pageIndex, bool preview) {
  QImage work = page.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  if (options.rotation != 0) work = work.transformed(QTransform().rotate(options.rotation), Qt::SmoothTransformation);
  const int margin = std::max(0, nearest(options.dpi * options.marginMm / 25.4));
  QImage paper(work.size(), QImage::Format_ARGB32_Premultiplied);
  paper.fill(QColor(252, 251, 247));
  const double angle = skewAngle(options, pageIndex, preview);

  QPainter painter(&paper);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  QRect inner = paper.rect().adjusted(margin, margin, -margin, -margin);
  if (inner.width() <= 7 || inner.height() <= 7) inner = paper.rect();
  const QImage scaled = work.scaled(inner.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
  const QPointF centre = QRectF(inner).center();
  painter.translate(centre);
  painter.rotate(angle);
  painter.translate(-centre);
  const QSizeF size(scaled.width(), scaled.height());
  painter.drawImage(QRectF(centre - QPointF(size.width() / 2, size.height() / 2), size), scaled,
                    QRectF(QPointF(0, 0), size));
  painter.end();
  return paper.convertToFormat(QImage::Format_ARGB32);
}

// Tones, grain, bands and the edge shadow in one pass over the scan lines.
void applyTones(QImage& image, const ScannedPdfExportOptions& options, int pageIndex) {
  const int w = image.width();
  const int h = image.height();
  const int shortest = std::min(w, h);
  QRandomGenerator pixels(quint32(quint32(pageIndex) * 104729u + 5351397u));
  const int edge = shortest > 17 ? shortest / 9 : 1;
  const double phase = pixels.generateDouble() * 80.0;
  const double k = 1.0 + options.contrast / 100.0;
  const bool grain = options.noise > 0;
  const auto span = quint32(2 * options.noise + 1);
  for (int y = 0; y < h; ++y) {
    int rowOffset = 0;
    if (options.stripes > 0) {
      rowOffset = nearest(options.stripes * std::sin((y + phase) * 0.055) * 0.22);
      if ((qint64(pageIndex) * 37 + y) % 97 == 0) rowOffset += options.stripes / 2;
    }
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < w; ++x) {
      const int n = grain ? int(pixels.bounded(span)) - options.noise : 0;
      int shadow = 0;
      if (options.edgeShadow > 0) {
        const int dist = std::min({x, w - 1 - x, y, h - 1 - y});
        if (dist < edge) {
          const double fade = 1.0 - double(dist) / edge;
          shadow = nearest(fade * fade * options.edgeShadow);
        }
      }
      const int sub = 2 * options.darkness + shadow + rowOffset;
      const auto tone = [&](int channel) { return std::clamp(nearest(k * (channel - 128) + 128) - sub + n, 0, 255); };
      const QRgb pixel = line[x];
      if (options.grayscale) {
        const int v = (11 * qRed(pixel) + 16 * qGreen(pixel) + 5 * qBlue(pixel)) >> 5;
        const int g = tone(v);
        line[x] = qRgba(g, g, g, 255);
      } else {
        line[x] = qRgba(tone(qRed(pixel)), tone(qGreen(pixel)), tone(qBlue(pixel)), 255);
      }
    }
  }
}

void drawStreaks(QPainter& painter, int w, int h, int strength, int pageIndex) {
  QRandomGenerator streaks(quint32(quint32(pageIndex) * 3571u + 195936478u));
  const int count = std::max(1, nearest(strength / 18.0));
  for (int i = 0; i < count; ++i) {
    const int x = int(streaks.bounded(quint32(std::max(1, w))));
    int width = 1;
    if (strength > 55) width = streaks.bounded(4u) == 0 ? 2 : 1;
    const int alpha = std::clamp(strength + int(streaks.bounded(34u)), 10, 120);
    const QColor colour = streaks.bounded(5u) == 0 ? QColor(255, 255, 255, alpha) : QColor(20, 22, 24, alpha);
    painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::FlatCap));
    int y = 0;
    while (y < h) {
      const int start = y + int(streaks.bounded(quint32(std::max(1, 140 - strength))));
      int length;
      if (h <= 37)
        length = 16 + int(streaks.bounded(2u));
      else if (h <= 169)
        length = 16 + int(streaks.bounded(quint32(h / 2 - 16)));
      else
        length = h / 10 + int(streaks.bounded(quint32(h / 2 - h / 10)));
      length = std::min(length, h - start);
      if (length > 0) painter.drawLine(QLineF(x, start, x, start + length));
      y = start + length + int(streaks.bounded(36u));
    }
  }
}

void drawFoldedCorner(QPainter& painter, int w, int h, int fold) {
  const int shortest = std::min(w, h);
  const double W = w;
  const double s = std::min(0.2 * shortest, std::max(fold * shortest / 100.0, 8.0));
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0, 0, 0, std::clamp(2 * fold, 12, 95)));
  painter.drawPolygon(QPolygonF({QPointF(W - s - 5, 0), QPointF(W - 1, s + 5), QPointF(W - 1, 0)}), Qt::OddEvenFill);
  QLinearGradient flap(QPointF(W - s, 0), QPointF(W, s));
  flap.setColorAt(0.0, QColor(255, 255, 255, 235));
  flap.setColorAt(0.55, QColor(232, 229, 220, 238));
  flap.setColorAt(1.0, QColor(250, 249, 244, 245));
  painter.setBrush(flap);
  painter.drawPolygon(QPolygonF({QPointF(W - s, 0), QPointF(W - 1, 0), QPointF(W - 1, s)}));
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor(126, 116, 104, 95), std::max(s / 42, 1.0), Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
  painter.drawLine(QPointF(W - s, 0), QPointF(W - 1, s));
  painter.setPen(QPen(QColor(255, 255, 255, 130), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
  painter.drawLine(QPointF(W - 0.62 * s, 2), QPointF(W - 3, 0.62 * s));
}

}  // namespace

QImage applyScannedPdfEffect(const QImage& page, const ScannedPdfExportOptions& options, int pageIndex, bool preview) {
  if (page.isNull()) return {};
  QImage image = layOnPaper(page, options, pageIndex, preview);
  if (image.isNull()) return {};
  applyTones(image, options, pageIndex);
  if (options.verticalStreaks > 0 || options.foldedCorner > 0) {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (options.verticalStreaks > 0)
      drawStreaks(painter, image.width(), image.height(), options.verticalStreaks, pageIndex);
    if (options.foldedCorner > 0) drawFoldedCorner(painter, image.width(), image.height(), options.foldedCorner);
  }
  const int dotsPerMetre = nearest(options.dpi / 0.0254);
  image.setDotsPerMeterX(dotsPerMetre);
  image.setDotsPerMeterY(dotsPerMetre);
  return image;
}
