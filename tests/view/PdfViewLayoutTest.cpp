// Layout, mapping, zoom, rotation and navigation of the page view, with
// real documents of known page sizes.
#include "TestSupport.h"
#include "ViewTestHelpers.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace testsupport;

namespace {

class PdfViewLayoutTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }

  // A document whose pages have the given sizes in points.
  std::unique_ptr<PdfDocument> openDocument(const QList<QSizeF>& sizes) {
    QList<PageSpec> pages;
    for (const QSizeF& size : sizes) pages.append(PageSpec{QString(), false, size});
    const QString path = dir.filePath(QStringLiteral("doc%1.pdf").arg(serial++));
    EXPECT_TRUE(writePdf(path, pages));
    auto doc = std::make_unique<PdfDocument>();
    EXPECT_TRUE(doc->open(path));
    return doc;
  }

  // A view whose viewport is exactly width x height pixels.
  std::unique_ptr<PdfView> makeView(int width, int height) {
    auto view = std::make_unique<PdfView>();
    view->setFrameShape(QFrame::NoFrame);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->resize(width, height);
    view->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    EXPECT_EQ(view->viewport()->size(), QSize(width, height));
    return view;
  }

  QTemporaryDir dir;
  int serial = 0;
};

TEST_F(PdfViewLayoutTest, InitialZoomAndHorizontalPlacement) {
  const struct {
    double pageWidth;
    int viewportWidth;
    double expectedZoom;
    int expectedX;  // after setZoom(1.0)
  } cases[] = {
      {600, 1000, 1.0, 200},  // z = 1.63 capped at 1.0
      {600, 610, 590.0 / 600, 10},  // free space of 10 is too little to centre
      {595, 800, 1.0, 102},
      {1000, 800, 0.78, 10},  // wide pages fit the viewport
      {2000, 800, 0.39, 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(QStringLiteral("page %1 in %2 px").arg(c.pageWidth).arg(c.viewportWidth).toStdString());
    auto doc = openDocument({QSizeF(c.pageWidth, 842)});
    auto view = makeView(c.viewportWidth, 600);
    QSignalSpy zoomSpy(view.get(), &PdfView::zoomChanged);
    view->setDocument(doc.get());
    EXPECT_NEAR(view->zoomFactor(), c.expectedZoom, 1e-9);
    ASSERT_EQ(zoomSpy.count(), 1);
    EXPECT_NEAR(zoomSpy.at(0).at(0).toDouble(), c.expectedZoom, 1e-9);
    view->setZoom(1.0);
    EXPECT_EQ(view->pageOffset(0), QPoint(c.expectedX, 10));
  }
}

TEST_F(PdfViewLayoutTest, ContinuousOffsetsFollowPageHeights) {
  // Mixed sizes: every offset must equal 10 plus the earlier heights and gaps.
  QList<QSizeF> sizes;
  for (int i = 0; i < 40; ++i) sizes.append(i % 3 == 0 ? QSizeF(595, 842) : (i % 3 == 1 ? QSizeF(842, 595) : QSizeF(400, 300)));
  auto doc = openDocument(sizes);
  auto view = makeView(1000, 700);
  view->setDocument(doc.get());
  view->setZoom(0.5);
  qint64 expectedTop = 10;
  for (int page = 0; page < sizes.size(); ++page) {
    ASSERT_EQ(view->pageOffset(page).y(), expectedTop) << "page " << page;
    const int width = int(sizes[page].width() * 0.5);
    EXPECT_EQ(view->pageOffset(page).x(), (1000 - width) / 2) << "page " << page;
    expectedTop += int(sizes[page].height() * 0.5) + 10;
  }
  // The scroll range ends where the last page's gap ends.
  EXPECT_EQ(view->verticalScrollBar()->maximum(), expectedTop - 700);
  EXPECT_EQ(view->verticalScrollBar()->pageStep(), 700);
}

TEST_F(PdfViewLayoutTest, SpecimenOffsetsAndHitTests) {
  auto doc = openDocument({QSizeF(595, 842), QSizeF(595, 842), QSizeF(595, 842), QSizeF(595, 842)});
  auto view = makeView(800, 600);
  view->setDocument(doc.get());
  ASSERT_DOUBLE_EQ(view->zoomFactor(), 1.0);
  EXPECT_EQ(view->pageOffset(2).y(), 10 + 2 * (842 + 10));

  const struct {
    QPoint point;
    int page;
  } hits[] = {
      {{400, 10}, 0},          // first row of page 0
      {{400, 851}, 0},         // last row of page 0
      {{400, 852}, -1},        // the gap below it
      {{400, 861}, -1},        // still the gap
      {{400, 862}, 1},         // first row of page 1
      {{102, 300}, 0},         // left edge belongs to the page
      {{101, 300}, -1},        // one pixel left of it
      {{102 + 595, 300}, -1},  // half-open on the right
      {{5, 5}, -1},            // above the first page
  };
  for (const auto& h : hits) EXPECT_EQ(view->pageAtPoint(h.point), h.page) << h.point.x() << "," << h.point.y();

  // Scrolling moves the hit test with the content.
  view->verticalScrollBar()->setValue(852);
  EXPECT_EQ(view->pageAtPoint(QPoint(400, 10)), 1);
  EXPECT_EQ(view->pageAtPoint(QPoint(400, 5)), -1);
}

TEST_F(PdfViewLayoutTest, ZoomLimitsAndSteps) {
  auto doc = openDocument({QSizeF(595, 842)});
  auto view = makeView(800, 600);
  view->setDocument(doc.get());
  QSignalSpy spy(view.get(), &PdfView::zoomChanged);

  const struct {
    std::function<void(PdfView&)> act;
    double expected;
    bool signalled;
  } steps[] = {
      {[](PdfView& v) { v.setZoom(20); }, 8.0, true},
      {[](PdfView& v) { v.setZoom(0.01); }, 0.1, true},
      {[](PdfView& v) { v.setZoom(0.1 + 1e-7); }, 0.1, false},
      {[](PdfView& v) { v.setZoom(1.0); }, 1.0, true},
      {[](PdfView& v) { v.zoomIn(); }, 1.25, true},
      {[](PdfView& v) { v.zoomIn(); }, 1.5625, true},
      {[](PdfView& v) { v.zoomOut(); }, 1.25, true},
      {[](PdfView& v) { v.setZoom(7.0); v.zoomIn(); }, 8.0, true},
      {[](PdfView& v) { v.zoomIn(); }, 8.0, false},
      // The page and its two 10-pixel margins fit: no horizontal scrolling.
      {[](PdfView& v) { v.zoomFitWidth(); }, (800.0 - 20) / 595, true},
      {[](PdfView& v) { v.zoomFit(); }, 600.0 / 842, true},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    spy.clear();
    steps[i].act(*view);
    EXPECT_NEAR(view->zoomFactor(), steps[i].expected, 1e-9) << "step " << i;
    EXPECT_EQ(!spy.isEmpty(), steps[i].signalled) << "step " << i;
    if (!spy.isEmpty()) {
      EXPECT_NEAR(spy.last().at(0).toDouble(), steps[i].expected, 1e-9);
    }
  }
}

TEST_F(PdfViewLayoutTest, GlobalAndPerPageRotation) {
  auto doc = openDocument({QSizeF(400, 600), QSizeF(400, 600), QSizeF(400, 600)});
  auto view = makeView(1000, 700);
  view->setDocument(doc.get());
  view->setZoom(1.0);

  view->setRotation(-90);
  EXPECT_EQ(view->globalRotation(), 270);
  EXPECT_EQ(view->pageOffset(1).y(), 10 + 400 + 10);  // turned pages are 400 tall
  view->setRotation(450);
  EXPECT_EQ(view->globalRotation(), 90);
  view->setRotation(0);

  view->setCurrentPage(1);
  for (int turn = 1; turn <= 4; ++turn) {
    view->rotateCurrentPageView(90);
    EXPECT_EQ(view->effectiveRotation(1), (turn * 90) % 360);
    EXPECT_EQ(view->effectiveRotation(0), 0);
    // Page 2 moves up by 200 pixels while page 1 lies on its side.
    EXPECT_EQ(view->pageOffset(2).y(), turn % 2 ? 10 + 600 + 10 + 400 + 10 : 10 + 2 * 610);
    EXPECT_EQ(view->pageOffset(1).x(), turn % 2 ? (1000 - 600) / 2 : (1000 - 400) / 2);
  }
  view->rotateCurrentPageView(-90);
  EXPECT_EQ(view->effectiveRotation(1), 270);
  view->setRotation(180);
  EXPECT_EQ(view->effectiveRotation(1), 90);  // the two add up
  EXPECT_EQ(view->effectiveRotation(0), 180);
  // A new document starts unrotated.
  view->setDocument(doc.get());
  EXPECT_EQ(view->effectiveRotation(1), 0);
  EXPECT_EQ(view->globalRotation(), 0);
}

TEST_F(PdfViewLayoutTest, MappingsHonourTheViewRotation) {
  // Page 400 x 600 points at zoom 0.5: a 200 x 300 box, 100 x 150 points.
  auto doc = openDocument({QSizeF(400, 600)});
  auto view = makeView(800, 800);
  view->setDocument(doc.get());
  view->setZoom(0.5);
  const QRectF hit(40, 500, 100, 60);  // bottom-origin points: near the top-left corner
  const struct {
    int rotation;
    QRectF expected;  // relative to the page box's top-left corner
  } cases[] = {
      {0, QRectF(20, 20, 50, 30)},
      {90, QRectF(300 - 20 - 30, 20, 30, 50)},  // top-left turns to the top-right
      {180, QRectF(200 - 20 - 50, 300 - 20 - 30, 50, 30)},
      {270, QRectF(20, 200 - 20 - 50, 30, 50)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rotation);
    view->setRotation(c.rotation);
    const QPoint origin = view->pageOffset(0);
    const QRectF screen = view->pdfRectToScreenRect(0, hit);
    EXPECT_NEAR(screen.x() - origin.x(), c.expected.x(), 1e-9);
    EXPECT_NEAR(screen.y() - origin.y(), c.expected.y(), 1e-9);
    EXPECT_NEAR(screen.width(), c.expected.width(), 1e-9);
    EXPECT_NEAR(screen.height(), c.expected.height(), 1e-9);

    // Viewport points and page-top points map back and forth.
    const QPointF pagePoint(40, 40);  // the hit's top-left corner, top-origin
    const QPoint viewportPoint = view->viewportPointForPageTopPoint(0, pagePoint);
    const QPointF back = view->viewToPage(0, viewportPoint).topLeft();
    EXPECT_NEAR(back.x(), pagePoint.x(), 1e-9);
    EXPECT_NEAR(back.y(), pagePoint.y(), 1e-9);
    const QRect region = view->viewportRectForPageTopRect(0, QRectF(40, 40, 100, 60));
    EXPECT_EQ(QRectF(region.topLeft(), region.size() - QSize(1, 1)), screen);
  }
  EXPECT_FALSE(view->viewportRectForPageTopRect(0, QRectF(10, 10, 0, 5)).isValid());
  EXPECT_TRUE(view->pdfRectToScreenRect(-1, hit).isNull());
  EXPECT_EQ(view->viewportPointForPageTopPoint(3, QPointF(1, 1)), QPoint(0, 0));
}

TEST_F(PdfViewLayoutTest, NavigationSignalsAndScrolling) {
  QList<QSizeF> sizes(12, QSizeF(595, 842));
  auto doc = openDocument(sizes);
  auto view = makeView(800, 600);
  view->setDocument(doc.get());
  QSignalSpy spy(view.get(), &PdfView::pageChanged);

  view->setCurrentPage(5);
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy.at(0).at(0).toInt(), 5);
  // A jump shows the page's top, the margin above it.
  EXPECT_EQ(view->verticalScrollBar()->value(), 10 + 5 * 852 - 10);
  view->setCurrentPage(5);  // repeated: emitted again
  EXPECT_EQ(spy.count(), 2);
  view->setCurrentPage(12);
  view->setCurrentPage(-1);
  EXPECT_EQ(spy.count(), 2);

  view->setCurrentPage(1);  // scrolls up to the page's top less the margin
  EXPECT_EQ(view->verticalScrollBar()->value(), 10 + 852 - 10);

  // Scrolling hands the current page to the page filling most of the viewport.
  spy.clear();
  view->verticalScrollBar()->setValue(10 + 8 * 852 + 100);
  ASSERT_FALSE(spy.isEmpty());
  EXPECT_EQ(spy.last().at(0).toInt(), 8);
  EXPECT_EQ(view->currentPageIndex(), 8);
  // All 600 rows show page 8.
  EXPECT_EQ(view->dominantVisiblePage(), 8);
  view->verticalScrollBar()->setValue(10 + 8 * 852 + 600);  // 242 rows of 8, 348 of 9
  EXPECT_EQ(view->currentPageIndex(), 9);

  // Single-page mode: one page, one range, the current page everywhere.
  spy.clear();
  view->setViewMode(ViewMode::SinglePage);
  EXPECT_TRUE(spy.isEmpty());
  EXPECT_EQ(view->verticalScrollBar()->maximum(), 10 + 842 + 10 - 600);
  EXPECT_EQ(view->pageOffset(11).y(), 10);
  EXPECT_EQ(view->pageAtPoint(QPoint(1, 1)), 9);
  EXPECT_EQ(view->dominantVisiblePage(), 9);

  view->setDocument(nullptr);
  EXPECT_EQ(view->pageAtPoint(QPoint(400, 300)), -1);
  EXPECT_EQ(view->dominantVisiblePage(), -1);
  EXPECT_EQ(view->pageOffset(0), QPoint(0, 0));
  EXPECT_EQ(view->verticalScrollBar()->maximum(), 0);
}

