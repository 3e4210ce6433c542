// Pictures of a page as image blocks: image objects where the page draws them,
// coloured ink (stamps, signatures) cut out with its paper removed, and the
// rules that keep text, tiny specks and backgrounds out. Moved picture blocks
// are written back and checked in the rendered page.
#include "PopplerOracles.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <functional>

using namespace testsupport;

namespace {

constexpr double kPageHeight = 842;

// Draws one A4 page with QPainter in points, y down.
bool drawPdf(const QString& path, const std::function<void(QPainter&)>& draw) {
  QPdfWriter writer(path);
  writer.setResolution(72);
  writer.setPageSize(QPageSize(QSizeF(595, 842), QPageSize::Point));
  writer.setPageMargins(QMarginsF(0, 0, 0, 0));
  QPainter painter;
  if (!painter.begin(&writer)) return false;
  draw(painter);
  return painter.end();
}

// A rectangle given with y down, as the painter drew it, in the shown page's y-up space.
QRectF upward(const QRectF& r) { return QRectF(r.x(), kPageHeight - r.y() - r.height(), r.width(), r.height()); }

QImage photo(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.setPixel(x, y, qRgb(40 + x % 200, 90 + y % 150, 160));
  return image;
}

void drawStamp(QPainter& p, const QPointF& centre, const QColor& colour) {
  p.setPen(QPen(colour, 3));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(centre, 50, 30);
  p.drawLine(centre + QPointF(-35, 0), centre + QPointF(35, 0));
}

void drawBlackText(QPainter& p) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSizeF(14);
  p.setFont(font);
  p.setPen(Qt::black);
  p.drawText(QPointF(60, 700), QStringLiteral("Plain black text, grey rule below"));
  p.fillRect(QRectF(60, 710, 300, 2), QColor(128, 128, 128));
}

bool near(const QRectF& a, const QRectF& b, double tolerance) {
  return std::abs(a.left() - b.left()) <= tolerance && std::abs(a.right() - b.right()) <= tolerance &&
         std::abs(a.top() - b.top()) <= tolerance && std::abs(a.bottom() - b.bottom()) <= tolerance;
}

class ImageBlocks : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  QString path(const QString& name) const { return dir.filePath(name); }
  QTemporaryDir dir;
};

TEST_F(ImageBlocks, ImageObjectsAndStampsAreFoundWhereTheyAre) {
  const QRectF photoRect(80, 120, 200, 120);
  const QPointF stampCentre(420, 450);
  const QString file = path(QStringLiteral("page.pdf"));
  ASSERT_TRUE(drawPdf(file, [&](QPainter& p) {
    p.drawImage(photoRect, photo(200, 120));
    drawStamp(p, stampCentre, QColor(20, 60, 200));
    drawBlackText(p);
  }));
  if (hasTool("pdfimages")) {
    EXPECT_EQ(oracles::imageSizes(file), QList<QSize>{QSize(200, 120)});
  }
  PdfDocument doc;
  ASSERT_TRUE(doc.open(file));
  const std::vector<TextBlock> blocks = doc.extractImages(0);
  ASSERT_EQ(blocks.size(), 2u);

  const TextBlock& picture = blocks[0];
  EXPECT_FALSE(picture.inkLayer);
  EXPECT_TRUE(picture.isImage);
  EXPECT_EQ(picture.text, QStringLiteral("[image]"));
  EXPECT_TRUE(near(picture.rect, upward(photoRect), 1.0));
  EXPECT_EQ(picture.rect, picture.originalRect);
  EXPECT_EQ(picture.image.format(), QImage::Format_ARGB32_Premultiplied);

  const TextBlock& stamp = blocks[1];
  EXPECT_TRUE(stamp.inkLayer);
  const QRectF stampRect = upward(QRectF(stampCentre - QPointF(51.5, 31.5), QSizeF(103, 63)));
  EXPECT_TRUE(near(stamp.rect, stampRect, 2.5)) << stamp.rect.x() << " " << stamp.rect.y() << " "
                                                << stamp.rect.width() << " " << stamp.rect.height();
  // Paper inside the ring is transparent, the ring itself opaque blue.
  const QImage ink = stamp.image.convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(qAlpha(ink.pixel(ink.width() / 2, ink.height() / 4)), 0);
  int opaqueBlue = 0;
  for (int x = 0; x < ink.width(); ++x) {
    const QRgb px = ink.pixel(x, ink.height() / 2);
    if (qAlpha(px) == 255 && qBlue(px) > 150 && qRed(px) < 100) ++opaqueBlue;
  }
  EXPECT_GT(opaqueBlue, 4);
}

