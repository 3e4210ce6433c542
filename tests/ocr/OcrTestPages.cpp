#include "OcrTestPages.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTransform>

#include <algorithm>
#include <map>

namespace ocrtest {

QImage renderPage(const PageDrawing& drawing, double dpi) {
  const double scale = dpi / 72.0;
  QImage image(qRound(drawing.sizePt.width() * scale), qRound(drawing.sizePt.height() * scale),
               QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.scale(scale, scale);
  // A photo-like picture: a light sky, textured ground, a tree, a dark frame.
  for (const QRectF& picture : drawing.pictures) {
    painter.setClipRect(picture);
    QLinearGradient sky(picture.topLeft(), picture.bottomLeft());
    sky.setColorAt(0, QColor(175, 200, 230));
    sky.setColorAt(1, QColor(240, 240, 225));
    painter.fillRect(picture, sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QBrush(QColor(40, 100, 40), Qt::Dense5Pattern));
    painter.drawEllipse(QRectF(picture.x() - picture.width() * 0.1, picture.y() + picture.height() * 0.6,
                               picture.width() * 1.2, picture.height() * 0.8));
    painter.setBrush(QColor(70, 50, 30));
    painter.drawRect(QRectF(picture.x() + picture.width() * 0.3, picture.y() + picture.height() * 0.35,
                            picture.width() * 0.04, picture.height() * 0.4));
    painter.setBrush(QBrush(QColor(20, 80, 30), Qt::Dense4Pattern));
    painter.drawEllipse(QRectF(picture.x() + picture.width() * 0.2, picture.y() + picture.height() * 0.15,
                               picture.width() * 0.24, picture.height() * 0.3));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(60, 60, 60), 1.5));
    painter.drawRect(picture);
    painter.setClipping(false);
  }
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(Qt::black, 0.6));
  for (const QLineF& rule : drawing.rules) painter.drawLine(rule);
  for (const DrawnText& t : drawing.texts) {
    QFont font(t.family);
    // The painter works in points; a point size is scaled by the device's dpi.
    font.setPointSizeF(t.sizePt * 72.0 / image.logicalDpiY());
    font.setBold(t.bold);
    painter.setFont(font);
    painter.setPen(t.color);
    const QFontMetricsF metrics(font);
    painter.drawText(QPointF(t.topLeft.x(), t.topLeft.y() + metrics.ascent()), t.text);
  }
  return image;
}

void drawScan(QPainter& painter, const PageDrawing& drawing, double dpi) {
  painter.drawImage(QRectF(QPointF(0, 0), drawing.sizePt), renderPage(drawing, dpi));
}

void addParagraph(PageDrawing& drawing, const QStringList& lines, QPointF topLeft, double sizePt,
                  const QString& family, double leading) {
  for (int i = 0; i < lines.size(); ++i) {
    DrawnText t;
    t.text = lines[i];
    t.topLeft = topLeft + QPointF(0, i * sizePt * leading);
    t.family = family;
    t.sizePt = sizePt;
    drawing.texts.push_back(t);
  }
}

QImage degrade(const QImage& page, double degrees, int noiseAmplitude) {
  QImage rotated(page.size(), QImage::Format_RGB32);
  rotated.fill(Qt::white);
  {
    QPainter painter(&rotated);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(page.width() / 2.0, page.height() / 2.0);
    painter.rotate(degrees);
    painter.translate(-page.width() / 2.0, -page.height() / 2.0);
    painter.drawImage(0, 0, page);
  }
  QRandomGenerator random(12345);
  for (int y = 0; y < rotated.height(); ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(rotated.scanLine(y));
    for (int x = 0; x < rotated.width(); ++x) {
      const int n = int(random.bounded(2 * noiseAmplitude + 1)) - noiseAmplitude;
      auto channel = [&](int v) { return std::clamp(v + n, 0, 255); };
      row[x] = qRgb(channel(qRed(row[x])), channel(qGreen(row[x])), channel(qBlue(row[x])));
    }
  }
  return rotated;
}

QStringList comparableWords(const QString& text) {
  static const QRegularExpression separators(QStringLiteral("[\\s]+"));
  static const QRegularExpression edges(QStringLiteral("^[^\\w]+|[^\\w]+$"),
                                        QRegularExpression::UseUnicodePropertiesOption);
  QStringList words;
  for (QString w : text.split(separators, Qt::SkipEmptyParts)) {
    w.remove(edges);
    if (!w.isEmpty()) words << w.toLower();
  }
  return words;
}

double wordRecall(const QStringList& expected, const QStringList& recognised) {
  if (expected.isEmpty()) return 1.0;
  std::map<QString, int> available;
  for (const QString& w : recognised) ++available[w];
  int found = 0;
  for (const QString& w : expected) {
    auto it = available.find(w);
    if (it != available.end() && it->second > 0) {
      --it->second;
      ++found;
    }
  }
  return double(found) / expected.size();
}

}  // namespace ocrtest
