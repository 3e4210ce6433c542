// Replays the robustness corpus: real, damaged and fuzzer-found files must
// open or fail with a message, and render without a crash or a hang.
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QDirIterator>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

using namespace testsupport;

namespace {

// Aborts the run with the file's name when one file takes too long: a hang
// must show up as a failure naming its input, not as a silent CI time-out.
class Watchdog {
public:
  explicit Watchdog(std::chrono::seconds limit) : limit(limit), thread([this] { watch(); }) {}
  ~Watchdog() {
    stop = true;
    thread.join();
  }
  void start(const QString& file) {
    std::lock_guard<std::mutex> lock(m);
    current = file.toStdString();
    started = std::chrono::steady_clock::now();
  }

private:
  void watch() {
    while (!stop) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      std::lock_guard<std::mutex> lock(m);
      if (!current.empty() && std::chrono::steady_clock::now() - started > limit) {
        std::fprintf(stderr, "corpus file hangs: %s\n", current.c_str());
        std::abort();
      }
    }
  }
  std::chrono::seconds limit;
  std::mutex m;
  std::string current;
  std::chrono::steady_clock::time_point started;
  std::atomic<bool> stop{false};
  std::thread thread;
};

QStringList corpusFiles() {
  QStringList files;
  QDirIterator it(corpusDir(), QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString f = it.next();
    if (f.endsWith(".pdf", Qt::CaseInsensitive) || f.endsWith(".fuzz")) files << f;
  }
  files.sort();
  return files;
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
  }
  watchdog.start(QString());
  EXPECT_GT(opened, files.size() / 2);
}
