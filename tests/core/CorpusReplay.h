#pragma once
// Shared by the corpus replays: the corpus file list and a watchdog that
// aborts the run naming the file when one input takes too long, so that a
// hang shows up as a failure with its input rather than a silent CI time-out.

#include "TestSupport.h"

#include <QDirIterator>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace corpus {

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

// The first text block with a character of a script other than Latin or
// Cyrillic, or a symbol; -1 for none.
template <typename Blocks>
int firstOtherScriptLine(const Blocks& blocks) {
  const auto latinOrCommon = [](char32_t c) {
    return c < 0x2B0 || (c >= 0x2000 && c <= 0x206F) || (c >= 0x400 && c < 0x530);
  };
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (blocks[i].isImage) continue;
    for (const char32_t c : blocks[i].text.toUcs4())
      if (!latinOrCommon(c) && !QChar::isSpace(c)) return int(i);
  }
  return -1;
}

// The corpus, then the PDFs of each folder of `beside` next to it.
inline QStringList corpusFiles(const QStringList& beside = {}) {
  QStringList files;
  QDirIterator it(testsupport::corpusDir(), QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString f = it.next();
    if (f.endsWith(".pdf", Qt::CaseInsensitive) || f.endsWith(".fuzz")) files << f;
  }
  files.sort();
  for (const QString& folder : beside)
    for (const QFileInfo& f : QDir(testsupport::corpusDir() + "/../" + folder)
                                  .entryInfoList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name))
      files << f.filePath();
  return files;
}

}  // namespace corpus
