#include "OcrTestLines.h"

#include "ocr/ImageRegions.h"

#include <QPainter>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr double kScale = 2.0;  // pixels per point
const QSize kPageSize(800, 1000);
double pageHeight() { return kPageSize.height() / kScale; }

QImage blankPage() {
  QImage image(kPageSize, QImage::Format_RGB32);
  image.fill(Qt::white);
  return image;
}

// A square of scattered ink: `share` of its pixels black, fixed seed.
void stamp(QImage& image, const QRect& box, double share) {
  QRandomGenerator random(7);
  for (int y = box.top(); y <= box.bottom(); ++y) {
    for (int x = box.left(); x <= box.right(); ++x) {
      if (random.generateDouble() < share) image.setPixel(x, y, qRgb(0, 0, 0));
    }
  }
}

// Pixel rectangle (inclusive) of an image block's page rectangle.
QRect pixelsOf(const TextBlock& block) {
  const QRectF r = block.rect;
  return QRect(QPoint(qRound(r.left() * kScale), qRound((pageHeight() - r.bottom()) * kScale)),
               QPoint(qRound(r.right() * kScale) - 1, qRound((pageHeight() - r.top()) * kScale) - 1));
}

}  // namespace

TEST(ImageRegions, PagesWithAndWithoutPictures) {
  struct Case {
    const char* name;
    std::function<void(QImage&)> draw;
    std::vector<QRectF> wordRects;
    std::vector<QRect> expected;  // pixel bounds of the image blocks
  } cases[] = {
      {"blank page", [](QImage&) {}, {}, {}},
      {"stamp of 30 % ink grows by 3 px", [](QImage& im) { stamp(im, QRect(200, 300, 100, 100), 0.3); }, {},
       {QRect(197, 297, 106, 106)}},
      {"ink under recognised words only",
       [](QImage& im) { stamp(im, QRect(200, 300, 100, 100), 0.3); },
       // The word box covers the stamp's pixels 200..300 x 300..400.
       {QRectF(100, pageHeight() - 200.5, 50.5, 50.5)}, {}},
      {"horizontal rule", [](QImage& im) { QPainter(&im).fillRect(100, 500, 500, 3, Qt::black); }, {}, {}},
      {"solid box", [](QImage& im) { QPainter(&im).fillRect(100, 500, 100, 100, Qt::black); }, {}, {}},
      {"sparse frame", [](QImage& im) {
         QPainter p(&im);
         p.setPen(QPen(Qt::black, 1));
         p.drawRect(100, 100, 300, 300);
       }, {}, {}},
      {"ruled grid of a table",
       [](QImage& im) {
         QPainter p(&im);
         for (int x = 100; x <= 400; x += 50) p.fillRect(x, 100, 2, 200, Qt::black);
         for (int y = 100; y <= 300; y += 50) p.fillRect(100, y, 302, 2, Qt::black);
       },
       {}, {}},
      {"wider than 92 % of the page", [](QImage& im) { stamp(im, QRect(10, 300, 760, 60), 0.3); }, {}, {}},
      {"higher than 38 % of the page", [](QImage& im) { stamp(im, QRect(100, 100, 60, 400), 0.3); }, {}, {}},
      {"two strokes 4 px apart merge",
       [](QImage& im) {
         stamp(im, QRect(200, 300, 40, 40), 0.3);
         stamp(im, QRect(244, 300, 40, 40), 0.3);
       },
       {}, {QRect(197, 297, 90, 46)}},
  };
  for (const Case& c : cases) {
    QImage page = blankPage();
    c.draw(page);
    const auto blocks = detectImageBlocks(page, c.wordRects, 5, kScale, pageHeight());
    ASSERT_EQ(blocks.size(), c.expected.size()) << c.name;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
      EXPECT_TRUE(blocks[i].isImage);
      EXPECT_EQ(blocks[i].page, 5);
      EXPECT_EQ(blocks[i].rect, blocks[i].originalRect);
      EXPECT_EQ(pixelsOf(blocks[i]), c.expected[i]) << c.name;
      EXPECT_EQ(blocks[i].image.size(), c.expected[i].size()) << c.name;
    }
  }
  EXPECT_TRUE(detectImageBlocks(QImage(15, 15, QImage::Format_RGB32), {}, 0, 1.0, 15).empty());
}

