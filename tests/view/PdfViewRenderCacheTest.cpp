// The render cache: keys, the three-job limit, eviction and the generation
// counter that drops results made stale while they rendered.
#include "TestSupport.h"
#include "ViewTestHelpers.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <functional>
#include <memory>

using namespace testsupport;
using viewtest::waitUntil;

namespace {

class PdfViewRenderCacheTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    QList<PageSpec> pages;
    for (int i = 0; i < 11; ++i) pages.append(PageSpec{QStringLiteral("Страница %1").arg(i + 1), i % 2 == 0});
    path = dir.filePath("pages.pdf");
    ASSERT_TRUE(writePdf(path, pages));
    ASSERT_TRUE(doc.open(path));
    ASSERT_TRUE(other.open(path));
    view.resize(400, 300);
    view.setDocument(&doc);
  }

  bool jobsDone() { return waitUntil([&] { return view.renderJobsInFlight() == 0; }); }

  QTemporaryDir dir;
  QString path;
  PdfDocument doc;
  PdfDocument other;
  PdfView view;
};

TEST_F(PdfViewRenderCacheTest, KeysNameGenerationPageZoomRotationLayerAndFlag) {
  PdfView fresh;
  EXPECT_EQ(fresh.pageRenderKey(12, 1.25, 90, PdfRenderLayer::NoText, false), "0:12:1.2500:90:1:0");
  EXPECT_EQ(fresh.pageRenderKey(0, 0.123456, 0, PdfRenderLayer::TextOnly, true), "0:0:0.1235:0:2:1");
  fresh.invalidateCache();
  fresh.invalidateCache();
  fresh.invalidatePageCache();
  EXPECT_EQ(fresh.pageRenderKey(12, 1.25, 90, PdfRenderLayer::NoText, false), "3:12:1.2500:90:1:0");
}

TEST_F(PdfViewRenderCacheTest, AtMostThreeJobsAndOnePerKey) {
  EXPECT_TRUE(view.cachedPage(0).isNull());
  EXPECT_TRUE(view.cachedPage(0).isNull());
  EXPECT_EQ(view.renderJobsInFlight(), 1);
  view.cachedPage(1);
  view.cachedPageLayer(1, PdfRenderLayer::NoText, false);  // another layer is another job
  view.cachedPage(3);  // dropped: three already run
  EXPECT_EQ(view.renderJobsInFlight(), 3);
  ASSERT_TRUE(jobsDone());

  EXPECT_FALSE(view.cachedPage(0).isNull());
  EXPECT_FALSE(view.cachedPage(1).isNull());
  EXPECT_FALSE(view.cachedPageLayer(1, PdfRenderLayer::NoText, false).isNull());
  EXPECT_EQ(view.renderJobsInFlight(), 0);  // hits start nothing
  EXPECT_TRUE(view.cachedPage(3).isNull());  // asked again, now started
  EXPECT_EQ(view.renderJobsInFlight(), 1);
  ASSERT_TRUE(jobsDone());
  const QImage& image = view.cachedPage(3);
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), doc.renderPage(3, view.zoomFactor(), 0).size());

  // Out of range and no document start nothing.
  view.cachedPage(-1);
  view.cachedPage(11);
  EXPECT_EQ(view.renderJobsInFlight(), 0);
}

TEST_F(PdfViewRenderCacheTest, TheEleventhRenderingEvictsTheFirst) {
  for (int page = 0; page < 11; ++page) {
    view.cachedPage(page);
    ASSERT_TRUE(jobsDone());
    ASSERT_FALSE(view.cachedPage(page).isNull()) << page;
  }
  for (int page = 1; page < 11; ++page) EXPECT_FALSE(view.cachedPage(page).isNull()) << page;
  EXPECT_TRUE(view.cachedPage(0).isNull());
}

TEST_F(PdfViewRenderCacheTest, ResultsOfAnEarlierGenerationAreDropped) {
  const struct {
    const char* name;
    std::function<void(PdfView&)> change;
  } changes[] = {
      {"zoom there and back", [](PdfView& v) { const double z = v.zoomFactor(); v.setZoom(z * 2); v.setZoom(z); }},
      {"rotation set to what it was", [](PdfView& v) { v.setRotation(v.globalRotation()); }},
      {"page content changed", [](PdfView& v) { v.invalidatePageCache(); }},
      {"another document of the same size", [this](PdfView& v) { v.setDocument(v.shownDocument() == &doc ? &other : &doc); }},
  };
  for (const auto& c : changes) {
    SCOPED_TRACE(c.name);
    view.invalidateCache();
    ASSERT_TRUE(view.cachedPage(4).isNull());
    ASSERT_EQ(view.renderJobsInFlight(), 1);
    c.change(view);
    ASSERT_TRUE(jobsDone());
    // The job finished, but its image belonged to the state before the change.
    EXPECT_TRUE(view.cachedPage(4).isNull());
    ASSERT_TRUE(jobsDone());
    EXPECT_FALSE(view.cachedPage(4).isNull());
  }
}

TEST_F(PdfViewRenderCacheTest, ReleasingTheDocumentLeavesNoJobOnIt) {
  std::unique_ptr<PdfDocument> doomed;
  for (int round = 0; round < 5; ++round) {
    doomed = std::make_unique<PdfDocument>();
    ASSERT_TRUE(doomed->open(path));
    view.setDocument(doomed.get());
    for (int page = 0; page < 3; ++page) view.cachedPage(page);
    ASSERT_EQ(view.renderJobsInFlight(), 3);
    view.releaseDocument(doomed.get());
    EXPECT_EQ(view.shownDocument(), nullptr);
    EXPECT_TRUE(viewtest::allRenderJobsReturned(&view));
    // Deleted while its jobs' completions are still queued: none may touch it.
    doomed.reset();
    ASSERT_TRUE(jobsDone());
  }
  doomed = std::make_unique<PdfDocument>();
  ASSERT_TRUE(doomed->open(path));
  // Releasing a document that is not shown keeps the shown one.
  view.setDocument(&doc);
  view.releaseDocument(doomed.get());
  EXPECT_EQ(view.shownDocument(), &doc);
  doomed.reset();
  view.cachedPage(0);
  ASSERT_TRUE(jobsDone());
  EXPECT_FALSE(view.cachedPage(0).isNull());
}

}  // namespace
