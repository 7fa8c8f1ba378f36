#include "app/worker_dispatcher.h"

namespace tessellink {

void TQueueDispatcher::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  arrived_.notify_all();
}

std::optional<std::function<void()>> TQueueDispatcher::Take(bool wait) {
  std::unique_lock lock(mutex_);
  if (wait) arrived_.wait(lock, [this] { return !tasks_.empty(); });
  if (tasks_.empty()) return std::nullopt;
  std::function<void()> task = std::move(tasks_.front());
  tasks_.pop_front();
  return task;
}

void TQueueDispatcher::Drain() {
  while (std::optional<std::function<void()>> task = Take(false)) (*task)();
}

void TQueueDispatcher::RunUntil(const std::function<bool()>& done) {
  while (!done()) (*Take(true))();
}

}  // namespace tessellink
