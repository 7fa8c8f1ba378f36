#pragma once
// Where a worker thread's reports and completion handlers run: the GUI posts
// them to its event loop; the CLI and tests run them in place, or queue them and
// drain the queue on the owner's thread.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

namespace tessellink {

class IWorkerDispatcher {
 public:
  virtual ~IWorkerDispatcher() = default;
  virtual void Post(std::function<void()> task) = 0;
};

// Runs each task at once, on the posting thread.
class TInPlaceDispatcher : public IWorkerDispatcher {
 public:
  void Post(std::function<void()> task) override { task(); }
};

// Keeps tasks until the owner's thread runs them.
class TQueueDispatcher : public IWorkerDispatcher {
 public:
  void Post(std::function<void()> task) override;
  // Runs the queued tasks, and those they post, until the queue is empty.
  void Drain();
  // Runs tasks as they arrive until `done` holds after one of them.
  void RunUntil(const std::function<bool()>& done);

 private:
  std::optional<std::function<void()>> Take(bool wait);
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace tessellink
