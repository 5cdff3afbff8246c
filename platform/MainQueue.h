#pragma once

// The one thread everything of the platform layer runs on.

#include <chrono>
#include <functional>

namespace platform {

// "Submit asynchronously to the main queue": work runs on a later turn of the
// main loop, in the order it was posted.
class MainQueue {
public:
  virtual ~MainQueue() = default;
  virtual void post(std::function<void()> work) = 0;
  // Runs work on the main thread once the delay has passed, never sooner:
  // for giving up on what takes too long and for gathering a burst of
  // changes into one. Called on the main thread.
  virtual void postAfter(std::chrono::milliseconds delay, std::function<void()> work) = 0;
};

} // namespace platform
