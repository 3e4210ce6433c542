// Replays the robustness corpus: real, damaged and fuzzer-found files must
// open or fail with a message, and render, give up their text, search, links
// and outline without a crash or a hang.
#include "CorpusReplay.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

using namespace testsupport;
using namespace corpus;

namespace {

// The first pages are enough to reach the parsers; every page would make the
// replay slow on large files.
constexpr int kPagesToRead = 3;

void expectPageRect(const PdfDocument& doc, int page, const QRectF& rect) {
  const QSizeF size = doc.pageSize(page);
  EXPECT_TRUE(rect.isValid());
  EXPECT_TRUE(std::isfinite(rect.x()) && std::isfinite(rect.y()));
  EXPECT_LE(rect.width(), size.width() * 64 + 1);
}

void expectPagesExist(const PdfDocument& doc, const QList<PdfDocument::OutlineItem>& items) {
  for (const PdfDocument::OutlineItem& item : items) {
    EXPECT_TRUE(item.page >= -1 && item.page < doc.pageCount()) << item.page;
    expectPagesExist(doc, item.children);
  }
}

void readTextLinksAndOutline(const PdfDocument& doc) {
  const int pages = std::min(doc.pageCount(), kPagesToRead);
  for (int page = 0; page < pages; ++page) {
    const QString text = doc.extractAllText(page);
    // Search for a word of the page itself, so the search really runs.
    const QString word = text.split(QRegularExpression("\\W+"), Qt::SkipEmptyParts).value(0, "the");
    for (const QRectF& hit : doc.findText(page, word)) expectPageRect(doc, page, hit);
    for (const PdfDocument::FindOptions options : {PdfDocument::FindOptions{true, true, false},
                                                   PdfDocument::FindOptions{false, false, true}}) {
      const QList<QRectF> hits = doc.findTextWithOptions(page, options.regularExpression ? "\\w+" : word, options);
      for (const QRectF& hit : hits) expectPageRect(doc, page, hit);
    }
    const QSizeF size = doc.pageSize(page);
    for (const QPointF point : {QPointF(size.width() / 2, size.height() / 2), QPointF(10, 10)}) {
      const LinkTarget target = doc.linkAtPoint(page, point);
      EXPECT_TRUE(target.kind >= LinkTarget::None && target.kind <= LinkTarget::File);
      EXPECT_LT(target.page, doc.pageCount());
    }
  }
  expectPagesExist(doc, doc.outline());
}

}  // namespace

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
    readTextLinksAndOutline(doc);
  }
  watchdog.start(QString());
  EXPECT_GT(opened, files.size() / 2);
}
