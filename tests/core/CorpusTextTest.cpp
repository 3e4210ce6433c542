// Replays the robustness corpus through text and picture extraction: every
// file that opens yields its first page's blocks without a crash or a hang,
// and what comes back is well formed.
#include "CorpusReplay.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace testsupport;
using namespace corpus;

namespace {

bool finite(const QRectF& r) {
  return std::isfinite(r.x()) && std::isfinite(r.y()) && std::isfinite(r.width()) && std::isfinite(r.height());
}

}  // namespace

TEST(CorpusText, FirstPageExtractsWithoutCrashOrHang) {
  const QStringList files = corpusFiles();
  ASSERT_GT(files.size(), 100) << "corpus missing at " << corpusDir().toStdString();
  Watchdog watchdog(std::chrono::seconds(30));
  int withText = 0;
  for (const QString& file : files) {
    SCOPED_TRACE(file.toStdString());
    watchdog.start(file);
    PdfDocument doc;
    if (!doc.open(file) || doc.pageCount() < 1) continue;
    const std::vector<TextBlock> blocks = doc.extractText(0);
    withText += blocks.empty() ? 0 : 1;
    for (const TextBlock& b : blocks) {
      ASSERT_EQ(b.lines.size(), 1u);
      EXPECT_FALSE(b.text.trimmed().isEmpty());
      EXPECT_TRUE(finite(b.rect));
      EXPECT_EQ(b.page, 0);
    }
    for (const TextBlock& b : doc.extractImages(0)) {
      EXPECT_TRUE(b.isImage);
      EXPECT_FALSE(b.image.isNull());
    }
  }
  watchdog.start(QString());
  EXPECT_GT(withText, 50);
}
