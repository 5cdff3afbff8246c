#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>

// The one line in which everything that asks the user waits its turn: the
// save panels of saves and downloads, the upload panel and the alerts. One
// at a time, whichever asked, though the main queue keeps running while a
// panel is up. At most MAX_WAITING panels wait; a panel beyond that is
// cancelled at once, without a panel or an alert, so that a page cannot keep
// panels coming however it asks. An alert tells of something that has
// happened and is never dropped.
// Must be owned by a std::shared_ptr: the posted turn keeps the line alive
// until it has run.
class PanelLine : public std::enable_shared_from_this<PanelLine> {
public:
  static constexpr std::size_t MAX_WAITING = 3;

  // `used` is kept for as long as a step may still run (the dialogs the
  // steps show their panels through, where the owner wraps them).
  explicit PanelLine(platform::MainQueue& queue, std::shared_ptr<void> used = {});
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
  // Runs an alert's step in its turn, like join, whether or not the line is
  // full.
  void joinAlert(std::function<void()> step);

private:
  struct Entry {
    std::function<void()> step;
    std::function<void()> cancel;
  };
  void enter(Entry entry);
  void postFirst();
  void runFirst();

  platform::MainQueue& queue_;
  std::shared_ptr<void> used_;
  // The step being run (or about to be) first, then the waiting ones.
  std::deque<Entry> entries_;
};
