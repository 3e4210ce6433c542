#include "TestSupport.h"
#include "core/PageImageRules.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace testsupport;

namespace {

bool allPixels(const QImage& image, QRgb value) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != value) return false;
  return true;
}

class RenderTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    mixed = dir.filePath("mixed.pdf");
    ASSERT_TRUE(writePdf(mixed, {{"Render check: текст и графика", true},
                                 {"Text only page\nsecond line"},
                                 {QString(), true}}));
    ASSERT_TRUE(doc.open(mixed));
    tiny = dir.filePath("tiny.pdf");
    QFile file(tiny);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // Written by hand: PDF writers refuse a page this small.
    file.write("%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
               "2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
               "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 0.3 0.3]>>endobj\n"
               "trailer<</Root 1 0 R>>\n%%EOF\n");
  }
  QTemporaryDir dir;
  QString mixed;
  QString tiny;
  PdfDocument doc;
};

}  // namespace

TEST_F(RenderTest, MatchesPdftoppmAt150Dpi) {
  const QString prefix = dir.filePath("ref");
  ASSERT_EQ(runTool("pdftoppm", {"-r", "150", "-f", "1", "-l", "1", "-png", "-singlefile", mixed, prefix}), 0);
  const QImage reference(prefix + ".png");
  ASSERT_FALSE(reference.isNull());
  const QImage ours = doc.renderPage(0, 150.0 / 72.0, 0);
  ASSERT_LE(std::abs(ours.width() - reference.width()), 1);
  ASSERT_LE(std::abs(ours.height() - reference.height()), 1);
  const QSize common = ours.size().boundedTo(reference.size());
  const double difference =
      meanChannelDifference(ours.copy(QRect(QPoint(), common)), reference.copy(QRect(QPoint(), common)));
  EXPECT_LT(difference, 3.0);
  // Not blank: the comparison would pass trivially on two white pages.
  EXPECT_FALSE(allPixels(ours, qRgb(255, 255, 255)));
}

TEST_F(RenderTest, LayersSplitTextFromTheRestAndLeaveTheDocumentUnchanged) {
  const QImage fullBefore = doc.renderPage(1, 1.0, 0);
  EXPECT_FALSE(allPixels(fullBefore, qRgb(255, 255, 255)));
  EXPECT_TRUE(allPixels(doc.renderPageLayer(1, 1.0, 0, PdfRenderLayer::NoText, false), qRgb(255, 255, 255)));
  EXPECT_EQ(doc.renderPage(1, 1.0, 0), fullBefore);

  // A page with shapes and no text: NoText equals Full, TextOnly is empty.
  const QImage shapes = doc.renderPage(2, 1.0, 0);
  EXPECT_EQ(doc.renderPageLayer(2, 1.0, 0, PdfRenderLayer::NoText, false), shapes);
  EXPECT_TRUE(allPixels(doc.renderPageLayer(2, 1.0, 0, PdfRenderLayer::TextOnly, false), qRgb(255, 255, 255)));
  EXPECT_TRUE(allPixels(doc.renderPageLayer(2, 1.0, 0, PdfRenderLayer::TextOnly, true), qRgba(0, 0, 0, 0)));

  // Text and shapes: the two layers together cover what Full shows.
  const QImage text = doc.renderPageLayer(0, 1.0, 0, PdfRenderLayer::TextOnly, false);
  const QImage rest = doc.renderPageLayer(0, 1.0, 0, PdfRenderLayer::NoText, false);
  EXPECT_FALSE(allPixels(text, qRgb(255, 255, 255)));
  EXPECT_NE(rest, doc.renderPage(0, 1.0, 0));
}

TEST_F(RenderTest, RotationIsReducedToQuarterTurns) {
  const QImage r270 = doc.renderPage(0, 0.5, 270);
  EXPECT_EQ(r270.size(), QSize(421, 298));
  EXPECT_EQ(doc.renderPage(0, 0.5, -90), r270);
  const QImage r90 = doc.renderPage(0, 0.5, 90);
  EXPECT_EQ(doc.renderPage(0, 0.5, 450), r90);
  EXPECT_EQ(doc.renderPage(0, 0.5, 100), r90);
  EXPECT_NE(r90, r270);
}

TEST_F(RenderTest, SizesAndBadArguments) {
  PdfDocument small;
  ASSERT_TRUE(small.open(tiny));
  EXPECT_EQ(small.renderPage(0, 1.0, 0).size(), QSize(1, 1));
  EXPECT_EQ(doc.renderPage(0, 0.0, 0).size(), QSize(1, 1));
  EXPECT_TRUE(doc.renderPage(3, 1.0, 0).isNull());
  EXPECT_TRUE(doc.renderPage(-1, 1.0, 0).isNull());

  const QImage region = doc.renderPageRegion(0, 2.0, QRectF(60, 842 - 520, 200, 120));
  ASSERT_EQ(region.size(), QSize(400, 240));
  EXPECT_EQ(region.pixelColor(200, 120), QColor(30, 90, 200));
  EXPECT_TRUE(doc.renderPageRegion(0, 1.0, QRectF(-500, -500, 10, 10)).isNull());
}

TEST(PageImageRules, UsableImageRectangles) {
  const QSizeF a4(595, 842);
  struct Case {
    QRectF rect;
    bool usable;
  };
  const Case cases[] = {
      {{0, 0, 3, 50}, false},    {{0, 0, 100, 4}, true},    {{0, 0, 200, 5}, false},
      {{0, 0, 560, 560}, false}, {{0, 0, 120, 80}, true},   {{0, 0, 0, 10}, false},
      {{0, 0, 520, 730}, false}, {{0, 0, 4, 100}, true},
  };
  for (const Case& c : cases) EXPECT_EQ(isUsablePageImageRect(c.rect, a4), c.usable) << c.rect.width();
}
