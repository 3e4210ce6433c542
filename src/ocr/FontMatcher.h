#pragma once
// Size, weight and colour of a recognised line, estimated by drawing its text
// in candidate fonts over the line's pixels and keeping the best overlap.

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>

struct FontMatchResult {
  QString family = QStringLiteral("Arial");
  float size = 10.0f;
  QColor color = Qt::black;
  bool bold = false;
  bool italic = false;
};

class FontMatcher {
public:
  // sizeHint: the line's height in points.
  static FontMatchResult match(const QImage& crop, const QString& text, float sizeHint);
  static QColor estimateTextColor(const QImage& image);
  // Greyscale copy: values below 160 black, the rest white.
  static QImage binarize(const QImage& image);
  // Dice overlap of the black pixels, a scaled to b's size first.
  static float dice(const QImage& a, const QImage& b);
  static QImage renderBlock(const QString& text, const QString& family, float size, bool bold, bool italic, int w,
                            int h);
};

// Bounds of the pixels darker than 190 grey; invalid when there are none.
QRect darkBounds(const QImage& image);
