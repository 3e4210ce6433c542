// What the painted view shows, read back from QWidget::grab: the canvas, the
// pages with shadow, border and current-page frame, and the search hits,
// also on pages turned by /Rotate with a shifted crop box.
#include "TestSupport.h"
#include "ViewTestHelpers.h"
#include "core/HandWrittenPdf.h"
#include "core/PdfiumLock.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace testsupport;
using viewtest::near;
using viewtest::pixelAt;
using viewtest::waitUntil;

namespace {

// Colour of `under` seen through `over` at `alpha` out of 255.
QColor blend(const QColor& under, const QColor& over, int alpha) {
  const double a = alpha / 255.0;
  return QColor(int(under.red() * (1 - a) + over.red() * a + 0.5), int(under.green() * (1 - a) + over.green() * a + 0.5),
                int(under.blue() * (1 - a) + over.blue() * a + 0.5));
}

const QColor kCurrentHitFill(251, 191, 36);
const QColor kOtherHitFill(250, 204, 21);
const QColor kShapeBlue(30, 90, 200);

class PdfViewPaintTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    view = std::make_unique<PdfView>();
    view->setFrameShape(QFrame::NoFrame);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->resize(800, 900);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  }

  // Grabs once every visible page has arrived from the render jobs.
  QImage settledGrab(const QList<int>& pages) {
    EXPECT_TRUE(waitUntil([&] {
      for (int page : pages)
        if (view->cachedPage(page).isNull()) return false;
      return true;
    }));
    return view->grab().toImage().convertToFormat(QImage::Format_RGB32);
  }

  QTemporaryDir dir;
  std::unique_ptr<PdfView> view;
};

TEST_F(PdfViewPaintTest, EmptyViewShowsPlaceholderOnEitherCanvas) {
  const struct {
    bool dark;
    QString placeholder;
    QColor topLeft, bottomRight, text;
  } cases[] = {
      {false, QString(), QColor("#F1F5F8"), QColor("#DDE5EC"), QColor("#4E5662")},
      {true, QString(), QColor("#181A1D"), QColor("#181A1D"), QColor("#A6AFBA")},
      {false, QStringLiteral("Нет документа"), QColor("#F1F5F8"), QColor("#DDE5EC"), QColor("#4E5662")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dark ? "dark" : "light");
    view->setCanvasTheme(c.dark);
    view->setEmptyPlaceholderText(c.placeholder);
    const QImage image = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(near(pixelAt(image, 0, 0), c.topLeft, 2));
    EXPECT_TRUE(near(pixelAt(image, 799, 899), c.bottomRight, 2));
    // The text sits in the middle, in its colour, and nowhere else.
    int textPixels = 0, strayPixels = 0;
    for (int y = 0; y < 900; ++y)
      for (int x = 0; x < 800; ++x)
        if (near(pixelAt(image, x, y), c.text, 12)) (QRect(250, 420, 300, 60).contains(x, y) ? textPixels : strayPixels)++;
    EXPECT_GT(textPixels, 20);
    EXPECT_EQ(strayPixels, 0);
  }
  // The default text comes back with an empty argument; both texts differ in width.
  view->setCanvasTheme(false);
  view->setEmptyPlaceholderText(QStringLiteral("Нет документа, совсем никакого документа нет"));
  const QImage longer = view->grab().toImage();
  view->setEmptyPlaceholderText(QString());
  EXPECT_NE(view->grab().toImage(), longer);
}

