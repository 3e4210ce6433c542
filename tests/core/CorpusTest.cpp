// Replays the robustness corpus: real, damaged and fuzzer-found files must
// open or fail with a message, and render without a crash or a hang.
#include "CorpusReplay.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

using namespace testsupport;
using namespace corpus;

TEST(Corpus, EveryFileOpensOrFailsWithAMessageAndRenders) {
  const QStringList files = corpusFiles();
  ASSERT_GT(files.size(), 100) << "corpus missing at " << corpusDir().toStdString();
  Watchdog watchdog(std::chrono::seconds(90));
  int opened = 0;
  for (const QString& file : files) {
    SCOPED_TRACE(file.toStdString());
    watchdog.start(file);
    PdfDocument doc;
    if (!doc.open(file)) {
      EXPECT_FALSE(doc.lastError().isEmpty());
      continue;
    }
    ++opened;
    for (int i = 0; i < doc.pageCount(); ++i) {
      const QSizeF size = doc.pageSize(i);
      EXPECT_GE(size.width(), 0);
      EXPECT_GE(size.height(), 0);
    }
    if (doc.pageCount() > 0) {
      const double scale = 0.3;
      for (PdfRenderLayer layer : {PdfRenderLayer::Full, PdfRenderLayer::NoText, PdfRenderLayer::TextOnly}) {
        const QImage image = doc.renderPageLayer(0, scale, 0, layer, layer == PdfRenderLayer::TextOnly);
        if (!image.isNull()) {
          EXPECT_GE(image.width(), 1);
        }
      }
    }
  }
  watchdog.start(QString());
  EXPECT_GT(opened, files.size() / 2);
}
