// The many-page run given up halfway, as closing its tab gives it up: the
// workers are rendering from the document and recognising when the run is
// dropped, and the document goes right after. Built into the sanitizer pass
// too, where a render after that point is a use after free.
#include "OcrTestPages.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"
#include "ocr/OcrEngine.h"
#include "ocr/ParallelPageRecognition.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

namespace {

bool writeScannedPages(const QString& path, int pages) {
  const QSizeF size(360, 220);
  return testsupport::writeDrawnPdf(path, pages, size, 14, [size](QPainter& painter, int i) {
    ocrtest::PageDrawing drawing;
    drawing.sizePt = size;
    ocrtest::addParagraph(drawing,
                          {QStringLiteral("Page %1 of the quarterly report").arg(i + 1),
                           QStringLiteral("Revenue grew steadily during spring"),
                           QStringLiteral("Customers praised the friendly service"),
                           QStringLiteral("Drivers delivered every parcel safely")},
                          QPointF(24, 30), 14, QStringLiteral("DejaVu Sans"), 1.6);
    ocrtest::drawScan(painter, drawing, 300);
  });
}

}  // namespace

TEST(ParallelPageRecognitionTest, DroppedMidRunStopsRenderingBeforeItsDocumentGoesAndSendsNothingMore) {
  if (!OcrEngine().init(QStringLiteral("eng"))) GTEST_SKIP() << "tesseract eng data not installed";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("scans.pdf"));
  constexpr int kPages = 12;
  ASSERT_TRUE(writeScannedPages(path, kPages));
  auto document = std::make_unique<PdfDocument>();
  ASSERT_TRUE(document->open(path));

  std::atomic<bool> documentGone{false};
  std::atomic<bool> slowRenderBegun{false};
  std::atomic<int> rendersAfter{0};
  PdfDocument* shown = document.get();
  auto prepare = [shown, &documentGone, &slowRenderBegun, &rendersAfter](int page) {
    // One render takes long, as a large page does; the run is dropped during it.
    if (page == 3) {
      slowRenderBegun = true;
      QThread::msleep(300);
    }
    if (documentGone) {
      ++rendersAfter;
      return PreparedPage{};
    }
    PreparedPage prepared;
    const QSizeF size = shown->pageSize(page);
    prepared.scale = 300.0 / 72.0;
    prepared.pageWidth = size.width();
    prepared.pageHeight = size.height();
    prepared.image = shown->renderPage(page, prepared.scale, 0);
    prepared.state = PreparedPage::State::Image;
    return prepared;
  };

  auto run = std::make_unique<ParallelPageRecognition>(QStringLiteral("eng"), kPages, prepare, 4);
  // Taken in page order, as the window writes them: asking for the next page
  // is what lets the workers render again.
  int results = 0;
  QObject::connect(run.get(), &ParallelPageRecognition::resultAvailable, [&] {
    while (run && run->takeResult(results)) ++results;
  });
  run->start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return slowRenderBegun.load(); }, 120000));

  // What closing the tab does: the run first, then its document.
  run.reset();
  documentGone = true;
  document.reset();
  const int taken = results;
  QTest::qWait(300);
  EXPECT_EQ(rendersAfter.load(), 0);
  EXPECT_EQ(results, taken);
  EXPECT_LT(taken, kPages);
}