TEST_F(PdfViewLayoutTest, SearchHighlightsClampAndScrollIntoView) {
  QList<QSizeF> sizes(4, QSizeF(595, 842));
  auto doc = openDocument(sizes);
  auto view = makeView(800, 600);
  view->setDocument(doc.get());
  const QList<QRectF> rects{QRectF(50, 700, 80, 12), QRectF(50, 400, 80, 12), QRectF(50, 40, 80, 12)};

  view->setSearchHighlights(2, rects, 7);
  EXPECT_EQ(view->currentSearchHitIndex(), 2);
  EXPECT_EQ(view->searchHitPage(), 2);
  EXPECT_EQ(view->currentPageIndex(), 2);  // made current by scrolling, not by the search
  // The hit (page 2, 842 - 40 - 12 = 790 points from its top) ends 24 px above the bottom.
  const QRectF onScreen = view->pdfRectToScreenRect(2, rects[2]);
  EXPECT_NEAR(onScreen.bottom() + 24, 600, 1.0);

  view->setSearchHighlights(0, rects, 0);
  EXPECT_NEAR(view->pdfRectToScreenRect(0, rects[0]).top() - 24, 0, 1.0);

  view->setSearchHighlights(1, {}, 3);
  EXPECT_EQ(view->currentSearchHitIndex(), -1);
  view->setSearchHighlights(1, rects, -4);
  EXPECT_EQ(view->currentSearchHitIndex(), 0);
  view->clearSearchHighlights();
  EXPECT_EQ(view->searchHitPage(), -1);
  EXPECT_EQ(view->currentSearchHitIndex(), -1);
}

}  // namespace