TEST_F(ImageBlocks, InkRulesKeepTextSpecksAndBackgroundsOut) {
  struct InkCase {
    const char* name;
    std::function<void(QPainter&)> draw;
    int expectedBlocks;
    int expectedInk;
  };
  const QColor blue(30, 70, 210);
  const QList<InkCase> cases = {
      {"black text and grey rule", [](QPainter& p) { drawBlackText(p); }, 0, 0},
      {"strokes 5 pt apart are one signature",
       [&](QPainter& p) {
         p.setPen(QPen(blue, 2));
         for (int i = 0; i < 5; ++i) p.drawLine(QPointF(100 + 5 * i, 300), QPointF(103 + 5 * i, 330));
       },
       1, 1},
      {"two groups far apart stay apart",
       [&](QPainter& p) {
         p.setPen(QPen(blue, 2));
         for (int i = 0; i < 3; ++i) p.drawLine(QPointF(100 + 5 * i, 300), QPointF(103 + 5 * i, 330));
         for (int i = 0; i < 3; ++i) p.drawLine(QPointF(200 + 5 * i, 300), QPointF(203 + 5 * i, 330));
       },
       2, 2},
      {"a speck is ignored", [&](QPainter& p) { p.fillRect(QRectF(300, 300, 2.5, 3.5), blue); }, 0, 0},
      {"a coloured background is not a stamp",
       [&](QPainter& p) { p.fillRect(QRectF(50, 50, 400, 400), QColor(250, 200, 120)); }, 0, 0},
      {"a coloured logo image yields one block",
       [&](QPainter& p) {
         QImage logo(80, 80, QImage::Format_RGB32);
         logo.fill(QColor(220, 30, 30));
         p.drawImage(QRectF(300, 300, 80, 80), logo);
       },
       1, 0},
  };
  for (const InkCase& c : cases) {
    SCOPED_TRACE(c.name);
    const QString file = path(QStringLiteral("ink.pdf"));
    ASSERT_TRUE(drawPdf(file, c.draw));
    PdfDocument doc;
    ASSERT_TRUE(doc.open(file));
    const std::vector<TextBlock> blocks = doc.extractImages(0);
    EXPECT_EQ(int(blocks.size()), c.expectedBlocks);
    EXPECT_EQ(int(std::count_if(blocks.begin(), blocks.end(), [](const TextBlock& b) { return b.inkLayer; })),
              c.expectedInk);
  }
}

double meanWhiteness(const QImage& page, const QRectF& shownRect) {
  const QRect r = QRect(int(shownRect.x()), int(kPageHeight - shownRect.y() - shownRect.height()),
                        int(shownRect.width()), int(shownRect.height()))
                      .intersected(page.rect());
  double sum = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) {
      const QRgb px = page.pixel(x, y);
      sum += (qRed(px) + qGreen(px) + qBlue(px)) / 3.0;
    }
  return sum / std::max(1, r.width() * r.height());
}

