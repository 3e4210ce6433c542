#pragma once
// The program's side of the page check worker (PageCheckWorker.h): one
// worker per source of pages, started when its first page is wanted, kept
// with the document open while the source lives, and killed with it. A page
// the worker dies on, or takes longer than the time bound for, is refused.

#include "PageRenderCost.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <map>
#include <optional>
#include <set>
#include <sys/types.h>

// Time one page check may take.
inline constexpr int kPageCheckMilliseconds = 15000;

class PageCheckChild {
public:
  // The worker beside the running program; empty when there is none (then
  // pages are only scanned, in this process).
  static QString workerPath();

  PageCheckChild(const QByteArray& bytes, const QByteArray& password);
  ~PageCheckChild();
  PageCheckChild(const PageCheckChild&) = delete;
  PageCheckChild& operator=(const PageCheckChild&) = delete;

  // Starts the worker, which opens the document meanwhile; never waits for it.
  void prepare();
  // Ends the worker, keeping what it decided; a later question starts another.
  void release() { stop(); }
  // Whether page `index` survived its check; nothing when no worker could
  // check it, or when the wait was interrupted (then interrupted() says so).
  // Calls are serialised by the caller.
  // Waits at most `patienceMs` when not negative, as if interrupted then.
  std::optional<bool> loadable(int index, int patienceMs = -1);
  // Waits give up while `*flag` is set (the flag outlives this child).
  void interruptWhen(const std::atomic<bool>* flag) { interrupt = flag; }
  bool interrupted() const { return wasInterrupted; }
  // What drawing page `index` cost its check; nothing before it was checked.
  std::optional<PageRenderCost> cost(int index) const;

private:
  bool start();
  void stop();
  // Reads what the worker said until `index` is decided or `wait` runs out;
  // false when the worker went silent past the bound or died.
  bool hear(int index, bool wait);
  void take(const QByteArray& line);
  void refuseChecking();

  QByteArray bytes;
  QByteArray password;
  pid_t pid = -1;
  int socket = -1;
  bool ready = false;
  bool unusable = false;
  int startsSoFar = 0;
  int checking = -1;
  qint64 checkingSince = 0;
  QByteArray inbox;
  std::map<int, bool> verdicts;
  std::map<int, PageRenderCost> costs;
  // What the page being checked draws, and what refused pages draw: a page
  // drawing the same is refused without waiting for the worker again.
  QByteArray checkingContent;
  std::set<QByteArray> refusedContent;
  bool abandoned = false;  // the worker is on a page already refused
  const std::atomic<bool>* interrupt = nullptr;
  qint64 giveUpAt = -1;
  bool wasInterrupted = false;
};
