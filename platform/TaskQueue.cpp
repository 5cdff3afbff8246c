#include "platform/TaskQueue.h"

#include <utility>

namespace platform {

void TaskQueue::push(std::function<void()> work) {
  std::lock_guard<std::mutex> guard(mutex_);
  tasks_.push_back(std::move(work));
}

bool TaskQueue::runOne() {
  std::function<void()> task;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (tasks_.empty())
      return false;
    // Taken out before it runs: a panel it opens turns the queue again.
    task = std::move(tasks_.front());
    tasks_.pop_front();
  }
  if (task)
    task();
  return !empty();
}

bool TaskQueue::empty() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return tasks_.empty();
}

} // namespace platform