TEST_F(ImageBlocks, MovedPicturesAreWrittenAtTheirNewPlace) {
  const QRectF photoRect(80, 120, 200, 120);
  const QPointF stampCentre(420, 600);
  const QRectF paper(300, 500, 250, 200);  // grey paper under the stamp
  const QString file = path(QStringLiteral("move.pdf"));
  ASSERT_TRUE(drawPdf(file, [&](QPainter& p) {
    p.drawImage(photoRect, photo(200, 120));
    p.fillRect(paper, QColor(215, 215, 215));
    drawStamp(p, stampCentre, QColor(200, 20, 30));
  }));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(file));
  std::vector<TextBlock> blocks = doc.extractImages(0);
  ASSERT_EQ(blocks.size(), 2u);
  ASSERT_TRUE(blocks[1].inkLayer);
  const QRectF oldPhoto = blocks[0].rect;
  const QRectF oldStamp = blocks[1].rect;
  blocks[0].rect.translate(0, -300);
  blocks[1].rect.translate(-250, -300);
  ASSERT_TRUE(doc.overlayOcrText(0, blocks, false));
  EXPECT_TRUE(doc.isModified());

  const QImage page = doc.renderPage(0, 1.0, 0).convertToFormat(QImage::Format_RGB32);
  EXPECT_GT(meanWhiteness(page, oldPhoto.adjusted(5, 5, -5, -5)), 250);
  EXPECT_LT(meanWhiteness(page, blocks[0].rect.adjusted(5, 5, -5, -5)), 200);
  // The stamp's old place keeps its grey paper: only the ink itself is painted out.
  const QRectF insideRing(oldStamp.center() - QPointF(10, -12), QSizeF(20, 6));
  const QRgb paperPixel = page.pixel(int(insideRing.center().x()), int(kPageHeight - insideRing.center().y()));
  EXPECT_NEAR(qRed(paperPixel), 215, 6) << std::hex << paperPixel;
  EXPECT_LT(meanWhiteness(page, blocks[1].rect), 250);  // red ring at the new place
  // The photo's own object moved: the file does not keep it under white as well.
  const QString saved = path(QStringLiteral("moved.pdf"));
  ASSERT_TRUE(doc.save(saved));
  EXPECT_EQ(oracles::imageSizes(saved).count(QSize(200, 120)), 1);

  // Unmoved pictures write nothing.
  PdfDocument untouched;
  ASSERT_TRUE(untouched.open(file));
  ASSERT_TRUE(untouched.overlayOcrText(0, untouched.extractImages(0), false));
  EXPECT_FALSE(untouched.isModified());
}

// On a page turned by /Rotate the picture moves as the page shows it, not sideways.
TEST_F(ImageBlocks, MovedPictureOfATurnedPageStaysUpright) {
  if (!hasTool("qpdf")) GTEST_SKIP() << "qpdf missing";
  const QString drawn = path(QStringLiteral("drawn.pdf")), file = path(QStringLiteral("turned.pdf"));
  ASSERT_TRUE(drawPdf(drawn, [](QPainter& p) { p.drawImage(QRectF(80, 120, 200, 120), photo(200, 120)); }));
  ASSERT_EQ(runTool("qpdf", {drawn, "--rotate=+90", file}), 0);
  PdfDocument doc;
  ASSERT_TRUE(doc.open(file));
  std::vector<TextBlock> blocks = doc.extractImages(0);
  ASSERT_EQ(blocks.size(), 1u);
  const QRectF r = blocks[0].rect;
  const QRect old = QRectF(r.x(), doc.pageSize(0).height() - r.bottom(), r.width(), r.height()).toRect();  // y down
  const QImage before = doc.renderPage(0, 1.0, 0).copy(old.adjusted(3, 3, -3, -3));
  blocks[0].rect.translate(-200, 0);
  ASSERT_TRUE(doc.overlayOcrText(0, blocks, false));
  const QImage after = doc.renderPage(0, 1.0, 0).copy(old.translated(-200, 0).adjusted(3, 3, -3, -3));
  EXPECT_LT(meanChannelDifference(after, before), 10.0);
}

}  // namespace
