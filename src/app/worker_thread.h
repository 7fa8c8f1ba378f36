#pragma once
// The thread of a worker object that keeps itself alive while it runs (the
// thread's task holds a shared handle). The last handle may be dropped on that
// very thread, which cannot join itself: it is detached then, and joined from
// anywhere else.

#include <functional>
#include <thread>

namespace tessellink {

class TWorkerThread {
 public:
  TWorkerThread() = default;
  ~TWorkerThread() {
    if (!thread_.joinable()) return;
    if (OnIt())
      thread_.detach();
    else
      thread_.join();
  }
  TWorkerThread(const TWorkerThread&) = delete;
  TWorkerThread& operator=(const TWorkerThread&) = delete;

  // Runs `task` on a new thread; a second call does nothing.
  void Start(std::function<void()> task) {
    if (!thread_.joinable()) thread_ = std::thread(std::move(task));
  }
  // Blocks until the thread has ended; returns at once on the thread itself.
  void Wait() {
    if (thread_.joinable() && !OnIt()) thread_.join();
  }

 private:
  bool OnIt() const { return thread_.get_id() == std::this_thread::get_id(); }
  std::thread thread_;
};

}  // namespace tessellink
