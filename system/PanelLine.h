#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>

// The one line in which saves and downloads wait for their save panel: one
// panel at a time, whichever asked, and at most MAX_WAITING more waiting
// their turn. Anything beyond that is cancelled at once, without a panel or
// an alert, so that a page cannot keep panels coming however it asks.
// Must be owned by a std::shared_ptr: the posted turn keeps the line alive
// until it has run.
class PanelLine : public std::enable_shared_from_this<PanelLine> {
public:
  static constexpr std::size_t MAX_WAITING = 3;

  explicit PanelLine(platform::MainQueue& queue);
  // What still waits is cancelled: every step is answered one way or the other.
  ~PanelLine();
  PanelLine(const PanelLine&) = delete;
  PanelLine& operator=(const PanelLine&) = delete;

  // Whether a step joining now would be cancelled.
  bool isFull() const;
  // Runs `step` on a later turn of the main queue, once every step that
  // joined before it has run; never inside the caller's call, so no modal
  // panel runs inside the engine's callback. When the line is full, runs
  // `cancel` (if any) at once instead, and the step never runs.
  void join(std::function<void()> step, std::function<void()> cancel = {});

private:
  struct Entry {
    std::function<void()> step;
    std::function<void()> cancel;
  };
  void postFirst();
  void runFirst();

  platform::MainQueue& queue_;
  // The step being run (or about to be) first, then the waiting ones.
  std::deque<Entry> entries_;
};
