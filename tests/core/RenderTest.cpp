#include "TestSupport.h"
#include "core/HandWrittenPdf.h"
#include "core/PageImageRules.h"
#include "core/PdfDocument.h"
#include "core/PopplerOracles.h"

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

// Saved graphics states are counted before pdfium loads a page: nesting
// past the bound, on the page or through the forms it draws, refuses the
// page; "q"s that are balanced, or only letters of a string or a comment,
// count for nothing; the other pages load as always.
TEST_F(RenderTest, PagesNestingTooManySavedStatesAreRefusedBeforeLoading) {
  const QByteArray text = "BT /F1 12 Tf 72 700 Td (still here) Tj ET\n";
  const QList<QByteArray> contents = {
      QByteArray("q Q\n").repeated(30000) + text,
      "BT /F1 12 Tf 72 700 Td (" + QByteArray("q ").repeated(20000) + ") Tj ET\n% " + QByteArray("q ").repeated(20000) +
          "\nq BI /W 1 /H 1 /BPC 8 /CS /G ID q EI Q\n" + text,
      QByteArray("q\n").repeated(6000) + "/Half Do\n" + text,  // 6,000 + 6,000 in the form
      "/Deep Do\n" + text,
      text};
  QStringList objects = {"<< /Type /Catalog /Pages 2 0 R >>", "", "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                         handwritten::stream(QByteArray("q ").repeated(10001), "/Type /XObject /Subtype /Form /BBox [0 0 9 9]"),
                         handwritten::stream(QByteArray("q ").repeated(6000), "/Type /XObject /Subtype /Form /BBox [0 0 9 9]")};
  QString kids;
  for (const QByteArray& content : contents) {
    objects << handwritten::stream(content);
    objects << QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents %1 0 R /Resources << "
                              "/Font << /F1 3 0 R >> /XObject << /Deep 4 0 R /Half 5 0 R >> >> >>").arg(objects.size());
    kids += QStringLiteral("%1 0 R ").arg(objects.size());
  }
  objects[1] = QStringLiteral("<< /Type /Pages /Kids [%1] /Count 5 >>").arg(kids);
  const QString path = dir.filePath("states.pdf");
  ASSERT_TRUE(handwritten::writePdf(path, objects));
  PdfDocument states;
  ASSERT_TRUE(states.open(path));
  for (int page = 0; page < 5; ++page) {
    const bool refused = page == 2 || page == 3;
    EXPECT_EQ(states.renderPage(page, 0.5, 0).isNull(), refused) << page;
    EXPECT_EQ(states.isPageRefused(page), refused) << page;
    EXPECT_EQ(states.extractAllText(page).contains("still here"), !refused) << page;
  }
}

// Filled-in fields (NeedAppearances in opt_demo) in the view's render and a raster copy.
TEST(FormFieldRender, FieldsCarryTheInkPopplerDraws) {
  QTemporaryDir dir;
  for (const char* name : {"bug1669099.pdf", "issue15096.pdf", "issue16553.pdf", "opt_demo.pdf"}) {
    const QString file = QFileInfo(corpusDir()).dir().filePath(QStringLiteral("form-pdfs/") + name);
    PdfDocument doc;
    ASSERT_TRUE(doc.open(file) && doc.compressTo(dir.filePath("raster.pdf"), {}));
    const auto ink = [&](const QImage& page) { return oracles::fieldInk(page, file, doc.pageSize(0).height(), 150); };
    const double poppler = std::max(ink(oracles::renderWithPoppler(file, 0, 150)), 200.0);
    EXPECT_GE(ink(doc.renderPage(0, 150 / 72.0, 0)), 0.9 * poppler) << name;
    EXPECT_GE(ink(oracles::renderWithPoppler(dir.filePath("raster.pdf"), 0, 150)), 0.8 * poppler) << name;
  }
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
