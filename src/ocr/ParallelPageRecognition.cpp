#include "ocr/ParallelPageRecognition.h"

#include "core/ReadingOrder.h"
#include "ocr/OcrEngine.h"

#include <QFile>
#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// What one worker may hold at its peak: a recogniser with its language
// models and a page render with the copies the pipeline makes of it (about
// 70 MB with the Russian and English models on a letter page; larger models
// and pages take more).
constexpr qint64 kWorkerBytes = 200LL * 1024 * 1024;
constexpr int kWorkerNice = 5;
// How long the owner waits for workers that were told to stop.
constexpr auto kStopWait = std::chrono::seconds(2);

std::atomic<int> workersLeft{0};

qint64 availableMemory() {
  QFile meminfo(QStringLiteral("/proc/meminfo"));
  if (!meminfo.open(QIODevice::ReadOnly)) return -1;
  while (!meminfo.atEnd()) {
    const QByteArray line = meminfo.readLine();
    if (line.startsWith("MemAvailable:")) return line.mid(13).trimmed().split(' ').value(0).toLongLong() * 1024;
  }
  return -1;
}

}  // namespace

struct ParallelPageRecognition::Shared {
  QString languages;
  int pageCount = 0;
  Prepare prepare;

  std::atomic<bool> stop{false};
  // Held around every prepare call, so that cancel() can wait for the one
  // under way and be sure no other starts.
  std::mutex prepareMutex;

  std::mutex mutex;  // guards what follows
  std::condition_variable gate;
  int nextPage = 0;
  std::map<int, RecognisedPage> results;
  // The owner writes results into the same document the renders read, and
  // a render holds it for a tenth of a second or more. So renders start only
  // while the owner waits for a page that is not there yet, and a result is
  // handed over only while no render runs: the owner's thread never waits
  // for one.
  int ownerWaitsFor = 0;
  bool ownerBusy = false;
  bool preparing = false;
  // Pages start only while what they hold together stays within the budget;
  // a page alone always may, however large.
  PageBytes pageBytes;
  qint64 budget = 0;
  qint64 held = 0;
  int running = 0;     // workers not yet returned
  int asking = 0;      // pageBytes calls under way
  bool left = false;   // the owner went without waiting for them

  bool renderMayStart(qint64 bytes) const {
    return stop || (!preparing && !ownerBusy && !results.count(ownerWaitsFor) && (held == 0 || held + bytes <= budget));
  }
};

ParallelPageRecognition::ParallelPageRecognition(const QString& languages, int pageCount, Prepare prepare,
                                                 int workerCount, QObject* parent, PageBytes pageBytes)
    : QObject(parent), shared(std::make_shared<Shared>()), workers(std::max(1, workerCount)) {
  shared->languages = languages;
  shared->pageCount = std::max(0, pageCount);
  shared->prepare = std::move(prepare);
  shared->pageBytes = std::move(pageBytes);
  shared->budget = memoryBudget();
}

ParallelPageRecognition::~ParallelPageRecognition() {
  cancel();
  bool allReturned = false;
  {
    std::unique_lock<std::mutex> lock(shared->mutex);
    allReturned = shared->gate.wait_for(lock, kStopWait, [this] { return shared->running == 0; });
    if (!allReturned) {
      shared->left = true;
      workersLeft += shared->running;
    }
  }
  for (std::thread& thread : threads) {
    if (allReturned) thread.join();
    else thread.detach();
  }
}

qint64 ParallelPageRecognition::memoryBudget() {
  const qint64 memory = availableMemory();
  // Unknown: what four letter pages at the usual scale hold.
  return memory > 0 ? memory / 4 : 4 * kWorkerBytes;
}

int ParallelPageRecognition::workersLeftRunning() { return workersLeft; }

int ParallelPageRecognition::workerCount(int pages) {
  // The cores this process may run on, which a CPU set or taskset narrows.
  cpu_set_t cores;
  CPU_ZERO(&cores);
  int count = sched_getaffinity(0, sizeof(cores), &cores) == 0 ? CPU_COUNT(&cores)
                                                              : int(std::thread::hardware_concurrency());
  count = std::max(count, 1);
  const qint64 memory = availableMemory();
  if (memory > 0) count = std::min<qint64>(count, std::max<qint64>(1, memory / kWorkerBytes));
  return std::clamp(count, 1, std::max(1, pages));
}

void ParallelPageRecognition::start() {
  if (!threads.empty()) return;
  {
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->running = workers;
  }
  for (int i = 0; i < workers; ++i) threads.emplace_back(&ParallelPageRecognition::work, shared, this);
}

void ParallelPageRecognition::cancel() {
  {
    std::unique_lock<std::mutex> lock(shared->mutex);
    shared->stop = true;
    shared->gate.notify_all();
    // The size questions read the owner's document too; they are quick.
    shared->gate.wait(lock, [this] { return shared->asking == 0; });
  }
  // Waits for a prepare call that is under way; later ones see the flag.
  std::lock_guard<std::mutex> wait(shared->prepareMutex);
}

