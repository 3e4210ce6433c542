#include "LastingThread.h"

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

int onLastingThread(const std::function<int()>& work) {
  struct Queue {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::packaged_task<int()>> tasks;
  };
  // Never ended nor freed: it serves until the process exits.
  static Queue* const queue = [] {
    auto* q = new Queue;
    std::thread([q] {
      for (;;) {
        std::packaged_task<int()> task;
        {
          std::unique_lock lock(q->mutex);
          q->wake.wait(lock, [q] { return !q->tasks.empty(); });
          task = std::move(q->tasks.front());
          q->tasks.pop_front();
        }
        task();
      }
    }).detach();
    return q;
  }();
  std::packaged_task<int()> task(work);
  std::future<int> result = task.get_future();
  {
    std::lock_guard lock(queue->mutex);
    queue->tasks.push_back(std::move(task));
  }
  queue->wake.notify_one();
  return result.get();
}
