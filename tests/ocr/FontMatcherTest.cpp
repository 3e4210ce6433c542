#include "ocr/FontMatcher.h"

#include <QFont>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

QImage filled(QSize size, QColor color) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(color);
  return image;
}

// A line crop: text drawn at a pixel size with a few pixels of paper around.
QImage lineCrop(const QString& text, const QString& family, int pixelSize, bool bold, QColor color = Qt::black) {
  QFont font(family);
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  const QRectF tight = QFontMetricsF(font).tightBoundingRect(text);
  QImage image(int(tight.width()) + 8, int(tight.height()) + 8, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setFont(font);
  painter.setPen(color);
  painter.drawText(QPointF(4 - tight.x(), 4 - tight.y()), text);
  return image;
}

}  // namespace

TEST(FontMatcher, TextColourFromTheInkCore) {
  struct Case {
    const char* name;
    QImage image;
    QColor expected;
  } cases[] = {
      {"null image", QImage(), Qt::black},
      {"no ink", filled({20, 20}, Qt::white), Qt::black},
      {"uniform mid grey falls back to all ink", filled({20, 20}, QColor(150, 150, 150)), QColor(150, 150, 150)},
      {"dark red", filled({20, 20}, QColor(150, 10, 10)), QColor(150, 10, 10)},
  };
  for (const Case& c : cases) EXPECT_EQ(FontMatcher::estimateTextColor(c.image), c.expected) << c.name;

  // Antialiased fringes do not wash out the colour of real glyphs.
  const QColor blue(20, 40, 160);
  const QColor measured = FontMatcher::estimateTextColor(lineCrop(QStringLiteral("Colour"), "Liberation Serif", 30, false, blue));
  EXPECT_LE(std::abs(measured.red() - blue.red()) + std::abs(measured.green() - blue.green()) +
                std::abs(measured.blue() - blue.blue()),
            45)
      << qPrintable(measured.name());
}

TEST(FontMatcher, BinaryOverlapAndBounds) {
  QImage grey(2, 1, QImage::Format_Grayscale8);
  grey.setPixel(0, 0, qRgb(159, 159, 159));
  grey.setPixel(1, 0, qRgb(160, 160, 160));
  const QImage binary = FontMatcher::binarize(grey);
  EXPECT_EQ(qGray(binary.pixel(0, 0)), 0);
  EXPECT_EQ(qGray(binary.pixel(1, 0)), 255);

  QImage left = filled({20, 10}, Qt::white);
  QPainter(&left).fillRect(0, 0, 10, 10, Qt::black);
  QImage right = filled({20, 10}, Qt::white);
  QPainter(&right).fillRect(10, 0, 10, 10, Qt::black);
  QImage halfOverlap = filled({20, 10}, Qt::white);
  QPainter(&halfOverlap).fillRect(5, 0, 10, 10, Qt::black);
  EXPECT_FLOAT_EQ(FontMatcher::dice(left, left), 1.0f);
  EXPECT_FLOAT_EQ(FontMatcher::dice(left, right), 0.0f);
  EXPECT_FLOAT_EQ(FontMatcher::dice(left, halfOverlap), 0.5f);
  EXPECT_FLOAT_EQ(FontMatcher::dice(filled({5, 5}, Qt::white), filled({5, 5}, Qt::white)), 0.0f);
  // The first image is scaled to the second's size.
  EXPECT_NEAR(FontMatcher::dice(left.scaled(40, 20), left), 1.0f, 0.02f);

  EXPECT_FALSE(darkBounds(filled({10, 10}, Qt::white)).isValid());
  EXPECT_FALSE(darkBounds(QImage()).isValid());
  QImage box = filled({30, 20}, Qt::white);
  QPainter(&box).fillRect(QRect(5, 3, 7, 4), QColor(189, 189, 189));
  EXPECT_EQ(darkBounds(box), QRect(5, 3, 7, 4));
}

TEST(FontMatcher, EarlyReturnsKeepTheDefaults) {
  struct Case {
    const char* name;
    QImage crop;
    QString text;
  } cases[] = {
      {"crop 7 px wide", filled({7, 40}, QColor(30, 30, 30)), QStringLiteral("text")},
      {"crop 7 px high", filled({40, 7}, QColor(30, 30, 30)), QStringLiteral("text")},
      {"blank crop", filled({80, 30}, Qt::white), QStringLiteral("text")},
      {"empty text", filled({80, 30}, QColor(30, 30, 30)), QStringLiteral("  ")},
  };
  for (const Case& c : cases) {
    const FontMatchResult r = FontMatcher::match(c.crop, c.text, 20.0f);
    EXPECT_EQ(r.family, QStringLiteral("Arial")) << c.name;
    EXPECT_FLOAT_EQ(r.size, 14.4f) << c.name;
    EXPECT_EQ(r.color, FontMatcher::estimateTextColor(c.crop)) << c.name;
    EXPECT_FALSE(r.bold);
  }
  // Two lines share the height: 20 / 2 * 0.72, and the 6..48 limits.
  EXPECT_FLOAT_EQ(FontMatcher::match(QImage(), QStringLiteral("a\nb"), 20.0f).size, 7.2f);
  EXPECT_FLOAT_EQ(FontMatcher::match(QImage(), QStringLiteral("a"), 2.0f).size, 6.0f);
  EXPECT_FLOAT_EQ(FontMatcher::match(QImage(), QStringLiteral("a"), 200.0f).size, 48.0f);
}

TEST(FontMatcher, WeightAndSizeOfDrawnLines) {
  struct Case {
    const char* text;
    int pixelSize;
    bool bold;
  } cases[] = {
      {"Quarterly report", 28, false},
      {"Quarterly report", 28, true},
      {"ДОГОВОР", 30, true},
      {"ДОГОВОР", 30, false},
      {"x", 30, false},  // one character: no spacing fit, still matched
  };
  for (const Case& c : cases) {
    const QImage crop = lineCrop(QString::fromUtf8(c.text), QStringLiteral("Liberation Serif"), c.pixelSize, c.bold);
    // Two pixels per point.
    const float sizeHint = crop.height() / 2.0f;
    const FontMatchResult r = FontMatcher::match(crop, QString::fromUtf8(c.text), sizeHint);
    EXPECT_EQ(r.bold, c.bold) << c.text << " bold " << c.bold;
    EXPECT_FALSE(r.italic);
    EXPECT_NE(r.family, QStringLiteral("Arial")) << c.text;
    EXPECT_GE(r.size, 0.98f * sizeHint - 1e-4f) << c.text;
    EXPECT_LE(r.size, c.pixelSize / 2.0f * 1.3f) << c.text;
  }
}

TEST(FontMatcher, RenderBlockDrawsInsideItsMargins) {
  const QImage block = FontMatcher::renderBlock(QStringLiteral("Text"), QStringLiteral("Liberation Serif"), 3.0f, false,
                                                false, 60, 30);
  EXPECT_EQ(block.size(), QSize(60, 30));
  EXPECT_EQ(block.format(), QImage::Format_Grayscale8);
  const QRect ink = darkBounds(block);
  ASSERT_TRUE(ink.isValid());  // a size of 3 is drawn at the 6 px minimum
  EXPECT_GE(ink.left(), 2);
  EXPECT_GE(ink.top(), 2);
}