bool ParallelPageRecognition::isCancelled() const { return shared->stop; }

std::optional<RecognisedPage> ParallelPageRecognition::takeResult(int page) {
  std::optional<RecognisedPage> result;
  {
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->ownerWaitsFor = page;
    auto it = shared->results.find(page);
    if (it != shared->results.end() && !shared->preparing) {
      result = std::move(it->second);
      shared->results.erase(it);
    }
    // Busy with this page until it asks for the next one.
    shared->ownerBusy = result.has_value();
  }
  if (!result) shared->gate.notify_all();
  return result;
}

bool ParallelPageRecognition::resultWaiting(int page) const {
  std::lock_guard<std::mutex> lock(shared->mutex);
  return shared->results.count(page) > 0;
}

namespace {

// Tells the owner (on its thread) that a result may be taken, unless the run
// was cancelled: after cancel() the owner may be gone.
void tellOwner(std::mutex& mutex, const std::atomic<bool>& stop, ParallelPageRecognition* owner, int page) {
  std::lock_guard<std::mutex> lock(mutex);
  if (stop) return;
  QMetaObject::invokeMethod(
      owner, [owner, page] { emit owner->resultAvailable(page); }, Qt::QueuedConnection);
}

}  // namespace

void ParallelPageRecognition::work(std::shared_ptr<Shared> shared, ParallelPageRecognition* owner) {
  // Counted out however the worker returns; the owner may wait for that.
  struct Returned {
    Shared& shared;
    ~Returned() {
      {
        std::lock_guard<std::mutex> lock(shared.mutex);
        --shared.running;
        if (shared.left) --workersLeft;
      }
      shared.gate.notify_all();
    }
  } returned{*shared};
  // The workers fill every core; a lower priority lets the window's thread
  // (and the view's renders) run first when it has work, so it answers at once.
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kWorkerNice);
  OcrEngine engine;
  const bool ready = engine.init(shared->languages);
  while (!shared->stop) {
    int page = 0;
    {
      std::lock_guard<std::mutex> lock(shared->mutex);
      if (shared->nextPage >= shared->pageCount) return;
      page = shared->nextPage++;
    }
    RecognisedPage result;
    result.page = page;
    PreparedPage prepared;
    qint64 bytes = 0;
    if (shared->pageBytes) {
      {
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (shared->stop) return;
        ++shared->asking;
      }
      bytes = std::max<qint64>(0, shared->pageBytes(page));
      {
        std::lock_guard<std::mutex> lock(shared->mutex);
        --shared->asking;
      }
      shared->gate.notify_all();
    }
    // Given back once the page is recognised, whatever became of it.
    struct Held {
      Shared& shared;
      qint64 bytes = 0;
      ~Held() {
        if (bytes == 0) return;
        {
          std::lock_guard<std::mutex> lock(shared.mutex);
          shared.held -= bytes;
        }
        shared.gate.notify_all();
      }
    } held{*shared};
    {
      std::unique_lock<std::mutex> lock(shared->mutex);
      shared->gate.wait(lock, [&] { return shared->renderMayStart(bytes); });
      if (shared->stop) return;
      shared->preparing = true;
      shared->held += bytes;
      held.bytes = bytes;
    }
    {
      std::lock_guard<std::mutex> preparing(shared->prepareMutex);
      if (!shared->stop) prepared = shared->prepare(page);
    }
    int ownerMayTake = -1;  // a result the owner found while this page was rendered
    {
      std::lock_guard<std::mutex> lock(shared->mutex);
      shared->preparing = false;
      if (shared->results.count(shared->ownerWaitsFor)) ownerMayTake = shared->ownerWaitsFor;
    }
    shared->gate.notify_all();
    if (shared->stop) return;
    if (ownerMayTake >= 0) tellOwner(shared->mutex, shared->stop, owner, ownerMayTake);
    switch (prepared.state) {
      case PreparedPage::State::HasText:
        result.outcome = RecognisedPage::Outcome::HasText;
        break;
      case PreparedPage::State::NoImage:
        result.outcome = RecognisedPage::Outcome::NoImage;
        break;
      case PreparedPage::State::Image:
        if (!ready) {
          result.outcome = RecognisedPage::Outcome::EngineFailed;
          break;
        }
        result.outcome = RecognisedPage::Outcome::Blocks;
        result.blocks =
            engine.recognizePage(prepared.image, page, prepared.scale, prepared.pageHeight, &shared->stop);
        prepared.image = QImage();
        sortReadingOrder(result.blocks, prepared.pageWidth, prepared.pageHeight);
        break;
    }
    if (shared->stop) return;
    {
      std::lock_guard<std::mutex> lock(shared->mutex);
      shared->results.emplace(page, std::move(result));
    }
    shared->gate.notify_all();
    tellOwner(shared->mutex, shared->stop, owner, page);
  }
}
