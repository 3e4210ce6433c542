#pragma once
// Recognition of many pages at once: worker threads, each with its own
// recogniser, take pages in order, have them prepared (rendered) through a
// call the owner gives, recognise them and hand the results back to the
// owner's thread, where they are taken page by page in page order.

#include "core/TextBlock.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

// A page as the owner prepared it for recognition.
struct PreparedPage {
  enum class State { Image, HasText, NoImage };
  State state = State::NoImage;
  QImage image;  // with State::Image
  double scale = 1.0;
  double pageWidth = 0.0;
  double pageHeight = 0.0;
};

// What became of one page.
struct RecognisedPage {
  enum class Outcome { Blocks, HasText, NoImage, EngineFailed };
  int page = -1;
  Outcome outcome = Outcome::NoImage;
  std::vector<TextBlock> blocks;  // in reading order; empty when nothing was found
};

class ParallelPageRecognition : public QObject {
  Q_OBJECT

public:
  // Called on a worker thread, one call at a time; never called again once
  // cancel() has returned.
  using Prepare = std::function<PreparedPage(int page)>;
  // The bytes a page will hold at its peak (its render and the copies
  // recognition makes of it), asked on a worker thread before it is prepared;
  // like Prepare, never called again once cancel() has returned.
  using PageBytes = std::function<qint64(int page)>;

  ParallelPageRecognition(const QString& languages, int pageCount, Prepare prepare, int workers,
                          QObject* parent = nullptr, PageBytes pageBytes = {});
  // Cancels and waits for the workers, which give up their page within a few
  // words; one still busy after a moment (in a step of the recogniser that
  // does not listen) is left to end on its own, holding nothing of the owner.
  ~ParallelPageRecognition() override;

  // As many workers as cores, bounded by the memory available and by the pages.
  static int workerCount(int pages);
  // What the pages of one run may hold at once: part of the memory available.
  static qint64 memoryBudget();
  // Workers left running by runs already gone; the process need not wait for them.
  static int workersLeftRunning();
  int workerThreads() const { return int(threads.size()); }

  void start();
  // Stops the workers after at most the prepare call under way: when this
  // returns, nothing is prepared any more and no result comes.
  void cancel();
  bool isCancelled() const;

  // The result of `page` once it is there and no page is being rendered;
  // each page is taken once. Asking for a page says that the one before is
  // written: renders wait while the owner holds a page it has not written.
  std::optional<RecognisedPage> takeResult(int page);
  // Whether the result of `page` is done and waits to be taken.
  bool resultWaiting(int page) const;

signals:
  // Emitted on the owner's thread when a result may be taken.
  void resultAvailable(int page);

private:
  struct Shared;
  static void work(std::shared_ptr<Shared> shared, ParallelPageRecognition* owner);

  std::shared_ptr<Shared> shared;
  int workers = 1;
  std::vector<std::thread> threads;
};
