#pragma once

// Main queues for the reopen socket's tests, which post from its own thread.

#include "platform/platform.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace reopen {

// Runs work at once, on the thread that posts it: a main loop that is idle.
class ImmediateQueue final : public platform::MainQueue {
public:
  void post(std::function<void()> work) override { work(); }
  void postAfter(std::chrono::milliseconds, std::function<void()> work) override { work(); }
};

// Holds the work until the test runs it: a main loop that is busy, stopped
// or hung meanwhile.
class HeldQueue final : public platform::MainQueue {
public:
  void post(std::function<void()> work) override {
    std::lock_guard<std::mutex> hold(mutex_);
    tasks_.push_back(std::move(work));
    posted_.notify_all();
  }
  void postAfter(std::chrono::milliseconds, std::function<void()> work) override {
    post(std::move(work));
  }
  bool waitForWork(std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> hold(mutex_);
    return posted_.wait_for(hold, wait, [this] { return !tasks_.empty(); });
  }
  void runAll() {
    std::deque<std::function<void()>> due;
    {
      std::lock_guard<std::mutex> hold(mutex_);
      due.swap(tasks_);
    }
    for (auto& work : due)
      work();
  }

private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> tasks_;
};

} // namespace reopen
