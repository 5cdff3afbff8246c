#include "system/PanelLine.h"

#include <cstdlib>
#include <utility>

PanelLine::PanelLine(platform::MainQueue& queue, std::shared_ptr<void> used)
    : queue_(queue), used_(std::move(used)) {}

PanelLine::~PanelLine() {
  // Only when the main queue drops its turn unrun (at the very end): while a
  // turn is posted or running, it holds the line.
  for (Entry& entry : entries_)
    if (entry.cancel)
      entry.cancel();
}

bool PanelLine::isFull() const {
  return entries_.size() > MAX_WAITING;
}

void PanelLine::join(std::function<void()> step, std::function<void()> cancel) {
  if (isFull()) {
    if (cancel)
      cancel();
    return;
  }
  enter({std::move(step), std::move(cancel)});
}

void PanelLine::joinAlert(std::function<void()> step) {
  enter({std::move(step), {}});
}

void PanelLine::enter(Entry entry) {
  entries_.push_back(std::move(entry));
  if (entries_.size() == 1)
    postFirst();
}

void PanelLine::postFirst() {
  std::shared_ptr<PanelLine> self = weak_from_this().lock();
  // Not owned as it must be: a programming error in the owner, not input.
  if (!self)
    std::abort();
  queue_.post([self] { self->runFirst(); });
}

void PanelLine::runFirst() {
  // Steps that join while this one's panel is open (its modal loop runs the
  // engine) only wait: the entry stays first until its step has returned.
  std::function<void()> step = std::move(entries_.front().step);
  if (step)
    step();
  entries_.pop_front();
  if (!entries_.empty())
    postFirst();
}