TEST_F(PdfViewPaintTest, PagesWithShadowBorderFrameAndSearchHits) {
  const QString path = dir.filePath("shapes.pdf");
  ASSERT_TRUE(writePdf(path, {{QString(), true}, {QString(), true}}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(path));
  view->setDocument(&doc);
  view->setZoom(0.5);
  // Pages of 297 x 421 pixels: page 0 at (251, 10), page 1 at (251, 441).
  ASSERT_EQ(view->pageOffset(0), QPoint(251, 10));
  ASSERT_EQ(view->pageOffset(1), QPoint(251, 441));

  // The blue shape lies at (60, 400) - (260, 520) points from the top-left.
  const QRectF shape(60, 842 - 520, 200, 120);
  const QRectF blank(300, 700, 100, 40);
  view->setSearchHighlights(0, {blank, shape}, 1);
  const QImage image = settledGrab({0, 1});

  const QColor canvas = pixelAt(image, 240, 300);
  EXPECT_TRUE(near(pixelAt(image, 251 + 20, 10 + 20), Qt::white, 3));
  EXPECT_TRUE(near(pixelAt(image, 251 + 60, 441 + 230), kShapeBlue, 12)) << "page 1 shape";
  // Current hit over the shape, the other over white paper.
  EXPECT_TRUE(near(pixelAt(image, 251 + 80, 10 + 230), blend(kShapeBlue, kCurrentHitFill, 110), 12));
  EXPECT_TRUE(near(pixelAt(image, 251 + 175, 10 + 61), blend(Qt::white, kOtherHitFill, 75), 6));
  EXPECT_TRUE(near(pixelAt(image, 251 + 30 - 1, 10 + 230), QColor(217, 119, 6), 30)) << "current hit outline";
  EXPECT_TRUE(near(pixelAt(image, 251 + 60, 441 + 230), kShapeBlue, 12)) << "no hit on page 1";

  // Border on both pages; the blue frame one pixel outside the current one only.
  EXPECT_TRUE(near(pixelAt(image, 251, 441 + 200), QColor(180, 180, 180), 3));
  EXPECT_TRUE(near(pixelAt(image, 251 + 297, 441 + 200), QColor(180, 180, 180), 3));
  EXPECT_TRUE(near(pixelAt(image, 250, 200), QColor(30, 120, 255), 3));
  EXPECT_TRUE(near(pixelAt(image, 251 + 298, 200), QColor(30, 120, 255), 3));
  EXPECT_TRUE(near(pixelAt(image, 250, 441 + 200), canvas, 6));
  // The shadow darkens the canvas 4 pixels right of and below each page.
  const QColor shaded = pixelAt(image, 251 + 297 + 3, 441 + 200);
  const QColor open = pixelAt(image, 251 + 297 + 8, 441 + 200);
  EXPECT_TRUE(near(shaded, blend(open, Qt::black, 80), 3));
  EXPECT_TRUE(near(pixelAt(image, 251 + 100, 10 + 421 + 3), blend(pixelAt(image, 200, 10 + 421 + 3), Qt::black, 80), 3));

  // Hits move with the page they belong to.
  view->setSearchHighlights(1, {shape}, 0);
  const QImage moved = settledGrab({0, 1});
  EXPECT_TRUE(near(pixelAt(moved, 251 + 80, 10 + 230), kShapeBlue, 12));
  EXPECT_TRUE(near(pixelAt(moved, 251 + 80, 441 + 230), blend(kShapeBlue, kCurrentHitFill, 110), 12));

  // Single-page mode paints the current page alone.
  view->setViewMode(ViewMode::SinglePage);
  view->setCurrentPage(1);
  const QImage single = settledGrab({1});
  EXPECT_TRUE(near(pixelAt(single, 250, 200), QColor(30, 120, 255), 3));
  EXPECT_TRUE(near(pixelAt(single, 251 + 80, 10 + 230), blend(kShapeBlue, kCurrentHitFill, 110), 12));
  EXPECT_TRUE(near(pixelAt(single, 251 + 60, 441 + 230), pixelAt(single, 200, 441 + 230), 6));
}

TEST_F(PdfViewPaintTest, UnrenderedPageIsWhiteNotBlank) {
  const QString path = dir.filePath("plain.pdf");
  ASSERT_TRUE(writePdf(path, {{QString(), true}}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(path));
  view->setDocument(&doc);
  view->setZoom(0.5);
  // The first paint finds nothing cached: the page is white where the shape will be.
  const QImage first = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_TRUE(near(pixelAt(first, 251 + 80, 10 + 230), Qt::white, 0));
  EXPECT_TRUE(near(pixelAt(first, 250, 200), QColor(30, 120, 255), 3));
  const QImage later = settledGrab({0});
  EXPECT_TRUE(near(pixelAt(later, 251 + 80, 10 + 230), kShapeBlue, 12));
}

// A page whose form draws itself twice (2^40 drawings to pdfium) shows blank
// with the message saying why, and the page after it renders as always.
TEST_F(PdfViewPaintTest, RefusedPageShowsItsMessageAndTheNextPageRenders) {
  const QString path = dir.filePath("refused.pdf");
  const QString page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents %1 0 R "
                       "/Resources << /XObject << /Self 3 0 R >> >> >>";
  ASSERT_TRUE(handwritten::writePdf(
      path, {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [4 0 R 6 0 R] /Count 2 >>",
             handwritten::stream("/Self Do /Self Do\n", "/Type /XObject /Subtype /Form /BBox [0 0 9 9] "
                                                          "/Resources << /XObject << /Self 3 0 R >> >>"),
             page.arg(5), handwritten::stream("/Self Do\n"), page.arg(7),
             handwritten::stream("0.1176 0.3529 0.7843 rg 60 322 200 120 re f\n")}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(path));
  view->setDocument(&doc);
  view->setZoom(0.5);
  ASSERT_TRUE(waitUntil([&] { return doc.isPageRefused(0) && !view->cachedPage(1).isNull(); }, 60000));
  const QImage image = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
  int message = 0, other = 0;
  for (int y = 10 + 1; y < 10 + 420; ++y)
    for (int x = 251 + 1; x < 251 + 296; ++x) {
      const QColor pixel = pixelAt(image, x, y);
      if (pixel.red() < 150) ++message;
      if (std::abs(pixel.red() - pixel.blue()) > 12 || std::abs(pixel.green() - pixel.blue()) > 12) ++other;
    }
  EXPECT_GT(message, 200) << "the message on the refused page";
  EXPECT_EQ(other, 0) << "nothing of the page itself";
  EXPECT_TRUE(near(pixelAt(image, 251 + 60, 441 + 230), kShapeBlue, 12)) << "the next page";
}

// A page whose check takes seconds (400,000 page fills) says so after a moment, while the window paints
// on; letting the document go does not wait for the check.
TEST_F(PdfViewPaintTest, PageBeingCheckedSaysSoWithoutHoldingTheWindow) {
  const QString path = dir.filePath("slow.pdf");
  ASSERT_TRUE(handwritten::writePdf(
      path, {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R >>",
             handwritten::stream(qCompress(QByteArray("0 0 595 842 re f\n").repeated(400000), 1).mid(4),
                                 "/Filter /FlateDecode")}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(path));
  view->setDocument(&doc);
  view->setZoom(0.5);
  view->grab();
  QTest::qWait(800);
  const QImage image = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_TRUE(doc.isPageBeingChecked(0)) << "the check ended early: nothing shown is tested";
  int message = 0;
  for (int y = 10 + 1; y < 10 + 420; ++y)
    for (int x = 251 + 1; x < 251 + 296; ++x) message += pixelAt(image, x, y).red() < 150;
  EXPECT_GT(message, 100) << "the notice on the page being checked";
  QElapsedTimer clock;
  clock.start();
  view->setDocument(nullptr);
  EXPECT_LT(clock.elapsed(), 2000) << "ms to let go of the document";
}

// A page drawn large takes seconds when costly (pdfium held here, as such a
// drawing holds it): until its image comes it says it is being drawn, in grey
// words in the part in sight, and then shows itself.
TEST_F(PdfViewPaintTest, ZoomedPageStillBeingDrawnSaysSo) {
  const QString path = dir.filePath("plain.pdf");
  ASSERT_TRUE(handwritten::writePdf(
      path, {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R >>",
             handwritten::stream("1 1 0.6 rg 0 0 595 842 re f\n")}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(path));
  view->setDocument(&doc);
  view->setZoom(0.5);
  ASSERT_TRUE(waitUntil([&] { return !view->cachedPage(0).isNull(); }, 60000));
  const auto words = [&] {  // dark grey pixels: the page itself is light
    const QImage image = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const auto* pixels = reinterpret_cast<const QRgb*>(image.constBits());
    return int(std::count_if(pixels, pixels + image.width() * image.height(), [](QRgb p) {
      return qRed(p) < 150 && std::abs(qRed(p) - qBlue(p)) < 12 && std::abs(qGreen(p) - qBlue(p)) < 12;
    }));
  };
  {
    PdfiumLock drawing;
    view->setZoom(6.0);
    EXPECT_TRUE(waitUntil([&] { return words() > 100; }, 30000)) << "the notice on the page being drawn";
  }
  ASSERT_TRUE(waitUntil([&] { return !view->cachedPage(0).isNull(); }, 60000));
  EXPECT_LT(words(), 10) << "the notice left on the drawn page";
}

// A page with /Rotate 90 and a crop box shifted from the origin: hits given in
// the shown page's space land on what the page shows there.
TEST_F(PdfViewPaintTest, TurnedAndCroppedPageUsesTheShownSpace) {
  const QByteArray content = "0 0 0 rg 100 200 80 40 re f\n";
  QByteArray pdf = "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
                   "2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
                   "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 500 700]/CropBox[50 60 450 660]/Rotate 90"
                   "/Contents 4 0 R>>endobj\n4 0 obj<</Length " +
                   QByteArray::number(content.size()) + ">>stream\n" + content +
                   "endstream\nendobj\ntrailer<</Root 1 0 R>>\n%%EOF\n";
  const QString path = dir.filePath("turned.pdf");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(pdf);
  file.close();

  // Shown: 600 x 400 points; the black box at (140, 270) - (180, 350) from the
  // bottom-left, that is (140, 50) - (180, 130) from the top-left.
  const QRectF box(140, 270, 40, 80);
  if (hasTool("pdftoppm")) {
    const QString prefix = dir.filePath("turned");
    ASSERT_EQ(runTool("pdftoppm", {"-r", "72", "-cropbox", "-png", "-singlefile", path, prefix}), 0);
    const QImage reference(prefix + ".png");
    ASSERT_EQ(reference.size(), QSize(600, 400));
    EXPECT_TRUE(near(pixelAt(reference, 160, 90), Qt::black, 8));
    EXPECT_TRUE(near(pixelAt(reference, 160, 140), Qt::white, 8));
    EXPECT_TRUE(near(pixelAt(reference, 190, 90), Qt::white, 8));
  }

  PdfDocument doc;
  ASSERT_TRUE(doc.open(path));
  ASSERT_EQ(doc.pageSize(0), QSizeF(600, 400));
  view->setDocument(&doc);
  ASSERT_DOUBLE_EQ(view->zoomFactor(), 1.0);
  view->setSearchHighlights(0, {box}, 0);
  const QColor underHit = blend(Qt::black, kCurrentHitFill, 110);
  const QColor paperUnderHit = blend(Qt::white, kCurrentHitFill, 110);

  const struct {
    int viewTurn;
    QPoint boxCentre;  // viewport pixels
    QPoint paper;
  } cases[] = {
      {0, QPoint(100 + 160, 10 + 90), QPoint(100 + 300, 10 + 300)},
      // Turned a quarter more on screen: a 400 x 600 page at x = 200.
      {90, QPoint(200 + 310, 10 + 160), QPoint(200 + 100, 10 + 400)},
      {180, QPoint(100 + 600 - 160, 10 + 400 - 90), QPoint(100 + 300, 10 + 100)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.viewTurn);
    view->setRotation(c.viewTurn);
    const QImage image = settledGrab({0});
    EXPECT_TRUE(near(pixelAt(image, c.boxCentre.x(), c.boxCentre.y()), underHit, 12))
        << "found " << qPrintable(pixelAt(image, c.boxCentre.x(), c.boxCentre.y()).name());
    EXPECT_FALSE(near(pixelAt(image, c.boxCentre.x(), c.boxCentre.y()), paperUnderHit, 40));
    EXPECT_TRUE(near(pixelAt(image, c.paper.x(), c.paper.y()), Qt::white, 3));
  }
}

}  // namespace
