#pragma once

// The screens and the pointer on them.

#include "platform/geometry.h"

#include <functional>
#include <optional>
#include <vector>

namespace platform {

class Screens {
public:
  virtual ~Screens() = default;
  // The main screen's frame without menu bar and Dock (or panels).
  virtual std::optional<Rect> mainVisibleFrame() = 0;
  // The visible frames of every connected screen.
  virtual std::vector<Rect> visibleFrames() = 0;
  // The pointer, in global screen coordinates.
  virtual Point pointerLocation() = 0;
  // Called on the main thread whenever screens come, go or change their
  // arrangement; replaces any earlier callback.
  virtual void setChangeCallback(std::function<void()> changed) = 0;
};

} // namespace platform