TEST(ImageRegions, ComponentShapeRules) {
  struct Case {
    ImageComponent c;
    bool image;
  } cases[] = {
      {{0, 0, 99, 99, 3000}, true},
      {{0, 0, 16, 99, 500}, false},    // narrower than 18
      {{0, 0, 99, 14, 500}, false},    // lower than 16
      {{0, 0, 99, 99, 69}, false},     // too little ink
      {{0, 0, 99, 99, 7300}, false},   // fill above 0.72
      {{0, 0, 99, 99, 299}, false},    // fill below 0.03
      {{0, 0, 99, 99, 300}, true},     // fill exactly 0.03
      {{0, 0, 359, 19, 2000}, true},   // aspect exactly 18
      {{0, 0, 379, 19, 2000}, false},  // aspect above 18
      {{0, 0, 736, 99, 9000}, false},  // wider than 92 % of 800
      {{5, 5, 4, 4, 100}, false},      // inverted bounds
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isImageLikeComponent(c.c, kPageSize), c.image)
        << c.c.minX << "," << c.c.minY << "-" << c.c.maxX << "," << c.c.maxY << " " << c.c.pixelCount;
  }
}

TEST(ImageRegions, NoiseWordsAndBlocksOnPictures) {
  TextBlock picture;
  picture.isImage = true;
  picture.rect = QRectF(100, 100, 100, 100);
  const std::vector<TextBlock> pictures = {picture};

  struct WordCase {
    const char* text;
    QRectF rect;
    float confidence;
    bool noise;
  } words[] = {
      {"ab", QRectF(180, 150, 40, 10), 90, true},      // half on it, two characters
      {"letter", QRectF(180, 150, 40, 10), 90, false}, // six characters, confident
      {"letter", QRectF(180, 150, 40, 10), 50, true},  // six characters, unsure
      {"ab", QRectF(192, 150, 40, 10), 90, true},      // 20 % on it
      {"ab", QRectF(194, 150, 40, 10), 90, false},     // 15 % on it
      {"ab", QRectF(300, 150, 40, 10), 10, false},     // beside it
      {"ab", QRectF(150, 150, 0, 10), 10, false},      // no area
  };
  for (const WordCase& c : words) {
    EXPECT_EQ(isImageNoiseWord({QString::fromUtf8(c.text), c.rect, c.confidence}, pictures), c.noise)
        << c.text << " " << c.rect.x() << " " << c.confidence;
  }

  struct BlockCase {
    const char* text;
    QRectF rect;
    bool noise;
  } blocks[] = {
      {"ООО", QRectF(187, 150, 100, 10), true},        // 13 % of it on the logo
      {"ООО", QRectF(189, 150, 100, 10), false},       // 11 %
      {"Печать", QRectF(140, 150, 100, 10), true},     // 60 %
      {"Печать", QRectF(150, 150, 100, 10), false},    // 50 %
      {"Организация", QRectF(110, 150, 80, 10), false},// nine or more characters stay
  };
  for (const BlockCase& c : blocks) {
    TextBlock b = ocrtest::makeBlock({ocrtest::makeLine(c.text, c.rect.x(), c.rect.y(), c.rect.width(), c.rect.height())});
    EXPECT_EQ(isImageNoiseText(b, pictures), c.noise) << c.text << " " << c.rect.x();
  }
  EXPECT_FALSE(isImageNoiseText(picture, pictures));
}

TEST(ImageRegions, NoiseRemovalRebuildsLinesAndBlocks) {
  TextBlock picture;
  picture.isImage = true;
  picture.rect = QRectF(100, 100, 100, 100);

  TextBlock::Line mixed = ocrtest::makeLine("", 20, 150, 0, 0);
  mixed.words = {{QStringLiteral("Договор"), QRectF(20, 150, 60, 10), 95}, {QStringLiteral("xz"), QRectF(150, 150, 20, 10), 95}};
  mixed.text = QStringLiteral("Договор xz");
  mixed.rect = QRectF(20, 150, 150, 10);
  TextBlock kept = ocrtest::makeBlock({mixed, ocrtest::makeLine("второй", 20, 130, 60, 10)});
  TextBlock gone = ocrtest::makeBlock({ocrtest::makeLine("ab", 140, 120, 20, 10)});
  std::vector<TextBlock> blocks = {kept, gone, picture};

  removeImageNoiseWords(blocks, {picture});
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[0].lines[0].text, QStringLiteral("Договор"));
  EXPECT_EQ(blocks[0].lines[0].rect, QRectF(20, 150, 60, 10));
  EXPECT_EQ(blocks[0].text, QStringLiteral("Договор\nвторой"));
  EXPECT_EQ(blocks[0].rect, QRectF(20, 130, 60, 30));
  EXPECT_TRUE(blocks[1].isImage);
}
