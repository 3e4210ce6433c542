// The arithmetic of the window's recognition runs, at the edges that decide
// what is recognised and how sharply.
#include "OcrRunRules.h"

#include <gtest/gtest.h>

namespace {

TextBlock textBlock(const QString& text, QColor blockColour, QColor lineColour) {
  TextBlock block;
  block.text = text;
  block.color = blockColour;
  TextBlock::Line line;
  line.text = text;
  line.color = lineColour;
  block.lines.push_back(line);
  return block;
}

}  // namespace

TEST(OcrRunRules, RenderScalesFollowThePageRegionAndBlockSizes) {
  EXPECT_DOUBLE_EQ(pageOcrScale(800, 0.0), 2.0);
  EXPECT_DOUBLE_EQ(pageOcrScale(800.5, 0.0), 1.5);
  EXPECT_DOUBLE_EQ(pageOcrScale(595, 3.0), 3.0);
  EXPECT_DOUBLE_EQ(regionOcrScale(100), 2.5);
  EXPECT_DOUBLE_EQ(regionOcrScale(62.5), 4.0);
  EXPECT_DOUBLE_EQ(regionOcrScale(10), 4.0);
  EXPECT_DOUBLE_EQ(regionOcrScale(125), 2.0);
  EXPECT_DOUBLE_EQ(regionOcrScale(600), 2.0);
  EXPECT_DOUBLE_EQ(imageBlockOcrScale(20), 3.0);
  EXPECT_DOUBLE_EQ(imageBlockOcrScale(150), 2.0);
  EXPECT_DOUBLE_EQ(imageBlockOcrScale(2), 3.0);
}

TEST(OcrRunRules, PagesAboveThePixelBoundRenderCloseToIt) {
  // Twice A0 and a 3 m square poster: cut to the bound, not far below it.
  for (const QSizeF& page : {QSizeF(3370, 4768), QSizeF(8504, 8504)}) {
    const double scale = cappedOcrScale(page, 2.0);
    const double pixels = page.width() * page.height() * scale * scale;
    EXPECT_LE(pixels, kMaxOcrPagePixels * 1.0001) << page.width();
    EXPECT_GE(pixels, kMaxOcrPagePixels * 0.99) << page.width();
  }
  EXPECT_DOUBLE_EQ(cappedOcrScale(QSizeF(2384, 3370), 2.0), 2.0);  // A0 fits as it is
}

TEST(OcrRunRules, RegionsAndCropsStayOnThePage) {
  const QSizeF page(400, 300);
  EXPECT_TRUE(ocrRegionOnPage(QRectF(10, 10, 3, 50), page).isEmpty());
  EXPECT_TRUE(ocrRegionOnPage(QRectF(398, 10, 40, 50), page).isEmpty());  // 2 pt left on the page
  EXPECT_EQ(ocrRegionOnPage(QRectF(380, 290, -100, -50), page), QRectF(280, 240, 100, 50));
  EXPECT_EQ(regionPixelRect(QRectF(10.2, 5.7, 20.1, 0.5), 2.0, QSize(800, 600)), QRect(20, 11, 41, 4));
  EXPECT_TRUE(regionPixelRect(QRectF(500, 10, 20, 20), 2.0, QSize(800, 600)).isEmpty());
  // A 1 x 1 point block still gives a crop of 4 x 4 pixels.
  EXPECT_EQ(imageBlockPixelRect(QRectF(100, 100, 1, 1), 300, 3.0, QSize(1200, 900)), QRect(300, 597, 4, 4));
}

TEST(OcrRunRules, OnlyTextThatShowsCountsAsATextLayer) {
  const QColor faint(0, 0, 0, 8);
  const QColor visible(0, 0, 0, 9);
  EXPECT_FALSE(hasVisibleTextLayer({textBlock("hidden", faint, faint)}));
  EXPECT_TRUE(hasVisibleTextLayer({textBlock("shown", visible, visible)}));
  EXPECT_TRUE(hasVisibleTextLayer({textBlock("line shows", faint, visible)}));
  EXPECT_TRUE(hasVisibleTextLayer({textBlock("no colour", QColor(), faint)}));
  EXPECT_FALSE(hasVisibleTextLayer({textBlock(" \n ", Qt::black, Qt::black)}));
  TextBlock image = textBlock("[image]", Qt::black, Qt::black);
  image.isImage = true;
  EXPECT_FALSE(hasVisibleTextLayer({image}));
}
