#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace platform {

// The work posted to the main queue, in posting order, for a backend's
// main-loop source to run one piece a turn. Running one piece a turn keeps
// the order even when a piece runs a modal panel: the panel's own loop turns
// the source again and takes the next piece, while the piece that opened the
// panel waits for it to close. Posting is safe from any thread; running is
// the main thread's.
class TaskQueue {
public:
  void push(std::function<void()> work);
  // Runs the oldest piece, if any. Returns whether more are waiting.
  bool runOne();
  bool empty() const;

private:
  mutable std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;
};

} // namespace platform
